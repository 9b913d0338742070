// Drawing on an RGB picture: filled and outlined rectangles, lines, text in a
// font, and copies of host bitmaps. Everything is clipped to the picture.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/bitmap.h"
#include "font.h"
#include "raster.h"

namespace kurvo::panel {

struct Colour {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Colour&) const = default;
};

// A colour from red, green and blue in 0..1.
Colour colourOf(float r, float g, float b) noexcept;

class Painter {
 public:
  explicit Painter(kurvo::media::Image& image) : image_(image) {}

  kurvo::media::Image& image() noexcept { return image_; }
  void fill(int32_t x, int32_t y, int32_t w, int32_t h, Colour c);
  // A one-pixel outline of the rectangle.
  void frame(int32_t x, int32_t y, int32_t w, int32_t h, Colour c);
  // A line with `coverage` 0..1 blended over what is there.
  void line(float x0, float y0, float x1, float y1, Colour c, float coverage = 1.0f);
  // Text with its baseline at y, cut at x = clipRight; answers the pen's end.
  int32_t text(Font& font, int32_t x, int32_t baseline, std::string_view utf8, Colour c,
               int32_t clipRight = INT32_MAX);
  // Copies w x h pixels of `bitmap` from (sx, sy) to (x, y), opaque.
  void blit(const kurvo::host::Bitmap& bitmap, int32_t sx, int32_t sy, int32_t w, int32_t h, int32_t x, int32_t y);
  void blend(int32_t x, int32_t y, Colour c, uint8_t coverage);
  void set(int32_t x, int32_t y, Colour c);

 private:
  kurvo::media::Image& image_;
};

// A blank picture of w x h in one colour.
kurvo::media::Image blankImage(int32_t w, int32_t h, Colour c);

}  // namespace kurvo::panel
