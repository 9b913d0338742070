// Messages name files, objects and materials as the user's input spells
// them; printed raw, a name holding a line break would forge a second line
// and one holding ESC would send commands to the terminal. Every line the
// tool prints goes through printable().
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace kurvo::cli {

// The length of the well-formed UTF-8 sequence at the start of `text` (2 to
// 4 bytes), or 0 when there is none: no overlong forms, no surrogates,
// nothing past U+10FFFF.
inline size_t utf8_sequence(std::string_view text) {
  const auto byte = [&](size_t i) { return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u; };
  const unsigned c = byte(0);
  const auto tail = [&](size_t i) { return (byte(i) & 0xc0) == 0x80; };
  if (c >= 0xc2 && c <= 0xdf) return tail(1) ? 2 : 0;
  if (c >= 0xe0 && c <= 0xef) {
    const unsigned lo = c == 0xe0 ? 0xa0 : 0x80, hi = c == 0xed ? 0x9f : 0xbf;
    return byte(1) >= lo && byte(1) <= hi && tail(2) ? 3 : 0;
  }
  if (c >= 0xf0 && c <= 0xf4) {
    const unsigned lo = c == 0xf0 ? 0x90 : 0x80, hi = c == 0xf4 ? 0x8f : 0xbf;
    return byte(1) >= lo && byte(1) <= hi && tail(2) && tail(3) ? 4 : 0;
  }
  return 0;
}

// `text` with every control character (C0, DEL and the C1 range U+0080 to
// U+009F) written as a visible escape: "\n", "\r", "\t", "\x1b", "\u009b";
// bytes that are not UTF-8 (a Latin-1 name in a mesh file, say) as "\xe9", so
// a terminal neither garbles the line nor reads them as commands.
inline std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  char buffer[8];
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7f) {
      std::snprintf(buffer, sizeof buffer, "\\x%02x", c);
      out += buffer;
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (const size_t n = utf8_sequence(text.substr(i)); n == 0) {
      std::snprintf(buffer, sizeof buffer, "\\x%02x", c);
      out += buffer;
    } else if (c == 0xc2 && static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
      std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned char>(text[i + 1]));
      out += buffer;
      ++i;
    } else {
      out.append(text.substr(i, n));
      i += n - 1;
    }
  }
  return out;
}

// An option and its value as the user would type them: "--max-points 0",
// "--frames ''" (an empty or spaced value in quotes).
inline std::string optionText(std::string_view option, std::string_view value) {
  std::string out(option);
  out += ' ';
  if (value.empty() || value.find_first_of(" \t'") != std::string_view::npos) {
    out += '\'';
    out += value;
    out += '\'';
  } else {
    out += value;
  }
  return out;
}

}  // namespace kurvo::cli
