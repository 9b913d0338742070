// Paths outside ASCII between host and module: the module's file name, its
// res/ directory and its bitmaps all cross the boundary as UTF-8 text, which
// on Windows must never pass through the ANSI code page.
#include <algorithm>

#include "core/module_library.h"
#include "core/text_value.h"
#include "core/utf8_path.h"
#include "test_support.h"

namespace kurvo::host::test {
namespace {

// "Ärger € Ω 曲" and "grün.tif": no single-byte code page holds them all.
const std::string kFolder = "\xC3\x84rger \xE2\x82\xAC \xCE\xA9 \xE6\x9B\xB2";
const std::string kFile = "gr\xC3\xBCn.tif";

TEST(Utf8Path, TextSurvivesTheRoundTripThroughAPath) {
  const std::filesystem::path p = pathFromUtf8(kFolder + "/" + kFile);
  EXPECT_EQ(utf8FromPath(p.filename()), kFile);
  EXPECT_EQ(utf8FromPath(p.parent_path()), kFolder);
  EXPECT_EQ(utf8FromPath(pathFromUtf8("")), "");
}

class Utf8FolderTest : public SessionTest {
 protected:
  TempDir tmp;
};

TEST_F(Utf8FolderTest, TheModuleStartsFromAFolderWithAnyName) {
  const std::string file = std::string("Kurvo2") + kModuleSuffix;
  const std::filesystem::path built = std::filesystem::path(KURVO_PLUGIN_DIR) / "Kurvo2";
  ASSERT_TRUE(std::filesystem::exists(built / file)) << "Kurvo2 is not built";
  const std::filesystem::path plugins = tmp.path() / pathFromUtf8(kFolder);
  std::filesystem::create_directories(plugins / "Kurvo2");
  std::filesystem::copy_file(built / file, plugins / "Kurvo2" / file);
  std::filesystem::copy(built / "res", plugins / "Kurvo2" / "res", std::filesystem::copy_options::recursive);

  std::string error;
  ASSERT_TRUE(session().loadPluginFolder(plugins, error)) << error;
  EXPECT_TRUE(session().errors().empty());
  // The banner comes only after every registration, the icons' bitmaps
  // loaded from res/ included.
  const auto& lines = session().console().lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Kurvo2 Lite V2.0 - Release www.example.com/kurvo2"), 1);
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Missing RES Directory"), 0);
}

TEST_F(Utf8FolderTest, BitmapsLoadFromAnUtf8Name) {
  const std::filesystem::path dir = tmp.path() / pathFromUtf8(kFolder);
  std::filesystem::create_directories(dir);
  ASSERT_TRUE(writeTestTiff(dir / pathFromUtf8(kFile), 3, 2, 4));
  KhFilenameValue name;
  initText(&name, utf8FromPath(dir / pathFromUtf8(kFile)));
  const KhBitmapFamily& b = *table().bitmap;
  KhBitmap* bmp = b.alloc();
  EXPECT_EQ(b.init_file(bmp, &name, -1), KH_IMAGE_OK);
  EXPECT_EQ(b.get_width(bmp), 3);
  b.free(bmp);
  freeText(&name);
}

}  // namespace
}  // namespace kurvo::host::test
