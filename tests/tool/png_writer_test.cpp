// PNG output, read back with libpng.
#include <gtest/gtest.h>
#include <png.h>

#include "png_writer.h"
#include "temp_dir.h"

using namespace kurvo::media;

namespace {

// The decoded picture, or an empty one when libpng rejects the file.
Image read_png(const std::filesystem::path& file) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  Image out;
  if (!png_image_begin_read_from_file(&png, file.c_str())) return out;
  png.format = PNG_FORMAT_RGB;
  out.width = static_cast<int>(png.width);
  out.height = static_cast<int>(png.height);
  out.rgb.resize(PNG_IMAGE_SIZE(png));
  if (!png_image_finish_read(&png, nullptr, out.rgb.data(), 0, nullptr)) return Image{};
  return out;
}

TEST(PngWriter, WritesAPictureThatReadsBackExactly) {
  TempDir dir;
  Image image;
  image.width = 7;
  image.height = 3;
  for (int i = 0; i < image.width * image.height * 3; ++i) image.rgb.push_back(static_cast<uint8_t>(i * 11));
  ASSERT_TRUE(write_png(image, dir / "p.png").ok());
  const Image back = read_png(dir / "p.png");
  EXPECT_EQ(back.width, 7);
  EXPECT_EQ(back.height, 3);
  EXPECT_EQ(back.rgb, image.rgb);
  EXPECT_EQ(dir.names(), std::vector<std::string>{"p.png"});
}

TEST(PngWriter, FailuresNameTheFileAndWriteNothing) {
  TempDir dir;
  Image malformed;
  malformed.width = 4;
  malformed.height = 4;
  malformed.rgb.resize(5);
  Status s = write_png(malformed, dir / "bad.png");
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find("bad.png"), std::string::npos);

  Image fine;
  fine.width = fine.height = 1;
  fine.rgb = {1, 2, 3};
  s = write_png(fine, dir / "none" / "x.png");
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find("x.png"), std::string::npos);
  EXPECT_TRUE(dir.names().empty());
}

}  // namespace
