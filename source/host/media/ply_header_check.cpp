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
  }
  return "its header has no \"end_header\" line";
}

}  // namespace kurvo::media
