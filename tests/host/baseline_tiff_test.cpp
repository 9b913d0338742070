// The host's own TIFF reader: the layouts it reads, and the files it must
// refuse with a code rather than misread or crash on.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "core/baseline_tiff.h"
#include "core/tiff_codecs.h"
#include "kh_bitmap.h"
#include "test_tiff_writer.h"

namespace kurvo::host::test {
namespace {

// The pattern as RGBA, as the reader must answer it.
std::vector<uint8_t> expectedRgba(const TiffLayout& layout) {
  std::vector<uint8_t> px = testPattern(layout), rgba;
  for (size_t i = 0; i < px.size(); i += static_cast<size_t>(layout.samples)) {
    rgba.insert(rgba.end(), px.begin() + static_cast<std::ptrdiff_t>(i), px.begin() + static_cast<std::ptrdiff_t>(i) + 3);
    rgba.push_back(layout.samples == 4 ? px[i + 3] : 255);
  }
  return rgba;
}

int32_t decode(const std::vector<uint8_t>& bytes, DecodedImage& img) { return readBaselineTiff(bytes, img); }

TEST(BaselineTiff, ReadsEveryBaselineLayoutItClaims) {
  for (bool big : {false, true})
    for (int samples : {3, 4})
      for (uint32_t compression : {1u, 32773u})
        for (int rps : {0, 1, 4}) {
          TiffLayout layout;
          layout.width = 37;
          layout.height = 9;
          layout.samples = samples;
          layout.bigEndian = big;
          layout.compression = compression;
          layout.rowsPerStrip = rps;
          DecodedImage img;
          SCOPED_TRACE(testing::Message() << "big " << big << " samples " << samples << " compression "
                                          << compression << " rows per strip " << rps);
          ASSERT_EQ(decode(makeTiff(layout), img), KH_IMAGE_OK);
          EXPECT_EQ(img.width, 37);
          EXPECT_EQ(img.height, 9);
          EXPECT_EQ(img.rgba, expectedRgba(layout));
        }
}

TEST(BaselineTiff, UncompressedStripsMayOmitTheirByteCounts) {
  TiffLayout layout;
  layout.overrides[279] = ~0u;
  DecodedImage img;
  EXPECT_EQ(decode(makeTiff(layout), img), KH_IMAGE_OK);
  EXPECT_EQ(img.rgba, expectedRgba(layout));
  layout.compression = 32773;
  EXPECT_EQ(decode(makeTiff(layout), img), KH_IMAGE_WRONGTYPE) << "packed strips need their lengths";
}

TEST(BaselineTiff, RefusesWhatItDoesNotRead) {
  const std::pair<uint16_t, uint32_t> refused[] = {
      {258, 16},     // 16-bit samples
      {259, 7},      // JPEG
      {259, 8},      // Deflate
      {262, 3},      // palette
      {262, 1},      // grey
      {266, 2},      // reversed bit order
      {274, 4},      // bottom-left orientation
      {277, 1},      // one sample per pixel
      {278, 0},      // zero rows per strip
      {284, 2},      // planar samples
      {317, 3},      // floating-point predictor
      {322, 16},     // tiles
      {256, 0},      // no width
      {273, 9999},   // strip beyond the end of the file
      {279, 9999},   // strip length beyond the end of the file
  };
  for (const auto& [tag, value] : refused) {
    TiffLayout layout;
    layout.overrides[tag] = value;
    DecodedImage img;
    EXPECT_EQ(decode(makeTiff(layout), img), KH_IMAGE_WRONGTYPE) << "tag " << tag << " = " << value;
    EXPECT_TRUE(img.rgba.empty());
  }
}

TEST(BaselineTiff, HugeDimensionsAreRefusedBeforeAnyAllocation) {
  TiffLayout layout;
  layout.overrides[256] = 70000;
  layout.overrides[257] = 70000;
  DecodedImage img;
  EXPECT_EQ(decode(makeTiff(layout), img), KH_IMAGE_NOMEM);
  // 2^28 pixels are within the budget: this one is refused only for its
  // strips (one where a row a strip needs 16384); one row more is over it.
  layout.overrides[256] = 16384;
  layout.overrides[257] = 16384;
  layout.overrides[278] = 1;
  EXPECT_EQ(decode(makeTiff(layout), img), KH_IMAGE_WRONGTYPE);
  layout.overrides[257] = 16385;
  EXPECT_EQ(decode(makeTiff(layout), img), KH_IMAGE_NOMEM);
  EXPECT_TRUE(img.rgba.empty());
}

TEST(BaselineTiff, BrokenFilesAnswerWrongType) {
  const std::vector<uint8_t> good = makeTiff(TiffLayout{});
  DecodedImage img;
  ASSERT_EQ(decode(good, img), KH_IMAGE_OK);
  // Every truncation short of the closing link to a next directory, which
  // the reader does not need: the directory at the end goes first.
  for (size_t n = 0; n + 4 < good.size(); ++n)
    EXPECT_EQ(decode(std::vector<uint8_t>(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(n)), img),
              KH_IMAGE_WRONGTYPE)
        << "first " << n << " bytes";
  std::vector<uint8_t> bad = good;
  bad[0] = 'X';
  EXPECT_EQ(decode(bad, img), KH_IMAGE_WRONGTYPE) << "byte order mark";
  bad = good;
  bad[2] = 43;
  EXPECT_EQ(decode(bad, img), KH_IMAGE_WRONGTYPE) << "BigTIFF or not a TIFF";
  bad = good;
  bad[4] = 0xFF;
  bad[5] = 0xFF;
  EXPECT_EQ(decode(bad, img), KH_IMAGE_WRONGTYPE) << "directory beyond the end";
}

TEST(BaselineTiff, ReadsTheModulesBitmaps) {
  for (const char* name : {"Kurvo.tif", "gradienttypes.tif", "kurvoBar_small.tif"}) {
    DecodedImage img;
    ASSERT_EQ(readBaselineTiffFile(std::filesystem::path(KURVO_RES_DIR) / name, img), KH_IMAGE_OK) << name;
    EXPECT_GT(img.width, 0);
    EXPECT_EQ(img.rgba.size(), static_cast<size_t>(img.width) * static_cast<size_t>(img.height) * 4);
  }
  DecodedImage img;
  EXPECT_EQ(readBaselineTiffFile(std::filesystem::path(KURVO_RES_DIR) / "missing.tif", img), KH_IMAGE_NOTEXISTING);
}

// MSB-first codes of the given widths, as TIFF's LZW stores them.
std::vector<uint8_t> packCodes(const std::vector<std::pair<int, int>>& codes) {
  std::vector<uint8_t> out;
  uint32_t bits = 0;
  int held = 0;
  for (const auto& [code, width] : codes) {
    bits = (bits << width) | static_cast<uint32_t>(code);
    held += width;
    while (held >= 8) {
      held -= 8;
      out.push_back(static_cast<uint8_t>(bits >> held));
    }
  }
  if (held > 0) out.push_back(static_cast<uint8_t>(bits << (8 - held)));
  return out;
}

TEST(TiffLzw, DecodesACodeThatIsDefinedByItsOwnUse) {
  // "ABABABA": the last code (260) is not yet in the table when it arrives.
  const auto in = packCodes({{256, 9}, {'A', 9}, {'B', 9}, {258, 9}, {260, 9}, {257, 9}});
  std::vector<uint8_t> out(7);
  ASSERT_TRUE(tiff::decodeLzw(in, out));
  EXPECT_EQ(std::string(out.begin(), out.end()), "ABABABA");
}

TEST(TiffLzw, ClearCodeRestartsTheTableAndBadCodesFail) {
  const auto in = packCodes({{256, 9}, {'A', 9}, {'B', 9}, {256, 9}, {'C', 9}, {259, 9}, {257, 9}});
  std::vector<uint8_t> out(6);
  EXPECT_FALSE(tiff::decodeLzw(in, out)) << "259 is undefined right after a clear";
  const auto ok = packCodes({{256, 9}, {'A', 9}, {'B', 9}, {256, 9}, {'C', 9}, {'D', 9}, {258, 9}, {257, 9}});
  out.assign(6, 0);
  ASSERT_TRUE(tiff::decodeLzw(ok, out));
  EXPECT_EQ(std::string(out.begin(), out.end()), "ABCDCD");
  out.assign(10, 0);
  EXPECT_FALSE(tiff::decodeLzw(ok, out)) << "data ends before the strip is full";
}

TEST(TiffCodecs, PackBitsAndDifferencing) {
  const std::vector<uint8_t> packed{2, 'a', 'b', 'c', 0xFE, 'x', 0x80, 0, 'z'};
  std::vector<uint8_t> out(7);
  ASSERT_TRUE(tiff::decodePackBits(packed, out));
  EXPECT_EQ(std::string(out.begin(), out.end()), "abcxxxz");
  std::vector<uint8_t> longer(8);
  EXPECT_FALSE(tiff::decodePackBits(packed, longer));
  std::vector<uint8_t> rows{10, 20, 1, 2, 1, 2, 5, 5, 1, 1, 1, 1};
  tiff::undoHorizontalDifferencing(rows, 6, 2);
  EXPECT_EQ(rows, (std::vector<uint8_t>{10, 20, 11, 22, 12, 24, 5, 5, 6, 6, 7, 7}));
}

}  // namespace
}  // namespace kurvo::host::test
