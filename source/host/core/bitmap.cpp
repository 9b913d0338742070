#include "bitmap.h"

#include <tiffio.h>

#include <algorithm>
#include <memory>
#include <new>

namespace kurvo::host {
namespace {

// Keeps libtiff quiet: a bad file is answered with a code, not with text.
void silentHandler(const char*, const char*, va_list) {}

struct TiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};

}  // namespace

int32_t Bitmap::resize(int32_t w, int32_t h) {
  if (w <= 0 || h <= 0 || static_cast<int64_t>(w) * h > (int64_t{1} << 28)) return KH_IMAGE_NOMEM;
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
  TIFFSetErrorHandler(silentHandler);
  TIFFSetWarningHandler(silentHandler);
  std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpen(file.c_str(), "r"));
  if (!tif) return KH_IMAGE_WRONGTYPE;
  uint32_t w = 0, h = 0;
  uint16_t bits = 0, samples = 0;
  TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
  if (w == 0 || h == 0 || bits != 8 || (samples != 3 && samples != 4)) return KH_IMAGE_WRONGTYPE;
  if (resize(static_cast<int32_t>(w), static_cast<int32_t>(h)) != KH_IMAGE_OK) return KH_IMAGE_NOMEM;
  uint16_t photometric = 0, planar = PLANARCONFIG_CONTIG, orientation = ORIENTATION_TOPLEFT;
  TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
  const bool ok = photometric == PHOTOMETRIC_RGB && planar == PLANARCONFIG_CONTIG &&
                          orientation == ORIENTATION_TOPLEFT
                      ? readScanlines(tif.get(), samples)
                      : readThroughRgba(tif.get(), samples);
  if (!ok) {
    clear();
    return KH_IMAGE_WRONGTYPE;
  }
  return KH_IMAGE_OK;
}

// Plain RGB(A) rows copied as they are: the alpha stays unassociated.
bool Bitmap::readScanlines(::tiff* tif, uint16_t samples) {
  std::vector<uint8_t> row(static_cast<size_t>(TIFFScanlineSize(tif)));
  if (row.size() < static_cast<size_t>(width_) * samples) return false;
  for (int32_t y = 0; y < height_; ++y) {
    if (TIFFReadScanline(tif, row.data(), static_cast<uint32_t>(y), 0) < 0) return false;
    for (int32_t x = 0; x < width_; ++x) {
      const uint8_t* p = &row[static_cast<size_t>(x) * samples];
      set(x, y, p[0], p[1], p[2], samples == 4 ? p[3] : 255);
    }
  }
  return true;
}

// Any other layout through libtiff's RGBA reader, which hands out colours
// multiplied by alpha: divided back so every path answers the same pixels.
bool Bitmap::readThroughRgba(::tiff* tif, uint16_t samples) {
  std::vector<uint32_t> raster(static_cast<size_t>(width_) * static_cast<size_t>(height_));
  if (!TIFFReadRGBAImageOriented(tif, static_cast<uint32_t>(width_), static_cast<uint32_t>(height_),
                                 raster.data(), ORIENTATION_TOPLEFT, 0))
    return false;
  for (size_t i = 0; i < raster.size(); ++i) {
    const uint32_t p = raster[i];
    const uint32_t a = samples == 4 ? TIFFGetA(p) : 255;
    auto unmultiply = [a](uint32_t c) -> uint8_t {
      if (a == 0 || a == 255) return static_cast<uint8_t>(c);
      return static_cast<uint8_t>(std::min<uint32_t>(255, (c * 255 + a / 2) / a));
    };
    rgba_[i * 4 + 0] = unmultiply(TIFFGetR(p));
    rgba_[i * 4 + 1] = unmultiply(TIFFGetG(p));
    rgba_[i * 4 + 2] = unmultiply(TIFFGetB(p));
    rgba_[i * 4 + 3] = static_cast<uint8_t>(a);
  }
  return true;
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
