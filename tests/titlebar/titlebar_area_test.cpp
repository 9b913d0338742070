// The title bar's user area: layout, drawing, the link zone under the
// pointer, the hover timer and clicks.
#include <algorithm>
#include <string>
#include <utility>

#include "core/bitmap.h"
#include "frame/maker.h"
#include "math/vector.h"
#include "titlebar_fixture.h"

namespace kurvo::test {
namespace {

namespace fs = std::filesystem;

constexpr int32_t kAction = KH_FOURCC('b', 'A', 'C', 'T');
constexpr int32_t kMessageId = KH_FOURCC('m', 'e', 'i', 'd');
constexpr int32_t kMessageValue = KH_FOURCC('m', 'e', 'v', 'a');
constexpr int32_t kMessageInDrag = KH_FOURCC('m', 'e', 'd', 'r');

const std::string kOpenLine = std::string("Open HTML: https://") + kMakerWebAddress;

int32_t BannerWidth() {
  host::Bitmap banner;
  EXPECT_EQ(banner.loadTiff(fs::path(KURVO_SOURCE_DIR) / "res" / "kurvoBar_small.tif"), KH_IMAGE_OK);
  return banner.width();
}

size_t CountLines(const std::vector<std::string>& lines, const std::string& text) {
  return static_cast<size_t>(std::count(lines.begin(), lines.end(), text));
}

TEST_F(TitleBarTest, LayoutIsOneGroupAroundTheUserArea) {
  OpenElement();
  const auto& gadgets = dialog().gadgets;
  ASSERT_EQ(gadgets.size(), 3u);
  const host::Gadget& group = *gadgets[0];
  EXPECT_EQ(group.kind, host::Gadget::Kind::GroupBegin);
  EXPECT_EQ(group.id, 1001);
  EXPECT_EQ(group.flags, 56);
  EXPECT_EQ(group.width, 1);   // columns
  EXPECT_EQ(group.height, 1);  // rows
  EXPECT_EQ(group.title, "");
  EXPECT_EQ(group.borderStyle, 0);
  EXPECT_EQ(std::vector<int32_t>(group.borderSpace, group.borderSpace + 4), std::vector<int32_t>(4, 0));
  const host::Gadget& userArea = *gadgets[1];
  EXPECT_EQ(userArea.kind, host::Gadget::Kind::UserArea);
  EXPECT_EQ(userArea.id, kAreaId);
  EXPECT_EQ(userArea.flags, 56);
  EXPECT_EQ(userArea.width, 0);
  EXPECT_EQ(userArea.height, 25);
  EXPECT_EQ(gadgets[2]->kind, host::Gadget::Kind::GroupEnd);
  EXPECT_EQ(dialog().areas.size(), 1u);

  EXPECT_TRUE(dialog().send(host::kMsgMinSize, &area()));
  EXPECT_EQ(area().minWidth, 130);
  EXPECT_EQ(area().minHeight, 16);
}

TEST_F(TitleBarTest, DrawsTheBannerAndTheBackground) {
  OpenElement(200);
  area().draw();
  const auto& calls = area().calls;
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].kind, host::DrawCall::Kind::OffScreen);
  ASSERT_EQ(calls[1].kind, host::DrawCall::Kind::Pen);
  EXPECT_EQ(FromKh(calls[1].pen), Vector(23.0f / 256, 83.0f / 256, 129.0f / 256));
  ASSERT_EQ(calls[2].kind, host::DrawCall::Kind::Rectangle);
  EXPECT_EQ(std::vector<int32_t>(calls[2].v, calls[2].v + 4), (std::vector<int32_t>{130, 0, 200, 16}));
  ASSERT_EQ(calls[3].kind, host::DrawCall::Kind::Bitmap);
  const int32_t bw = BannerWidth();
  EXPECT_EQ(std::vector<int32_t>(calls[3].v, calls[3].v + 9),
            (std::vector<int32_t>{0, 0, bw, 16, 0, 0, bw, 16, 0}));
}

// The new width is stored before the redraw, so the background reaches the
// new right edge at once.
TEST_F(TitleBarTest, ResizingRedrawsWithTheNewWidth) {
  OpenElement(200);
  for (int32_t width : {320, 130, 90}) {
    SCOPED_TRACE(width);
    area().calls.clear();
    area().resize(width, 16);
    auto rect = std::find_if(area().calls.begin(), area().calls.end(),
                             [](const host::DrawCall& c) { return c.kind == host::DrawCall::Kind::Rectangle; });
    ASSERT_NE(rect, area().calls.end());
    EXPECT_EQ(std::vector<int32_t>(rect->v, rect->v + 4), (std::vector<int32_t>{130, 0, width, 16}));
  }
}

TEST_F(TitleBarTest, LinkZoneLightsTheBanner) {
  OpenElement();
  for (auto [x, y] : {std::pair{36, 1}, {129, 15}, {60, 8}, {36, 15}, {129, 1}}) {
    SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
    CursorInfo(x, y);
    EXPECT_TRUE(DrawsLitRow());
  }
  for (auto [x, y] : {std::pair{35, 8}, {130, 8}, {80, 0}, {80, 16}, {-3, 8}, {20, 8}}) {
    SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
    CursorInfo(60, 8);
    CursorInfo(x, y);
    EXPECT_FALSE(DrawsLitRow());
  }
}

// Only a change between lit and dark redraws, and the timer armed on entry
// keeps its interval while the pointer moves about.
TEST_F(TitleBarTest, MovesThatKeepTheStateNeitherRedrawNorRearmTheTimer) {
  OpenElement();
  CursorInfo(60, 8);
  ASSERT_EQ(area().timerMs, 100);
  EXPECT_EQ(area().advanceClock(60), 0);
  area().calls.clear();
  CursorInfo(100, 12);
  CursorInfo(36, 1);
  EXPECT_TRUE(area().calls.empty());
  EXPECT_TRUE(dialog().redrawQueue.empty());
  EXPECT_EQ(area().advanceClock(40), 1);  // due 100 ms after the first entry

  CursorInfo(20, 8);  // lit to dark: one redraw
  EXPECT_EQ(BitmapCalls().size(), 1u);
  area().calls.clear();
  CursorInfo(10, 8);
  CursorInfo(1, 15);
  EXPECT_TRUE(area().calls.empty());
  EXPECT_TRUE(dialog().redrawQueue.empty());
  EXPECT_FALSE(DrawsLitRow());
}

// The arming zone reaches down to the link zone's last row (y 15) and left
// to x 1.
TEST_F(TitleBarTest, ArmingZoneTakesInTheLastRowOfTheLinkZone) {
  OpenElement();
  for (auto [x, y] : {std::pair{10, 15}, {129, 15}, {1, 1}, {1, 15}, {60, 15}}) {
    SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
    CursorInfo(x, y);
    EXPECT_EQ(area().timerMs, 100);
    PointerAt(300, 300);
    area().tick();
    ASSERT_EQ(area().timerMs, 0);
  }
  for (auto [x, y] : {std::pair{0, 8}, {10, 16}, {10, 0}, {130, 8}}) {
    SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
    CursorInfo(x, y);
    EXPECT_EQ(area().timerMs, 0);
  }
}

TEST_F(TitleBarTest, TimerStopsAtTheFirstTickOutsideTheKeepingZone) {
  OpenElement();
  CursorInfo(0, 8);  // over the bar but left of the arming zone
  EXPECT_EQ(area().timerMs, 0);
  CursorInfo(60, 8);
  EXPECT_EQ(area().timerMs, 100);

  // On the keeping zone's far corner the timer keeps running and hover stays.
  PointerAt(130, 16);
  EXPECT_TRUE(area().tick());
  EXPECT_EQ(area().timerMs, 100);
  EXPECT_TRUE(DrawsLitRow());

  for (auto [x, y] : {std::pair{131, 8}, {50, 17}, {-1, 5}}) {
    SCOPED_TRACE(std::to_string(x) + "," + std::to_string(y));
    CursorInfo(60, 8);
    ASSERT_EQ(area().timerMs, 100);
    PointerAt(x, y);
    area().calls.clear();
    EXPECT_TRUE(area().tick());
    EXPECT_EQ(area().timerMs, 0);
    ASSERT_FALSE(BitmapCalls().empty());  // redrawn at once in the normal row
    EXPECT_EQ(BitmapCalls().back().v[5], 0);
    EXPECT_FALSE(area().tick());
  }
}

TEST_F(TitleBarTest, FailedPointerPollChangesNothing) {
  OpenElement();
  CursorInfo(60, 8);
  session().state().input.available = false;
  PointerAt(300, 300);
  area().calls.clear();
  EXPECT_TRUE(area().tick());
  dialog().send(host::kMsgCursorInfo, &area());
  EXPECT_TRUE(area().calls.empty());
  EXPECT_EQ(area().timerMs, 100);
  EXPECT_TRUE(DrawsLitRow());
}

TEST_F(TitleBarTest, LeftClickSendsTheActionAndOpensThePageOnlyInTheLinkZone) {
  OpenElement();
  EXPECT_TRUE(Click(20, 8, 1));
  EXPECT_EQ(CountLines(Console(), kOpenLine), 0u);
  ASSERT_EQ(DialogMessages().size(), 1u);
  const host::Container& action = DialogMessages()[0].message;
  EXPECT_EQ(action.id, kAction);
  EXPECT_EQ(action.getLong(kMessageId, -1), kAreaId);
  EXPECT_EQ(action.getLong(kMessageValue, -1), 0);
  EXPECT_EQ(action.getLong(kMessageInDrag, -1), 0);
  EXPECT_TRUE(DialogMessages()[0].answer);  // Command takes it

  DialogMessages().clear();
  EXPECT_TRUE(Click(60, 8, 1));
  const std::vector<std::string> lines = Console();
  ASSERT_EQ(CountLines(lines, kOpenLine), 1u);
  ASSERT_EQ(DialogMessages().size(), 1u);
  EXPECT_EQ(DialogMessages()[0].message.id, kAction);
  // The page was opened before the action message went out.
  EXPECT_EQ(DialogMessages()[0].consoleLines, lines.size());
}

TEST_F(TitleBarTest, OtherButtonsAreTakenButSendNothingAndOtherDevicesAreDeclined) {
  OpenElement();
  EXPECT_TRUE(Click(60, 8, 2));
  EXPECT_TRUE(DialogMessages().empty());
  EXPECT_EQ(CountLines(Console(), kOpenLine), 0u);

  host::Container key(host::kMsgInput);
  key.setLong(host::kFieldDevice, KH_FOURCC('k', 'b', 'r', 'd'));
  key.setLong(host::kFieldChannel, 1);
  EXPECT_FALSE(dialog().send(key, &area()));
  EXPECT_TRUE(DialogMessages().empty());
}

}  // namespace
}  // namespace kurvo::test
