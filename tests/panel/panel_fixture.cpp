#include "panel_fixture.h"

#include <filesystem>

#include "core/memory.h"

namespace kurvo::panel::test {

void PanelTest::SetUp() {
  kurvo::host::Memory::resetCounters();
  blocksBefore_ = kurvo::host::Memory::liveBlocks();
  handlesBefore_ = kurvo::host::LiveHandles::count();
  kurvo::host::HostSession::Options options;
  options.quiet = true;
  session_ = std::make_unique<kurvo::host::HostSession>(options);
  const std::filesystem::path plugins = KURVO_PLUGIN_DIR;
  ASSERT_TRUE(std::filesystem::exists(plugins / "Kurvo2" / "Kurvo2.so")) << "the module is not built";
  std::string error;
  ASSERT_TRUE(session_->loadPluginFolder(plugins, error)) << error;
  ASSERT_TRUE(session_->errors().empty()) << session_->errors().front();
  document_ = &session_->newDocument();
  path_ = document_->createObject(KH_TYPE_SPLINE);
  path_->setName("Helix");
  deformer_ = document_->createObject(kDeformerType);
  ASSERT_NE(deformer_, nullptr);
  deformer_->setName("Bend");
  document_->setLink(deformer_, 1002, path_);
}

void PanelTest::TearDown() {
  session_.reset();
  kurvo::host::Memory::resetCounters();
  EXPECT_EQ(kurvo::host::Memory::liveBlocks(), blocksBefore_) << "leaked blocks";
  EXPECT_EQ(kurvo::host::LiveHandles::count(), handlesBefore_) << "leaked host values";
}

std::unique_ptr<AttributePanel> PanelTest::buildPanel(const PanelOptions& options) {
  auto panel = AttributePanel::build(*session_, *deformer_, options);
  EXPECT_TRUE(panel.ok()) << panel.message();
  return panel.ok() ? std::move(panel.value()) : nullptr;
}

kurvo::host::UserArea* PanelTest::titleArea(const AttributePanel& panel) {
  if (panel.elements().size() != 1 || panel.elements()[0]->areas().size() != 1) return nullptr;
  return panel.elements()[0]->areas()[0];
}

std::vector<std::string> PanelTest::openedPages() const {
  std::vector<std::string> out;
  for (const std::string& line : session_->console().lines())
    if (line.rfind("Open HTML: ", 0) == 0) out.push_back(line.substr(11));
  return out;
}

std::array<uint8_t, 3> pixelAt(const kurvo::media::Image& image, int32_t x, int32_t y) { return image.pixel(x, y); }

int maxBrightness(const kurvo::media::Image& image, int32_t x, int32_t y, int32_t w, int32_t h) {
  int best = 0;
  for (int32_t py = y; py < y + h; ++py)
    for (int32_t px = x; px < x + w; ++px) {
      const auto p = image.pixel(px, py);
      best = std::max(best, p[0] + p[1] + p[2]);
    }
  return best;
}

bool showsBannerRow(const kurvo::media::Image& image, int32_t x, int32_t y, const kurvo::host::Bitmap& banner,
                    int32_t row) {
  uint8_t px[4];
  for (int32_t by = 0; by < 16; ++by)
    for (int32_t bx = 0; bx < banner.width(); ++bx) {
      banner.get(bx, row + by, px);
      const auto p = image.pixel(x + bx, y + by);
      if (p[0] != px[0] || p[1] != px[1] || p[2] != px[2]) return false;
    }
  return true;
}

}  // namespace kurvo::panel::test
