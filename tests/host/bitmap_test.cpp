// TIFF loading and the icon library.
#include "core/bitmap.h"
#include "core/text_value.h"
#include "test_support.h"

namespace kurvo::host::test {
namespace {

class BitmapTest : public SessionTest {
 protected:
  int32_t load(KhBitmap* bmp, const std::filesystem::path& file) {
    KhFilenameValue fn;
    initText(&fn, file.string());
    const int32_t answer = table().bitmap->init_file(bmp, &fn, -1);
    freeText(&fn);
    return answer;
  }
  TempDir tmp;
};

TEST_F(BitmapTest, LoadsRgbAndRgbaTiffs) {
  ASSERT_TRUE(writeTestTiff(tmp.path() / "rgb.tif", 5, 3, 3));
  ASSERT_TRUE(writeTestTiff(tmp.path() / "rgba.tif", 4, 6, 4));
  const KhBitmapFamily& b = *table().bitmap;
  KhBitmap* bmp = b.alloc();
  ASSERT_EQ(load(bmp, tmp.path() / "rgb.tif"), KH_IMAGE_OK);
  EXPECT_EQ(b.get_width(bmp), 5);
  EXPECT_EQ(b.get_height(bmp), 3);
  int32_t r, g, bl;
  b.get_pixel(bmp, 4, 2, &r, &g, &bl);
  EXPECT_EQ(r, 4);
  EXPECT_EQ(g, 2) << "rows run top to bottom";
  EXPECT_EQ(bl, 6);
  b.get_pixel(bmp, 5, 0, &r, &g, &bl);
  EXPECT_EQ(r + g + bl, 0) << "outside the bitmap";
  ASSERT_EQ(load(bmp, tmp.path() / "rgba.tif"), KH_IMAGE_OK);
  EXPECT_EQ(b.get_height(bmp), 6);
  uint8_t px[4];
  bitmapFrom(bmp)->get(3, 5, px);
  EXPECT_EQ(px[0], 3);
  EXPECT_EQ(px[3], 200);
  b.free(bmp);
}

TEST_F(BitmapTest, FailedLoadsAnswerACodeAndEmptyTheBitmap) {
  ASSERT_TRUE(writeTestTiff(tmp.path() / "ok.tif", 2, 2, 3));
  tmp.write("junk.tif", "not an image at all");
  const KhBitmapFamily& b = *table().bitmap;
  KhBitmap* bmp = b.alloc();
  ASSERT_EQ(load(bmp, tmp.path() / "ok.tif"), KH_IMAGE_OK);
  EXPECT_EQ(load(bmp, tmp.path() / "missing.tif"), KH_IMAGE_NOTEXISTING);
  EXPECT_EQ(b.get_width(bmp), 0);
  EXPECT_EQ(load(bmp, tmp.path() / "junk.tif"), KH_IMAGE_WRONGTYPE);
  EXPECT_EQ(load(bmp, tmp.path()), KH_IMAGE_NOTEXISTING) << "a directory is no image";
  EXPECT_EQ(b.init_size(bmp, 0, 4), KH_IMAGE_NOMEM);
  EXPECT_EQ(b.init_size(bmp, 3, 2), KH_IMAGE_OK);
  b.set_pixel(bmp, 1, 1, 300, -4, 9);
  int32_t r, g, bl;
  b.get_pixel(bmp, 1, 1, &r, &g, &bl);
  EXPECT_EQ(r, 255);
  EXPECT_EQ(g, 0);
  EXPECT_EQ(bl, 9);
  b.free(bmp);
  EXPECT_EQ(b.get_width(nullptr), 0);
}

TEST_F(BitmapTest, IconLibraryKeepsItsOwnCopyOfTheRegion) {
  ASSERT_TRUE(writeTestTiff(tmp.path() / "strip.tif", 64, 32, 4));
  KhBitmap* bmp = table().bitmap->alloc();
  ASSERT_EQ(load(bmp, tmp.path() / "strip.tif"), KH_IMAGE_OK);
  auto* lib = static_cast<const KhIconLib*>(table().general->registry_get_data(
      table().general->registry_find(KH_LIB_ICON, KH_REGISTRYTYPE_LIBRARY)));
  ASSERT_NE(lib, nullptr);
  EXPECT_EQ(lib->register_icon(7, bmp, 32, 0, 32, 32, 0), 1);
  EXPECT_EQ(lib->register_icon(8, bmp, 40, 0, 32, 32, 0), 0) << "region outside the bitmap";
  table().bitmap->free(bmp);
  const IconCopy& icon = session().state().icons.at(7);
  EXPECT_EQ(icon.width, 32);
  EXPECT_EQ(icon.rgba[0], 32) << "first pixel of the region is x = 32";
}

}  // namespace
}  // namespace kurvo::host::test
