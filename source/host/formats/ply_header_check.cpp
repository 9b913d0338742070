#include "ply_header_check.h"

#include <algorithm>
#include <array>
#include <fstream>
#include <sstream>
#include <string_view>
#include <system_error>
#include <vector>

namespace kurvo::media {
namespace {

// Headers are a few hundred bytes; a file without "end_header" within this
// many bytes is not a PLY file we can read.
constexpr std::size_t kMaxHeaderBytes = 64 * 1024;

constexpr std::array<std::string_view, 5> kKeywords{"format", "comment", "obj_info", "element", "property"};

// The scalar types a PLY property may have.
constexpr std::array<std::string_view, 16> kTypes{"char",  "uchar",  "short",  "ushort", "int",    "uint",
                                                   "float", "double", "int8",   "uint8",  "int16",  "uint16",
                                                   "int32", "uint32", "float32", "float64"};

bool isType(const std::string& word) {
  for (std::string_view t : kTypes)
    if (word == t) return true;
  return false;
}

// What is wrong with the rest of a "property" line (after the keyword), or
// "": a type and a name, or "list", a count type, an item type and a name.
// The importer does not survive every other spelling (it leaks on an
// unknown type), so nothing else reaches it.
std::string property_problem(std::istringstream& words) {
  std::string first, second, third, fourth, extra;
  words >> first;
  if (first == "list") {
    words >> second >> third >> fourth;
    if (!isType(second) || !isType(third)) return "an unknown property type";
    if (fourth.empty()) return "a list property without a name";
  } else {
    words >> second;
    if (!isType(first)) return "an unknown property type";
    if (second.empty()) return "a property without a name";
  }
  if (words >> extra) return "more words than a property has";
  return "";
}

std::string strip_cr(std::string line) {
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

}  // namespace

bool looks_like_ply(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::string first;
  return in && std::getline(in, first) && strip_cr(first) == "ply";
}

namespace {

struct Element {
  std::string name;
  unsigned long long count = 0;
  int line = 0;
  unsigned long long properties = 0;
};

// What is wrong with the rest of an "element" line: a name and a whole count.
std::string element_problem(std::istringstream& words, Element& element) {
  std::string count, extra;
  words >> element.name >> count;
  if (element.name.empty() || count.empty()) return "an element without a name and a count";
  if (count.find_first_not_of("0123456789") != std::string::npos || count.size() > 19)
    return "an element count that is not a whole number";
  element.count = std::stoull(count);
  if (words >> extra) return "more words than an element has";
  return "";
}

// The importer reserves memory for the declared counts before it reads a
// value: a count the file's body cannot hold is refused here. Every value
// takes at least one byte in a binary body (a list at least its count) and
// two in a text one (a digit and a separator).
std::string count_problem(const std::vector<Element>& elements, bool text, unsigned long long body) {
  for (const Element& e : elements) {
    if (e.count == 0) continue;
    const unsigned long long per = std::max(1ull, e.properties) * (text ? 2 : 1);
    if (e.count > body / per)
      return "header line " + std::to_string(e.line) + " declares " + std::to_string(e.count) + " elements \"" +
             e.name + "\", more than the file's " + std::to_string(body) + " bytes after the header can hold";
  }
  return "";
}

}  // namespace

std::string check_ply_header(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return "cannot open it";
  std::error_code size_error;
  const auto file_size = std::filesystem::file_size(file, size_error);
  if (size_error) return "cannot read its size";
  std::vector<Element> elements;
  bool text = false;
  std::string line;
  if (!std::getline(in, line) || strip_cr(line) != "ply") return "it does not start with the line \"ply\"";
  std::size_t bytes = line.size() + 1;
  int number = 1;
  bool has_format = false;
  while (std::getline(in, line)) {
    ++number;
    bytes += line.size() + 1;
    if (bytes > kMaxHeaderBytes) return "its header has no \"end_header\" line";
    line = strip_cr(line);
    std::istringstream words(line);
    std::string keyword;
    words >> keyword;
    if (keyword == "end_header") {
      if (!has_format) return "its header has no \"format\" line";
      return count_problem(elements, text, file_size > bytes ? file_size - bytes : 0);
    }
    if (keyword == "format") {
      has_format = true;
      std::string kind;
      words >> kind;
      text = kind == "ascii";
    }
    bool known = false;
    for (std::string_view k : kKeywords) known = known || keyword == k;
    // Older writers put a free line of text in the header (an early
    // Blender: "Created by Blender3D 247 ..."); the import library reads it
    // as a comment, and so does this check, as long as it is plain text.
    if (!known) {
      const bool text_line = std::all_of(line.begin(), line.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u >= 0x20 && u < 0x7f;
      });
      if (!text_line)
        return "header line " + std::to_string(number) + " (\"" + line + "\") is not a PLY header line";
      continue;
    }
    if (keyword == "property") {
      if (std::string problem = property_problem(words); !problem.empty())
        return "header line " + std::to_string(number) + " has " + problem;
      if (!elements.empty()) ++elements.back().properties;
    }
    if (keyword == "element") {
      Element element;
      element.line = number;
      if (std::string problem = element_problem(words, element); !problem.empty())
        return "header line " + std::to_string(number) + " has " + problem;
      elements.push_back(std::move(element));
    }
  }
  return "its header has no \"end_header\" line";
}

}  // namespace kurvo::media
