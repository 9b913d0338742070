#include "resource.h"

#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

namespace kurvo::host {

std::unique_ptr<Resource> Resource::load(const std::filesystem::path& moduleDir, std::string& error) {
  const std::filesystem::path resDir = moduleDir / "res";
  const std::filesystem::path file = resDir / "strings.json";
  std::error_code ec;
  if (!std::filesystem::is_directory(resDir, ec)) {
    error = resDir.string() + ": directory missing";
    return nullptr;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    error = file.string() + ": cannot be read";
    return nullptr;
  }
  std::stringstream buffer;
  buffer << in.rdbuf();
  return parseStrings(buffer.str(), resDir, file, error);
}

std::unique_ptr<Resource> Resource::parseStrings(const std::string& text,
                                                 const std::filesystem::path& resDir,
                                                 const std::filesystem::path& file,
                                                 std::string& error) {
  using json = nlohmann::json;
  const std::string where = file.string() + ": ";
  json root;
  try {
    root = json::parse(text);
  } catch (const json::exception& e) {  // syntax errors and numbers out of range
    error = where + "(syntax): " + e.what();
    return nullptr;
  }
  if (!root.is_object()) {
    error = where + "(top level): expected an object";
    return nullptr;
  }
  for (auto it = root.begin(); it != root.end(); ++it) {
    if (it.key() != "format" && it.key() != "version" && it.key() != "strings") {
      error = where + it.key() + ": unknown key";
      return nullptr;
    }
  }
  auto format = root.find("format");
  if (format == root.end() || !format->is_string() || *format != "kurvo-strings") {
    error = where + "format: expected \"kurvo-strings\"";
    return nullptr;
  }
  auto version = root.find("version");
  if (version == root.end() || !version->is_number_integer() || *version != 1) {
    error = where + "version: expected 1";
    return nullptr;
  }
  auto strings = root.find("strings");
  if (strings == root.end() || !strings->is_object()) {
    error = where + "strings: expected an object";
    return nullptr;
  }
  auto res = std::unique_ptr<Resource>(new Resource());
  res->dir_ = resDir;
  for (auto it = strings->begin(); it != strings->end(); ++it) {
    const std::string field = "strings." + it.key();
    size_t used = 0;
    long long id = 0;
    try {
      id = std::stoll(it.key(), &used, 10);
    } catch (...) {
      used = 0;
    }
    if (it.key().empty() || used != it.key().size() || id < INT32_MIN || id > INT32_MAX) {
      error = where + field + ": key is not a signed 32-bit decimal ID";
      return nullptr;
    }
    if (!it->is_string()) {
      error = where + field + ": expected a string";
      return nullptr;
    }
    res->strings_[static_cast<int32_t>(id)] = std::make_unique<OwnedString>(it->get<std::string>());
  }
  return res;
}

const KhStringValue* Resource::string(int32_t id) const noexcept {
  auto it = strings_.find(id);
  return it == strings_.end() ? nullptr : it->second->value();
}

}  // namespace kurvo::host
