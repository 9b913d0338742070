#include "ply_header_check.h"

#include <array>
#include <fstream>
#include <sstream>
#include <string_view>

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

std::string check_ply_header(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return "cannot open it";
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
    if (keyword == "end_header") return has_format ? "" : "its header has no \"format\" line";
    if (keyword == "format") has_format = true;
    bool known = false;
    for (std::string_view k : kKeywords) known = known || keyword == k;
    if (!known) return "header line " + std::to_string(number) + " (\"" + line + "\") is not a PLY header line";
    if (keyword == "property")
      if (std::string problem = property_problem(words); !problem.empty())
        return "header line " + std::to_string(number) + " has " + problem;
  }
  return "its header has no \"end_header\" line";
}

}  // namespace kurvo::media
