// A host session with the built module loaded, a document with one deformer
// ("Bend") and its path ("Helix"), and helpers to look at panel pictures.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "attribute_panel.h"
#include "core/bitmap.h"
#include "core/host_session.h"
#include "scene/document.h"

namespace kurvo::panel::test {

inline constexpr int32_t kDeformerType = 1024244;
inline constexpr int32_t kUpVector = 1023;
inline constexpr int32_t kUpMode = 1024;
inline constexpr int32_t kTitleBar = 1300;

class PanelTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  kurvo::host::HostSession& session() { return *session_; }
  kurvo::host::Object& deformer() { return *deformer_; }
  // The deformer's panel, built now; fails the test when it cannot be.
  std::unique_ptr<AttributePanel> buildPanel(const PanelOptions& options = {});
  // The title-bar element's only user area.
  static kurvo::host::UserArea* titleArea(const AttributePanel& panel);
  // Console lines that open a web page.
  std::vector<std::string> openedPages() const;

  std::unique_ptr<kurvo::host::HostSession> session_;
  kurvo::host::Document* document_ = nullptr;
  kurvo::host::Object* deformer_ = nullptr;
  kurvo::host::Object* path_ = nullptr;
  int64_t blocksBefore_ = 0;
  int64_t handlesBefore_ = 0;
};

// Pixel (x, y) of a picture.
std::array<uint8_t, 3> pixelAt(const kurvo::media::Image& image, int32_t x, int32_t y);
// The largest brightness (sum of channels) in a rectangle of the picture.
int maxBrightness(const kurvo::media::Image& image, int32_t x, int32_t y, int32_t w, int32_t h);
// True when the picture shows rows [row, row + 16) of `banner` at (x, y).
bool showsBannerRow(const kurvo::media::Image& image, int32_t x, int32_t y, const kurvo::host::Bitmap& banner,
                    int32_t row);

}  // namespace kurvo::panel::test
