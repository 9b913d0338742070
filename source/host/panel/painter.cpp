#include "painter.h"

#include <algorithm>
#include <cmath>

namespace kurvo::panel {

Colour colourOf(float r, float g, float b) noexcept {
  auto byte = [](float v) { return static_cast<uint8_t>(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f); };
  return Colour{byte(r), byte(g), byte(b)};
}

kurvo::media::Image blankImage(int32_t w, int32_t h, Colour c) {
  kurvo::media::Image image;
  image.width = std::max(0, w);
  image.height = std::max(0, h);
  image.rgb.resize(static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3);
  for (size_t i = 0; i < image.rgb.size(); i += 3) {
    image.rgb[i] = c.r;
    image.rgb[i + 1] = c.g;
    image.rgb[i + 2] = c.b;
  }
  return image;
}

void Painter::set(int32_t x, int32_t y, Colour c) {
  if (x < 0 || y < 0 || x >= image_.width || y >= image_.height) return;
  const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(image_.width) + static_cast<size_t>(x)) * 3;
  image_.rgb[i] = c.r;
  image_.rgb[i + 1] = c.g;
  image_.rgb[i + 2] = c.b;
}

void Painter::blend(int32_t x, int32_t y, Colour c, uint8_t coverage) {
  if (x < 0 || y < 0 || x >= image_.width || y >= image_.height || coverage == 0) return;
  const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(image_.width) + static_cast<size_t>(x)) * 3;
  auto mix = [coverage](uint8_t under, uint8_t over) {
    return static_cast<uint8_t>((under * (255 - coverage) + over * coverage + 127) / 255);
  };
  image_.rgb[i] = mix(image_.rgb[i], c.r);
  image_.rgb[i + 1] = mix(image_.rgb[i + 1], c.g);
  image_.rgb[i + 2] = mix(image_.rgb[i + 2], c.b);
}

void Painter::fill(int32_t x, int32_t y, int32_t w, int32_t h, Colour c) {
  const int32_t x0 = std::max(x, 0), y0 = std::max(y, 0);
  const int32_t x1 = std::min(x + w, image_.width), y1 = std::min(y + h, image_.height);
  for (int32_t py = y0; py < y1; ++py)
    for (int32_t px = x0; px < x1; ++px) set(px, py, c);
}

void Painter::frame(int32_t x, int32_t y, int32_t w, int32_t h, Colour c) {
  if (w <= 0 || h <= 0) return;
  fill(x, y, w, 1, c);
  fill(x, y + h - 1, w, 1, c);
  fill(x, y, 1, h, c);
  fill(x + w - 1, y, 1, h, c);
}

void Painter::line(float x0, float y0, float x1, float y1, Colour c, float coverage) {
  // Samples every half pixel along the longer axis; good enough for the thin
  // strokes of previews and marks.
  const float dx = x1 - x0, dy = y1 - y0;
  const int steps = std::max(1, static_cast<int>(std::ceil(std::max(std::fabs(dx), std::fabs(dy)) * 2.0f)));
  const auto alpha = static_cast<uint8_t>(std::clamp(coverage, 0.0f, 1.0f) * 255.0f + 0.5f);
  int32_t lastX = INT32_MIN, lastY = INT32_MIN;
  for (int s = 0; s <= steps; ++s) {
    const float t = static_cast<float>(s) / static_cast<float>(steps);
    const auto px = static_cast<int32_t>(std::lround(x0 + dx * t));
    const auto py = static_cast<int32_t>(std::lround(y0 + dy * t));
    if (px == lastX && py == lastY) continue;
    blend(px, py, c, alpha);
    lastX = px;
    lastY = py;
  }
}

int32_t Painter::text(Font& font, int32_t x, int32_t baseline, std::string_view utf8, Colour c, int32_t clipRight) {
  int32_t pen = x;
  for (char32_t cp : decodeUtf8(utf8)) {
    const Glyph& g = font.glyph(cp);
    if (pen + g.advance > clipRight) break;
    for (int32_t r = 0; r < g.rows; ++r)
      for (int32_t col = 0; col < g.width; ++col)
        blend(pen + g.left + col, baseline - g.top + r, c, g.coverage[static_cast<size_t>(r) * g.width + col]);
    pen += g.advance;
  }
  return pen;
}

void Painter::blit(const kurvo::host::Bitmap& bitmap, int32_t sx, int32_t sy, int32_t w, int32_t h, int32_t x,
                   int32_t y) {
  uint8_t px[4];
  for (int32_t r = 0; r < h; ++r)
    for (int32_t col = 0; col < w; ++col) {
      if (!bitmap.inside(sx + col, sy + r)) continue;
      bitmap.get(sx + col, sy + r, px);
      set(x + col, y + r, Colour{px[0], px[1], px[2]});
    }
}

}  // namespace kurvo::panel
