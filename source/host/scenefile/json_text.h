// JSON text helpers of the scene format: exact float numbers, readable
// pretty-printing of long coordinate lists, and positions in the text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "vector.h"

namespace kurvo::scenefile {

using Json = nlohmann::ordered_json;

// The number to store for a single-precision value: the shortest decimal that
// reads back as exactly `value`, so files stay short and round-trip exactly.
double jsonFloat(float value);

// Indented JSON where every array of plain values (a point, a matrix row) sits
// on one line and every array of such arrays puts one element on each line.
std::string prettyJson(const Json& value);

// Point lists kept out of the tree: a tree of 10^6 points holds 10^6 arrays,
// an allocation each. The tree holds pointListPlaceholder(k) instead and the
// printer writes `pointLists[k]` in its place, the same text as the tree of
// its points (arrays of three jsonFloat numbers) would print.
using PointLists = std::vector<const std::vector<Vector>*>;
Json pointListPlaceholder(size_t index);
// Adds `points` to the lists and gives its placeholder; the points must stay
// unchanged until the document is printed.
Json deferredPointList(const std::vector<Vector>& points, PointLists& pointLists);
std::string prettyJson(const Json& value, const PointLists& pointLists);

// A real as the scene files write it: the shortest text that reads back to
// the same float, with ".0" on whole numbers.
void appendReal(float v, std::string& out);

struct TextPosition {
  size_t line = 1;
  size_t column = 1;
};
// Line and column (both from 1) of the byte at `offset` (0-based) in `text`.
TextPosition positionOf(std::string_view text, size_t offset);

}  // namespace kurvo::scenefile
