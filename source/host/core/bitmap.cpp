#include "bitmap.h"

#include <new>

#include "tiff_decoder.h"

namespace kurvo::host {

int32_t Bitmap::resize(int32_t w, int32_t h) {
  if (w <= 0 || h <= 0 || static_cast<int64_t>(w) * h > kMaxImagePixels) return KH_IMAGE_NOMEM;
  try {
    std::vector<uint8_t> fresh(static_cast<size_t>(w) * static_cast<size_t>(h) * 4, 0);
    for (size_t i = 3; i < fresh.size(); i += 4) fresh[i] = 255;
    rgba_.swap(fresh);
  } catch (const std::bad_alloc&) {
    return KH_IMAGE_NOMEM;
  }
  width_ = w;
  height_ = h;
  return KH_IMAGE_OK;
}

void Bitmap::clear() noexcept {
  rgba_.clear();
  rgba_.shrink_to_fit();
  width_ = height_ = 0;
}

int32_t Bitmap::loadTiff(const std::filesystem::path& file) {
  clear();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) return KH_IMAGE_NOTEXISTING;
  DecodedImage img;
  const int32_t answer = decodeTiffFile(file, img);
  if (answer != KH_IMAGE_OK) return answer;
  width_ = img.width;
  height_ = img.height;
  rgba_ = std::move(img.rgba);
  return KH_IMAGE_OK;
}

void Bitmap::get(int32_t x, int32_t y, uint8_t rgba[4]) const noexcept {
  if (!inside(x, y)) {
    rgba[0] = rgba[1] = rgba[2] = rgba[3] = 0;
    return;
  }
  const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)) * 4;
  for (int k = 0; k < 4; ++k) rgba[k] = rgba_[i + k];
}

void Bitmap::set(int32_t x, int32_t y, uint8_t r, uint8_t g, uint8_t b, uint8_t a) noexcept {
  if (!inside(x, y)) return;
  const size_t i = (static_cast<size_t>(y) * static_cast<size_t>(width_) + static_cast<size_t>(x)) * 4;
  rgba_[i] = r;
  rgba_[i + 1] = g;
  rgba_[i + 2] = b;
  rgba_[i + 3] = a;
}

}  // namespace kurvo::host
