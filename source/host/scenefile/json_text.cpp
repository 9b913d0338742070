#include "json_text.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

namespace kurvo::scenefile {

double jsonFloat(float value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer - 1, value);
  *result.ptr = '\0';
  return std::strtod(buffer, nullptr);
}

namespace {

// Every real the host keeps is a single-precision float; one that reaches a
// document as a double (widened, or computed in double) is written as the
// shortest decimal that reads back to the same float, as the format promises.
// Doubles beyond the float range are written as they are.
std::string scalarText(const Json& value) {
  if (!value.is_number_float()) return value.dump();
  const double d = value.get<double>();
  if (!std::isfinite(d) || std::fabs(d) > std::numeric_limits<float>::max()) return value.dump();
  const auto f = static_cast<float>(d);
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, f);
  std::string text(buffer, result.ptr);
  // JSON readers take "1e+20" but a real should stay recognisably real: "3" is
  // written as "3.0" by the JSON library, and kept so.
  if (text.find_first_of(".eEn") == std::string::npos) text += ".0";
  return text;
}

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
    out += e.is_structured() ? e.dump() : scalarText(e);
  }
  out += ']';
}

// A coordinate as scalarText writes its jsonFloat number: that path for the
// few values where the double could tell (not finite, beyond the float
// range), the float's own text for the rest.
void appendCoordinate(float v, std::string& out) {
  if (std::isfinite(v) && std::fabs(v) < std::numeric_limits<float>::max())
    appendReal(v, out);
  else
    out += scalarText(Json(jsonFloat(v)));
}

// A point list as print() writes the tree of its points: one [x, y, z] per line.
void appendPointList(const std::vector<Vector>& points, const std::string& pad, const std::string& inner,
                     std::string& out) {
  if (points.empty()) {
    out += "[]";
    return;
  }
  out.reserve(out.size() + points.size() * (inner.size() + 40));
  out += '[';
  bool first = true;
  for (const Vector& p : points) {
    out += first ? "\n" : ",\n";
    first = false;
    out += inner;
    out += '[';
    appendCoordinate(p.x, out);
    out += ", ";
    appendCoordinate(p.y, out);
    out += ", ";
    appendCoordinate(p.z, out);
    out += ']';
  }
  out += '\n';
  out += pad;
  out += ']';
}

const std::vector<Vector>& pointListOf(const Json& placeholder, const PointLists* lists) {
  const auto& bytes = placeholder.get_binary();
  size_t index = 0;
  if (!lists || bytes.size() != sizeof index) throw std::logic_error("a point list placeholder without its list");
  std::memcpy(&index, bytes.data(), sizeof index);
  if (index >= lists->size()) throw std::logic_error("a point list placeholder without its list");
  return *(*lists)[index];
}

void print(const Json& value, int indent, const PointLists* lists, std::string& out) {
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
      print(it.value(), indent + 1, lists, out);
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
        print(e, indent + 1, lists, out);
    }
    out += '\n' + pad + ']';
  } else if (value.is_binary()) {
    appendPointList(pointListOf(value, lists), pad, inner, out);
  } else {
    out += scalarText(value);
  }
}

}  // namespace

std::string prettyJson(const Json& value) { return prettyJson(value, {}); }

Json pointListPlaceholder(size_t index) {
  Json::binary_t::container_type bytes(sizeof index);
  std::memcpy(bytes.data(), &index, sizeof index);
  return Json::binary(std::move(bytes));
}

Json deferredPointList(const std::vector<Vector>& points, PointLists& pointLists) {
  pointLists.push_back(&points);
  return pointListPlaceholder(pointLists.size() - 1);
}

std::string prettyJson(const Json& value, const PointLists& pointLists) {
  std::string out;
  print(value, 0, &pointLists, out);
  out += '\n';
  return out;
}

void appendReal(float v, std::string& out) {
  char buffer[32];
  const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, v);
  const std::string_view text(buffer, ec == std::errc() ? static_cast<size_t>(end - buffer) : 0);
  out += text;
  if (text.find_first_of(".en") == std::string_view::npos) out += ".0";
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
