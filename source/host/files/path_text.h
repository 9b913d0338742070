// How the tool's readers and writers name files in messages and picks formats by extension.
#pragma once

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>

namespace kurvo::media {

// A path as messages show it: in single quotes. (Built by appending: GCC 12
// warns falsely about overlapping copies in "'" + s + "'".)
inline std::string quoted(const std::filesystem::path& p) {
  const std::string text = p.string();
  std::string out;
  out.reserve(text.size() + 2);
  out += '\'';
  out += text;
  out += '\'';
  return out;
}

// The extension with its dot, lower case (".glb"); empty when there is none.
inline std::string lower_extension(const std::filesystem::path& p) {
  std::string ext = p.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

}  // namespace kurvo::media
