// Animated GIF output, read back whole with giflib's own decoder.
#include <gif_lib.h>
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <utility>

#include "gif_writer.h"
#include "temp_dir.h"

using namespace kurvo::media;

namespace {

// A horizontal ramp from black to the given colour, with a white square that
// moves one step per frame.
Image frame(int index, uint8_t r, uint8_t g, uint8_t b) {
  Image image;
  image.width = 40;
  image.height = 30;
  for (int y = 0; y < image.height; ++y)
    for (int x = 0; x < image.width; ++x) {
      const bool square = x >= 5 + index * 10 && x < 12 + index * 10 && y >= 10 && y < 17;
      const int f = x * 255 / (image.width - 1);
      image.rgb.push_back(square ? 255 : static_cast<uint8_t>(r * f / 255));
      image.rgb.push_back(square ? 255 : static_cast<uint8_t>(g * f / 255));
      image.rgb.push_back(square ? 255 : static_cast<uint8_t>(b * f / 255));
    }
  return image;
}

// The decoded colour of one pixel of one frame.
std::array<int, 3> colour_at(const GifFileType* gif, int image, int x, int y) {
  const SavedImage& saved = gif->SavedImages[image];
  const ColorMapObject* map = saved.ImageDesc.ColorMap ? saved.ImageDesc.ColorMap : gif->SColorMap;
  const GifColorType c = map->Colors[saved.RasterBits[y * saved.ImageDesc.Width + x]];
  return {c.Red, c.Green, c.Blue};
}

TEST(GifWriter, WritesALoopingAnimationThatGiflibReadsBack) {
  TempDir dir;
  const std::vector<Image> frames = {frame(0, 255, 40, 0), frame(1, 0, 200, 255), frame(2, 90, 255, 90)};
  GifAnimationWriter writer;
  ASSERT_TRUE(writer.open(dir / "a.gif", 40, 30, 12.5).ok());
  for (const Image& f : frames) ASSERT_TRUE(writer.add(f).ok());
  EXPECT_EQ(dir.names().size(), 1u);
  EXPECT_EQ(dir.names()[0][0], '.') << "only a temporary before finish()";
  ASSERT_TRUE(writer.finish().ok());
  ASSERT_EQ(dir.names(), std::vector<std::string>{"a.gif"});
  dir.write("plain.txt", "");  // permissions as any new file gets them
  EXPECT_EQ(std::filesystem::status(dir / "a.gif").permissions(), std::filesystem::status(dir / "plain.txt").permissions());

  int error = 0;
  GifFileType* gif = DGifOpenFileName((dir / "a.gif").c_str(), &error);
  ASSERT_NE(gif, nullptr) << GifErrorString(error);
  ASSERT_EQ(DGifSlurp(gif), GIF_OK) << GifErrorString(gif->Error);
  EXPECT_EQ(gif->SWidth, 40);
  EXPECT_EQ(gif->SHeight, 30);
  ASSERT_EQ(gif->ImageCount, 3);
  // The loop: an application extension "NETSCAPE2.0" with sub-block 1, count 0 (for ever).
  bool loops = false;
  const SavedImage& first = gif->SavedImages[0];
  for (int i = 0; i + 1 < first.ExtensionBlockCount; ++i) {
    const ExtensionBlock& e = first.ExtensionBlocks[i];
    const ExtensionBlock& next = first.ExtensionBlocks[i + 1];
    if (e.Function == APPLICATION_EXT_FUNC_CODE && e.ByteCount == 11 && std::memcmp(e.Bytes, "NETSCAPE2.0", 11) == 0)
      loops = next.ByteCount == 3 && next.Bytes[0] == 1 && next.Bytes[1] == 0 && next.Bytes[2] == 0;
  }
  EXPECT_TRUE(loops);
  for (int i = 0; i < 3; ++i) {
    GraphicsControlBlock control{};
    ASSERT_EQ(DGifSavedExtensionToGCB(gif, i, &control), GIF_OK);
    EXPECT_EQ(control.DelayTime, 8) << "1/12.5 s in hundredths";
    // Colours survive the palette: the moving square and the ramp's bright end.
    const std::array<int, 3> white = colour_at(gif, i, 8 + i * 10, 13);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(white[k], 255, 8) << "frame " << i;
    const std::array<int, 3> bright = colour_at(gif, i, 39, 2);
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(bright[k], frames[i].pixel(39, 2)[k], 8) << "frame " << i;
  }
  DGifCloseFile(gif, &error);
}

TEST(GifWriter, DelaysAreHundredthsOfASecondAndNeverTooShortForViewers) {
  EXPECT_EQ(GifAnimationWriter::delay_for(25), 4);
  EXPECT_EQ(GifAnimationWriter::delay_for(30), 3);  // 3.33
  EXPECT_EQ(GifAnimationWriter::delay_for(24), 4);  // 4.17
  EXPECT_EQ(GifAnimationWriter::delay_for(15), 7);  // 6.67
  EXPECT_EQ(GifAnimationWriter::delay_for(100), 2);
}

TEST(GifWriter, FailuresNameTheFileAndLeaveNothing) {
  TempDir dir;
  {
    GifAnimationWriter writer;
    ASSERT_TRUE(writer.open(dir / "sizes.gif", 40, 30, 10).ok());
    ASSERT_TRUE(writer.add(frame(0, 1, 2, 3)).ok());
    Image turned = frame(1, 1, 2, 3);  // as many pixels, but on end
    std::swap(turned.width, turned.height);
    const Status s = writer.add(turned);
    ASSERT_FALSE(s.ok());
    EXPECT_NE(s.message().find("sizes.gif"), std::string::npos) << s.message();
    EXPECT_NE(s.message().find("frame 2 is 30x40"), std::string::npos) << s.message();
    EXPECT_FALSE(writer.finish().ok());
  }
  {
    GifAnimationWriter writer;
    ASSERT_TRUE(writer.open(dir / "dropped.gif", 40, 30, 10).ok());
    ASSERT_TRUE(writer.add(frame(0, 1, 2, 3)).ok());
    // Dropped without finish(): the command failed later.
  }
  GifAnimationWriter writer;
  const Status s = writer.open(dir / "rate.gif", 40, 30, 0);
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find("rate.gif"), std::string::npos) << s.message();
  EXPECT_TRUE(dir.names().empty());
}

}  // namespace
