// Messages name files, objects and materials as the user's input spells
// them; printed raw, a name holding a line break would forge a second line
// and one holding ESC would send commands to the terminal. Every line the
// tool prints goes through printable().
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace kurvo::cli {

// `text` with every control character (C0, DEL and the C1 range U+0080 to
// U+009F) written as a visible escape: "\n", "\r", "\t", "\x1b", "\u009b".
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
    } else if (c == 0xc2 && i + 1 < text.size() && static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
               static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
      std::snprintf(buffer, sizeof buffer, "\\u%04x", static_cast<unsigned char>(text[i + 1]));
      out += buffer;
      ++i;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

}  // namespace kurvo::cli
