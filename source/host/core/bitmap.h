// Host bitmaps: 8-bit RGBA pixels, loaded from TIFF files.
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "kh_bitmap.h"

namespace kurvo::host {

class Bitmap {
 public:
  static constexpr uint32_t kMagic = 0x424D4150;  // 'BMAP'
  uint32_t magic = kMagic;
  ~Bitmap() { magic = 0; }

  int32_t width() const noexcept { return width_; }
  int32_t height() const noexcept { return height_; }
  // KH_IMAGE_OK or KH_IMAGE_NOMEM; the bitmap is black and opaque.
  int32_t resize(int32_t w, int32_t h);
  void clear() noexcept;
  // A KH_IMAGE_ code: OK, NOTEXISTING (no such file), WRONGTYPE (not a TIFF
  // with 8-bit RGB or RGBA pixels) or NOMEM. The bitmap is empty on failure.
  int32_t loadTiff(const std::filesystem::path& file);

  bool inside(int32_t x, int32_t y) const noexcept {
    return x >= 0 && y >= 0 && x < width_ && y < height_;
  }
  // Pixel (x, y) as RGBA; (0, 0, 0, 0) outside.
  void get(int32_t x, int32_t y, uint8_t rgba[4]) const noexcept;
  void set(int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) noexcept;
  const std::vector<uint8_t>& pixels() const noexcept { return rgba_; }

 private:
  int32_t width_ = 0;
  int32_t height_ = 0;
  std::vector<uint8_t> rgba_;  // row-major, top row first
};

inline KhBitmap* toHandle(Bitmap* b) noexcept { return reinterpret_cast<KhBitmap*>(b); }
inline Bitmap* bitmapFrom(const KhBitmap* h) noexcept {
  auto* b = reinterpret_cast<Bitmap*>(const_cast<KhBitmap*>(h));
  return b && b->magic == Bitmap::kMagic ? b : nullptr;
}

}  // namespace kurvo::host
