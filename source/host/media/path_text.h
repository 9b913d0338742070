// How the media layer names files in messages and picks formats by extension.
#pragma once

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <string>

namespace kurvo::media {

// A path as messages show it: in single quotes.
// Built piece by piece: GCC 12 warns falsely (-Wrestrict) about the inlined
// "'" + std::string + "'".
inline std::string quoted(const std::filesystem::path& p) {
  std::string out = p.string();
  out.insert(out.begin(), '\'');
  out.push_back('\'');
  return out;
}

// The extension with its dot, lower case (".glb"); empty when there is none.
inline std::string lower_extension(const std::filesystem::path& p) {
  std::string ext = p.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext;
}

}  // namespace kurvo::media
