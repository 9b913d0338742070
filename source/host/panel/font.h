// Text for the attribute panel: FreeType renders the glyphs of a TrueType
// font at one pixel size; glyphs are cached as 8-bit coverage masks.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "result.h"

namespace kurvo::panel {

// One glyph's coverage mask and placement relative to the pen position on
// the baseline.
struct Glyph {
  int32_t width = 0;
  int32_t rows = 0;
  int32_t left = 0;     // from the pen to the mask's left edge
  int32_t top = 0;      // from the baseline up to the mask's top row
  int32_t advance = 0;  // pen movement in whole pixels
  std::vector<uint8_t> coverage;  // rows * width, 0 (none) to 255 (full)
};

class Font {
 public:
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  // Opens `file` at `pixelSize` (the em height in pixels). Fails with a
  // message naming the file when FreeType cannot read it.
  static kurvo::media::Result<std::unique_ptr<Font>> open(const std::filesystem::path& file, int32_t pixelSize);

  int32_t ascent() const noexcept { return ascent_; }
  int32_t descent() const noexcept { return descent_; }  // positive, below the baseline
  int32_t lineHeight() const noexcept { return ascent_ + descent_; }

  // The glyph of a code point; a missing glyph is the font's replacement box.
  const Glyph& glyph(char32_t codePoint);
  // Width in pixels of UTF-8 text.
  int32_t measure(std::string_view text);

 private:
  Font() = default;
  struct Library;
  std::unique_ptr<Library> ft_;
  int32_t ascent_ = 0;
  int32_t descent_ = 0;
  std::unordered_map<char32_t, Glyph> cache_;
};

// Code points of UTF-8 text; malformed bytes become U+FFFD.
std::u32string decodeUtf8(std::string_view text);

// The font files the panel looks for, regular and bold, in order of
// preference (the Debian package fonts-dejavu-core installs the first pair).
const std::vector<std::filesystem::path>& regularFontCandidates();
const std::vector<std::filesystem::path>& boldFontCandidates();

}  // namespace kurvo::panel
