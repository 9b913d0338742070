// The baseline reader against libtiff, in builds that have both: files that
// libtiff writes in every layout the reader claims, and the module's bitmaps,
// must decode to the same pixels through either.
#include <gtest/gtest.h>
#include <tiffio.h>

#include "core/baseline_tiff.h"
#include "core/tiff_decoder.h"
#include "kh_bitmap.h"
#include "test_support.h"

namespace kurvo::host::test {
namespace {

struct Layout {
  uint16_t compression;
  uint16_t predictor;
  bool bigEndian;
  int samples;
  uint32_t rowsPerStrip;
};

// A picture that is part smooth ramp, part noise: long LZW strings, a table
// that fills up and is cleared, and rows that differencing changes.
bool writeWithLibtiff(const std::filesystem::path& file, const Layout& l, int w, int h) {
  TIFF* tif = TIFFOpen(file.string().c_str(), l.bigEndian ? "wb" : "wl");
  if (!tif) return false;
  TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
  TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
  TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, l.samples);
  TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
  TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
  TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
  TIFFSetField(tif, TIFFTAG_COMPRESSION, l.compression);
  if (l.compression == COMPRESSION_LZW) TIFFSetField(tif, TIFFTAG_PREDICTOR, l.predictor);
  TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, l.rowsPerStrip);
  if (l.samples == 4) {
    const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
    TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
  }
  std::vector<uint8_t> row(static_cast<size_t>(w * l.samples));
  uint32_t noise = 12345;
  bool ok = true;
  for (int y = 0; y < h && ok; ++y) {
    for (size_t i = 0; i < row.size(); ++i) {
      noise = noise * 1103515245u + 12345u;
      row[i] = static_cast<int>(i) < w ? static_cast<uint8_t>(i / 3 + y) : static_cast<uint8_t>(noise >> 24);
    }
    ok = TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0) >= 0;
  }
  TIFFClose(tif);
  return ok;
}

void expectSamePixels(const std::filesystem::path& file) {
  DecodedImage ours, theirs;
  ASSERT_EQ(readBaselineTiffFile(file, ours), KH_IMAGE_OK) << file;
  ASSERT_EQ(decodeTiffFile(file, theirs), KH_IMAGE_OK) << file;
  EXPECT_EQ(ours.width, theirs.width);
  EXPECT_EQ(ours.height, theirs.height);
  EXPECT_TRUE(ours.rgba == theirs.rgba) << file << ": pixels differ";
}

TEST(BaselineTiffAgainstLibtiff, EveryLayoutDecodesAlike) {
  TempDir tmp;
  int n = 0;
  for (uint16_t compression : {COMPRESSION_NONE, COMPRESSION_LZW, COMPRESSION_PACKBITS})
    for (uint16_t predictor : {1, 2})
      for (bool big : {false, true})
        for (int samples : {3, 4})
          for (uint32_t rps : {1u, 7u, 1000u}) {
            if (predictor == 2 && compression != COMPRESSION_LZW) continue;
            const Layout layout{compression, predictor, big, samples, rps};
            const auto file = tmp.path() / ("layout" + std::to_string(n++) + ".tif");
            ASSERT_TRUE(writeWithLibtiff(file, layout, 700, 23));
            SCOPED_TRACE(testing::Message() << "compression " << compression << " predictor " << predictor
                                            << " big " << big << " samples " << samples << " rps " << rps);
            expectSamePixels(file);
          }
}

TEST(BaselineTiffAgainstLibtiff, TheModulesBitmapsDecodeAlike) {
  for (const char* name : {"Kurvo.tif", "gradienttypes.tif", "kurvoBar_small.tif"})
    expectSamePixels(std::filesystem::path(KURVO_RES_DIR) / name);
}

}  // namespace
}  // namespace kurvo::host::test
