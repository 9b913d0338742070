#include "batch_list.h"

#include <fstream>
#include <string>

namespace kurvo::farm {
namespace {

// Splits a line into words: runs of non-blanks, or text in double quotes.
bool words(const std::string& line, std::vector<std::string>& out) {
  size_t i = 0;
  while (true) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) ++i;
    if (i == line.size()) return true;
    std::string word;
    if (line[i] == '"') {
      const size_t end = line.find('"', i + 1);
      if (end == std::string::npos) return false;
      word = line.substr(i + 1, end - i - 1);
      i = end + 1;
    } else {
      while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r') word += line[i++];
    }
    out.push_back(std::move(word));
  }
}

}  // namespace

kurvo::media::Result<std::vector<BatchEntry>> readBatchList(const std::filesystem::path& list) {
  std::ifstream in(list);
  if (!in) return kurvo::media::Status::failure(list.string() + ": cannot read the batch list");
  const std::filesystem::path base = std::filesystem::absolute(list).parent_path();
  std::vector<BatchEntry> entries;
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    const size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string::npos || line[start] == '#') continue;
    std::vector<std::string> fields;
    if (!words(line, fields) || fields.size() != 2 || fields[0].empty() || fields[1].empty())
      return kurvo::media::Status::failure(list.string() + ": line " + std::to_string(number) +
                                           ": expected a scene and an output (paths with spaces in double quotes)");
    entries.push_back({(base / fields[0]).lexically_normal(), (base / fields[1]).lexically_normal(), number});
  }
  if (in.bad()) return kurvo::media::Status::failure(list.string() + ": cannot read the batch list");
  if (entries.empty()) return kurvo::media::Status::failure(list.string() + ": the batch list names no scene");
  return entries;
}

}  // namespace kurvo::farm
