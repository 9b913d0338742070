// Registration of the shader: its record, its description and its icons, and
// what a broken resource directory does to the start-up chain.
#include <fstream>

#include "core/bitmap.h"
#include "shader_fixture.h"

namespace kurvo::test {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kFirstIcon = 200000135;

TEST_F(ShaderTest, ShaderIsRegisteredWithNameAndDescription) {
  const host::RegisteredPlugin* p = session().registry().find(KH_PLUGINTYPE_SHADER, kShaderId);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->name, "Vorla Gradient");
  const auto* rec = p->as<KhShaderPlugin>();
  EXPECT_EQ(rec->node.info, 0);
  EXPECT_EQ(rec->node.disklevel, 0);
  EXPECT_EQ(rec->node.icon, nullptr);
  EXPECT_NE(rec->output, nullptr);
  ASSERT_EQ(session().state().descriptions.count(kShaderId), 1u);
  EXPECT_TRUE(session().state().diagnostics().empty());
}

TEST_F(ShaderTest, EightIconsAreCutFromTheStripTopEdge) {
  host::Bitmap strip;
  ASSERT_EQ(strip.loadTiff(fs::path(KURVO_SOURCE_DIR) / "res" / "gradienttypes.tif"), KH_IMAGE_OK);
  const auto& icons = session().state().icons;
  EXPECT_EQ(icons.count(kFirstIcon - 1), 0u);
  EXPECT_EQ(icons.count(kFirstIcon + 8), 0u);
  for (int32_t i = 0; i < 8; ++i) {
    SCOPED_TRACE(i);
    auto it = icons.find(kFirstIcon + i);
    ASSERT_NE(it, icons.end());
    ASSERT_EQ(it->second.width, 32);
    ASSERT_EQ(it->second.height, 32);
    for (int32_t y = 0; y < 32; y += 7)
      for (int32_t x = 0; x < 32; x += 5) {
        uint8_t px[4];
        strip.get(32 * i + x, y, px);
        const uint8_t* icon = &it->second.rgba[(static_cast<size_t>(y) * 32 + x) * 4];
        ASSERT_EQ(std::vector<uint8_t>(icon, icon + 3), std::vector<uint8_t>(px, px + 3)) << x << "," << y;
      }
  }
}

TEST_F(ShaderTest, MissingIconStripStopsTheChainBeforeTheTag) {
  const fs::path res = CopyRes("nostrip");
  fs::remove(res / "gradienttypes.tif");
  StartSession(res);
  EXPECT_EQ(session().registry().find(KH_PLUGINTYPE_SHADER, kShaderId), nullptr);
  EXPECT_EQ(session().registry().find(KH_PLUGINTYPE_TAG, kTagType), nullptr);
  EXPECT_TRUE(session().state().icons.empty());
  EXPECT_EQ(session().modules().front()->answers.registerPlugins, -1);
  EXPECT_FALSE(BannerPrinted());
  fs::remove_all(res.parent_path());
}

TEST_F(ShaderTest, MissingNameRegistersNoShaderButTheChainGoesOn) {
  const fs::path res = CopyRes("noname");
  std::ofstream(res / "strings.json") << R"({"format": "kurvo-strings", "version": 1, "strings": {"10000": "Kurvo2"}})";
  StartSession(res);
  EXPECT_EQ(session().registry().find(KH_PLUGINTYPE_SHADER, kShaderId), nullptr);
  EXPECT_TRUE(session().state().icons.empty());
  EXPECT_NE(session().registry().find(KH_PLUGINTYPE_TAG, kTagType), nullptr);
  EXPECT_EQ(session().modules().front()->answers.registerPlugins, 1);
  EXPECT_TRUE(BannerPrinted());
  fs::remove_all(res.parent_path());
}

}  // namespace
}  // namespace kurvo::test
