#include "json_text.h"

#include <charconv>
#include <cstdlib>

namespace kurvo::scenefile {

double jsonFloat(float value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer - 1, value);
  *result.ptr = '\0';
  return std::strtod(buffer, nullptr);
}

namespace {

bool isFlat(const Json& array) {
  for (const Json& e : array)
    if (e.is_structured()) return false;
  return true;
}

bool isListOfFlat(const Json& array) {
  for (const Json& e : array)
    if (!e.is_array() || !isFlat(e)) return false;
  return true;
}

void appendFlat(const Json& array, std::string& out) {
  out += '[';
  bool first = true;
  for (const Json& e : array) {
    if (!first) out += ", ";
    first = false;
    out += e.dump();
  }
  out += ']';
}

void print(const Json& value, int indent, std::string& out) {
  const std::string pad(static_cast<size_t>(indent) * 2, ' ');
  const std::string inner(static_cast<size_t>(indent + 1) * 2, ' ');
  if (value.is_object()) {
    if (value.empty()) {
      out += "{}";
      return;
    }
    out += "{\n";
    bool first = true;
    for (auto it = value.begin(); it != value.end(); ++it) {
      if (!first) out += ",\n";
      first = false;
      out += inner;
      out += Json(it.key()).dump();
      out += ": ";
      print(it.value(), indent + 1, out);
    }
    out += '\n' + pad + '}';
  } else if (value.is_array()) {
    if (value.empty() || isFlat(value)) {
      appendFlat(value, out);
      return;
    }
    out += "[\n";
    const bool flatRows = isListOfFlat(value);
    bool first = true;
    for (const Json& e : value) {
      if (!first) out += ",\n";
      first = false;
      out += inner;
      if (flatRows)
        appendFlat(e, out);
      else
        print(e, indent + 1, out);
    }
    out += '\n' + pad + ']';
  } else {
    out += value.dump();
  }
}

}  // namespace

std::string prettyJson(const Json& value) {
  std::string out;
  print(value, 0, out);
  out += '\n';
  return out;
}

TextPosition positionOf(std::string_view text, size_t offset) {
  TextPosition p;
  const size_t end = offset < text.size() ? offset : text.size();
  for (size_t i = 0; i < end; ++i) {
    if (text[i] == '\n') {
      ++p.line;
      p.column = 1;
    } else {
      ++p.column;
    }
  }
  return p;
}

}  // namespace kurvo::scenefile
