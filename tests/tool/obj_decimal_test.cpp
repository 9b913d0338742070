// Decimals of OBJ files read by the reader's own short path, against
// std::from_chars: the same float, bit for bit, for random decimals of up to
// 19 digits and for decimals close to halfway between two floats, where the
// short path must hand over rather than guess.
#include <gtest/gtest.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

#include "obj_text.h"

namespace {

using kurvo::media::obj_text::plain_decimal;

uint32_t float_bits(float v) {
  uint32_t b = 0;
  std::memcpy(&b, &v, sizeof b);
  return b;
}

// Whether the short path took `text`; a failure when it answered otherwise than from_chars.
bool check(const std::string& text) {
  float fast = 0.0f;
  const char* stop = plain_decimal(text.data(), text.data() + text.size(), fast);
  // Followed by the rest of a line, as in a file: read alike, ending at the
  // same place.
  const std::string line = text + " 12345678.5 1";
  float in_line = 0.0f;
  const char* line_stop = plain_decimal(line.data(), line.data() + line.size(), in_line);
  if (!stop) {
    EXPECT_EQ(line_stop, nullptr) << text << " is refused alone but taken in a line";
    return false;
  }
  EXPECT_EQ(line_stop, line.data() + text.size()) << text;
  EXPECT_EQ(float_bits(in_line), float_bits(fast)) << text;
  float exact = 0.0f;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), exact);
  EXPECT_TRUE(ec == std::errc() && end == stop) << text;
  EXPECT_EQ(float_bits(fast), float_bits(exact)) << text << ": " << fast << " against " << exact;
  return true;
}

TEST(ObjDecimal, TheShortPathReadsWhatFromCharsReads) {
  std::mt19937_64 rng(1234);
  size_t taken = 0, tried = 0;
  for (int i = 0; i < 2000000; ++i) {
    const int digits = 1 + int(rng() % 19);
    const int point = int(rng() % unsigned(digits + 1));  // digits before the point
    std::string text = rng() % 2 ? "-" : "";
    for (int d = 0; d < digits; ++d) {
      if (d == point && d > 0) text += '.';
      text += char('0' + rng() % 10);
    }
    ++tried;
    taken += check(text);
  }
  // Blender's "%f" and the writer's shortest texts, the usual inputs.
  for (int i = 0; i < 200000; ++i) {
    const float v = std::ldexp(float(rng() % (1u << 24)), int(rng() % 40) - 40);
    char text[64];
    std::snprintf(text, sizeof text, "%f", double(v));
    ++tried;
    taken += check(text);
    const auto end = std::to_chars(text, text + sizeof text, v, std::chars_format::fixed).ptr;
    ++tried;
    taken += check(std::string(text, end));
  }
  EXPECT_GT(taken, tried * 9 / 10) << "most plain decimals take the short path";
}

TEST(ObjDecimal, NearlyHalfwayBetweenTwoFloatsHandsOver) {
  std::mt19937 rng(99);
  for (int i = 0; i < 200000; ++i) {
    const float f = std::ldexp(float(rng() % (1u << 24) | (1u << 23)), int(rng() % 30) - 40);
    const double halfway = (double(f) + double(std::nextafter(f, 1e30f))) / 2;
    // Written with 17 to 19 digits: just below, at or just above halfway.
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", 19 - int(std::floor(std::log10(halfway))) - 1 - int(rng() % 3), halfway);
    check(text);
  }
}

}  // namespace
