// JSON text helpers of the scene format: exact float numbers, readable
// pretty-printing of long coordinate lists, and positions in the text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace kurvo::scenefile {

using Json = nlohmann::ordered_json;

// The number to store for a single-precision value: the shortest decimal that
// reads back as exactly `value`, so files stay short and round-trip exactly.
double jsonFloat(float value);

// Indented JSON where every array of plain values (a point, a matrix row) sits
// on one line and every array of such arrays puts one element on each line.
std::string prettyJson(const Json& value);

struct TextPosition {
  size_t line = 1;
  size_t column = 1;
};
// Line and column (both from 1) of the byte at `offset` (0-based) in `text`.
TextPosition positionOf(std::string_view text, size_t offset);

}  // namespace kurvo::scenefile
