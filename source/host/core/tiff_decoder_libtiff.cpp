// TIFF decoding with libtiff: every layout libtiff understands.
#include <tiffio.h>

#include <algorithm>
#include <memory>
#include <new>

#include "kh_bitmap.h"
#include "tiff_decoder.h"

namespace kurvo::host {
namespace {

// Keeps libtiff quiet: a bad file is answered with a code, not with text.
void silentHandler(const char*, const char*, va_list) {}

struct TiffCloser {
  void operator()(TIFF* t) const { TIFFClose(t); }
};

// Plain RGB(A) rows copied as they are: the alpha stays unassociated.
bool readScanlines(TIFF* tif, uint16_t samples, DecodedImage& img) {
  std::vector<uint8_t> row(static_cast<size_t>(TIFFScanlineSize(tif)));
  if (row.size() < static_cast<size_t>(img.width) * samples) return false;
  uint8_t* out = img.rgba.data();
  for (int32_t y = 0; y < img.height; ++y) {
    if (TIFFReadScanline(tif, row.data(), static_cast<uint32_t>(y), 0) < 0) return false;
    for (int32_t x = 0; x < img.width; ++x, out += 4) {
      const uint8_t* p = &row[static_cast<size_t>(x) * samples];
      out[0] = p[0];
      out[1] = p[1];
      out[2] = p[2];
      out[3] = samples == 4 ? p[3] : 255;
    }
  }
  return true;
}

// Any other layout through libtiff's RGBA reader, which hands out colours
// multiplied by alpha: divided back so every path answers the same pixels.
bool readThroughRgba(TIFF* tif, uint16_t samples, DecodedImage& img) {
  std::vector<uint32_t> raster(static_cast<size_t>(img.width) * static_cast<size_t>(img.height));
  if (!TIFFReadRGBAImageOriented(tif, static_cast<uint32_t>(img.width), static_cast<uint32_t>(img.height),
                                 raster.data(), ORIENTATION_TOPLEFT, 0))
    return false;
  for (size_t i = 0; i < raster.size(); ++i) {
    const uint32_t p = raster[i];
    const uint32_t a = samples == 4 ? TIFFGetA(p) : 255;
    auto unmultiply = [a](uint32_t c) -> uint8_t {
      if (a == 0 || a == 255) return static_cast<uint8_t>(c);
      return static_cast<uint8_t>(std::min<uint32_t>(255, (c * 255 + a / 2) / a));
    };
    img.rgba[i * 4 + 0] = unmultiply(TIFFGetR(p));
    img.rgba[i * 4 + 1] = unmultiply(TIFFGetG(p));
    img.rgba[i * 4 + 2] = unmultiply(TIFFGetB(p));
    img.rgba[i * 4 + 3] = static_cast<uint8_t>(a);
  }
  return true;
}

}  // namespace

int32_t decodeTiffFile(const std::filesystem::path& file, DecodedImage& out) {
  TIFFSetErrorHandler(silentHandler);
  TIFFSetWarningHandler(silentHandler);
  std::unique_ptr<TIFF, TiffCloser> tif(TIFFOpen(file.string().c_str(), "r"));
  if (!tif) return KH_IMAGE_WRONGTYPE;
  uint32_t w = 0, h = 0;
  uint16_t bits = 0, samples = 0;
  TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &h);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_SAMPLESPERPIXEL, &samples);
  if (w == 0 || h == 0 || bits != 8 || (samples != 3 && samples != 4)) return KH_IMAGE_WRONGTYPE;
  if (static_cast<int64_t>(w) * h > kMaxImagePixels) return KH_IMAGE_NOMEM;
  DecodedImage img;
  img.width = static_cast<int32_t>(w);
  img.height = static_cast<int32_t>(h);
  try {
    img.rgba.assign(static_cast<size_t>(w) * h * 4, 0);
  } catch (const std::bad_alloc&) {
    return KH_IMAGE_NOMEM;
  }
  uint16_t photometric = 0, planar = PLANARCONFIG_CONTIG, orientation = ORIENTATION_TOPLEFT;
  TIFFGetField(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ORIENTATION, &orientation);
  const bool plain =
      photometric == PHOTOMETRIC_RGB && planar == PLANARCONFIG_CONTIG && orientation == ORIENTATION_TOPLEFT;
  if (!(plain ? readScanlines(tif.get(), samples, img) : readThroughRgba(tif.get(), samples, img)))
    return KH_IMAGE_WRONGTYPE;
  out = std::move(img);
  return KH_IMAGE_OK;
}

}  // namespace kurvo::host
