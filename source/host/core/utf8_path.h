// Paths as the host's text values carry them: UTF-8. How a narrow
// std::string converts to a path differs between C++ libraries on Windows
// (UTF-8 in libstdc++, the ANSI code page in others, which garbles any name
// outside it); these go through char8_t, which means UTF-8 everywhere.
#pragma once

#include <filesystem>
#include <string>

namespace kurvo::host {

inline std::filesystem::path pathFromUtf8(const std::string& text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string utf8FromPath(const std::filesystem::path& p) {
  const std::u8string text = p.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace kurvo::host
