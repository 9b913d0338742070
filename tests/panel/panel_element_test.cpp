// The title bar inside the panel: layout at the panel's width, the lit row
// under the pointer, the timer that notices the pointer leaving, clicks, and
// the value handed through the custom GUI library.
#include "core/gui.h"
#include "core/memory.h"
#include "core/host_state.h"
#include "panel_fixture.h"

namespace kurvo::panel::test {
namespace {

using kurvo::host::UserArea;

class TitleBarInPanel : public PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(banner.loadTiff(std::filesystem::path(KURVO_RES_DIR) / "kurvoBar_small.tif"), 1);
    panel = buildPanel();
    ASSERT_TRUE(panel);
    area = titleArea(*panel);
    ASSERT_NE(area, nullptr);
    top = area->originY;
  }
  void TearDown() override {
    panel.reset();
    PanelTest::TearDown();
  }
  bool lit() { return showsBannerRow(panel->render(), 0, top, banner, 16); }
  bool normal() { return showsBannerRow(panel->render(), 0, top, banner, 0); }

  kurvo::host::Bitmap banner;
  std::unique_ptr<AttributePanel> panel;
  UserArea* area = nullptr;
  int32_t top = 0;
};

TEST_F(TitleBarInPanel, SpansThePanelWithTheBlueBackgroundFrom130) {
  EXPECT_EQ(area->originX, 0);
  EXPECT_EQ(area->width, panel->width());
  EXPECT_GE(area->height, 16);
  const auto image = panel->render();
  EXPECT_TRUE(showsBannerRow(image, 0, top, banner, 0)) << "the normal row";
  const std::array<uint8_t, 3> blue{23, 83, 128};
  for (int32_t y : {0, 8, 15}) {
    EXPECT_EQ(pixelAt(image, 130, top + y), blue) << y;
    EXPECT_EQ(pixelAt(image, panel->width() - 1, top + y), blue) << y;
  }
  EXPECT_NE(pixelAt(image, 129, top + 8), blue) << "the banner ends at 129";
}

// Zone edges: (36, 1) and (129, 15) light the banner; (35, 8), (130, 8),
// (80, 0) and (80, 16) do not.
TEST_F(TitleBarInPanel, PointerLightsTheBannerOnlyInTheLinkZone) {
  ASSERT_TRUE(normal());
  struct Case {
    int32_t x, y;
    bool inside;
  };
  for (const Case c : {Case{36, 1, true}, Case{129, 15, true}, Case{35, 8, false}, Case{130, 8, false},
                       Case{80, 0, false}, Case{80, 16, false}}) {
    panel->movePointer(c.x, top + c.y);
    panel->advanceClock(100);  // the armed timer keeps what the pointer shows
    EXPECT_EQ(lit(), c.inside) << c.x << "," << c.y;
    EXPECT_EQ(normal(), !c.inside) << c.x << "," << c.y;
  }
}

TEST_F(TitleBarInPanel, TimerStopsAtTheFirstTickAfterThePointerLeaves) {
  panel->movePointer(60, top + 8);
  ASSERT_TRUE(lit());
  EXPECT_EQ(area->timerMs, 100) << "the hover timer is armed";
  EXPECT_EQ(panel->advanceClock(250), 2) << "two ticks with the pointer inside";
  EXPECT_TRUE(lit());

  // Away from the bar: no area is asked, the timer notices by itself.
  panel->movePointer(300, top + 60);
  EXPECT_TRUE(lit()) << "nothing changes before the next tick";
  EXPECT_EQ(panel->advanceClock(49), 0) << "50 ms were already on the clock";
  EXPECT_TRUE(lit());
  EXPECT_EQ(panel->advanceClock(1), 1);
  EXPECT_TRUE(normal()) << "hover cleared and redrawn at that tick";
  EXPECT_EQ(area->timerMs, 0) << "and the timer stopped";
  EXPECT_EQ(panel->advanceClock(1000), 0);

  // A negative position counts as outside too.
  panel->movePointer(60, top + 8);
  ASSERT_TRUE(lit());
  panel->movePointer(-5, top + 8);
  panel->advanceClock(100);
  EXPECT_TRUE(normal());
  EXPECT_EQ(area->timerMs, 0);
}

TEST_F(TitleBarInPanel, ClicksOpenThePageOnlyInTheZoneAndAlwaysTellTheDialog) {
  EXPECT_EQ(panel->click(20, top + 8), 1);
  EXPECT_TRUE(openedPages().empty()) << "outside the link zone";
  ASSERT_EQ(area->parentMessages.size(), 1u) << "the action message still goes to the dialog";
  EXPECT_EQ(area->parentMessages[0].id, kurvo::host::kMsgAction);
  EXPECT_EQ(area->parentMessages[0].getLong(KH_FOURCC('m', 'e', 'i', 'd')), 1002);

  EXPECT_EQ(panel->click(60, top + 8), 1);
  EXPECT_EQ(openedPages(), std::vector<std::string>{"https://www.example.com/kurvo2"});
  EXPECT_EQ(area->parentMessages.size(), 2u);
  EXPECT_EQ(panel->click(300, top + 200), 0) << "no area there";
}

TEST_F(TitleBarInPanel, OnlyMouseEventsAreTaken) {
  EXPECT_EQ(area->inputEvent(KH_FOURCC('k', 'b', 'r', 'd'), 60, top + 8, 1), 0) << "keyboard";
  EXPECT_EQ(area->mouseEvent(60, top + 8, 2), 1) << "right button: taken";
  EXPECT_TRUE(area->parentMessages.empty()) << "but nothing is sent";
  EXPECT_TRUE(openedPages().empty());
}

TEST_F(TitleBarInPanel, ResizingStoresTheWidthAndRedraws) {
  area->resize(200, area->height);
  const auto image = panel->render();
  EXPECT_EQ(pixelAt(image, 199, top + 8), (std::array<uint8_t, 3>{23, 83, 128}));
  EXPECT_NE(pixelAt(image, 210, top + 8), (std::array<uint8_t, 3>{23, 83, 128})) << "beyond the new width";
}

// The parameter's text reaches the element through set_data and comes back
// as a file name.
TEST_F(PanelTest, TheElementTakesTheValueAndGivesItBackAsAFileName) {
  deformer().parameters().setString(kTitleBar, "abc");
  auto panel = buildPanel();
  ASSERT_TRUE(panel);
  ASSERT_EQ(panel->elements().size(), 1u);
  const kurvo::host::Data value = panel->elements()[0]->value();
  EXPECT_EQ(value.type(), KH_DA_FILENAME);
  EXPECT_EQ(value.getText(), "abc");
}

// Taking the panel down sends "dsty" and frees every element through the
// GUI's record; the fixture checks that nothing is left.
TEST_F(PanelTest, ClosingFreesTheElements) {
  auto panel = buildPanel();
  ASSERT_TRUE(panel);
  const int64_t handles = kurvo::host::LiveHandles::count();
  panel->close();
  EXPECT_TRUE(panel->elements().empty());
  EXPECT_LT(kurvo::host::LiveHandles::count(), handles) << "dialog and area handles released";
  panel->close();  // twice is harmless
}

}  // namespace
}  // namespace kurvo::panel::test

namespace kurvo::panel::test {
namespace {

// Whichever host or module allocation fails while the panel is built, the
// panel still comes up: with the element, or with a plain row where the
// element could not be made. Nothing is left behind (the fixture checks).
TEST_F(PanelTest, AnElementThatCannotBeMadeLeavesAPlainRow) {
  bool sawPlainRow = false;
  for (int64_t n = 1; n < 200; ++n) {
    kurvo::host::Memory::resetCounters();
    kurvo::host::Memory::failNth(n);
    auto panel = AttributePanel::build(session(), deformer());
    const bool hit = kurvo::host::Memory::failureHit();
    kurvo::host::Memory::failNth(0);
    ASSERT_TRUE(panel.ok()) << n << ": " << panel.message();
    const PanelRow* row = panel.value()->rowOf(kTitleBar);
    ASSERT_NE(row, nullptr);
    if (row->kind == PanelRow::Kind::Element) {
      EXPECT_EQ(panel.value()->elements().size(), 1u);
    } else {
      EXPECT_EQ(row->kind, PanelRow::Kind::Parameter) << n;
      EXPECT_TRUE(panel.value()->elements().empty()) << n;
      sawPlainRow = true;
    }
    panel.value()->render();
    if (!hit) {
      EXPECT_TRUE(sawPlainRow) << "some failure should have cost the element";
      return;
    }
  }
  FAIL() << "building the panel never got through without a failed allocation";
}

}  // namespace
}  // namespace kurvo::panel::test
