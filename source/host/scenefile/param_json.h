// Parameters in scene files: the "params" block of an object or a tag.
//
// Keys are the symbols of the node type's description ("KURVO_OFFSET") or
// decimal IDs ("1000"). A described parameter takes the value form of its
// type: long (integer), real (number), bool (true/false, or an integer for a
// stored value other than 0 and 1), vector [x, y, z], matrix (four rows),
// string, filename (string), link (the linked object's name, or null),
// spline curve {"knots": [[x, y], ...], "interpolation": "linear"|"smooth"}
// and gradient {"knots": [{"color": [r, g, b], "position": p, ...}]} ("colour"
// is read too; colours, positions and biases in 0..1).
//
// A parameter without a description (every parameter of a node type that has
// none, such as the deformer tag's) is typed by its JSON value: true/false or
// an integer number give an integer, a number with a fraction ("2.0") a real,
// [x, y, z] a vector, four rows a matrix, a string a string; the other kinds
// are spelled as one-key objects: {"link": name}, {"filename": text},
// {"curve": {...}}, {"gradient": {...}}, {"container": {...}}; null stores an
// empty entry.
//
// Reals are single precision and are written as the shortest decimal that
// reads back to the same value, so load, save and load keep every bit.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/description.h"
#include "json_text.h"
#include "read_context.h"

namespace kurvo::host {
class Container;
class Data;
class Document;
class Node;
}  // namespace kurvo::host

namespace kurvo::scenefile {

// An object link waiting for every object of the file to exist.
struct PendingLink {
  host::Container* container;  // where the link goes
  host::Node* owner;           // whose container it is (for the change mark)
  int32_t id;
  std::string target;  // the linked object's name
  std::string object;  // for messages: the object being read
  std::string field;
};

// Writes every entry of `params` into `node`'s parameters. Links are queued.
void readParams(const Json& params, host::Node& node, const host::Description* description,
                const ReadContext& context, const std::string& field, std::vector<PendingLink>& links);

// The "params" block for `container`: every entry in container order, except
// those `skip` answers true for. Links are written as the linked object's name
// (null when the link is empty or the object is gone).
Json writeParams(const host::Container& container, const host::Description* description,
                 const host::Document& document, const std::function<bool(int32_t)>& skip);

}  // namespace kurvo::scenefile
