// The real module, loaded from the build's plug-in folder.
#include <algorithm>

#include "core/gui.h"
#include "core/module_library.h"
#include "test_support.h"

namespace kurvo::host::test {
namespace {

const std::filesystem::path kPlugins = KURVO_PLUGIN_DIR;
const char* kBanner = "Kurvo2 Lite V2.0 - Release www.example.com/kurvo2";

bool moduleBuilt() { return std::filesystem::exists(kPlugins / "Kurvo2" / (std::string("Kurvo2") + kModuleSuffix)); }

size_t countLines(const std::vector<std::string>& lines, const std::string& text) {
  return static_cast<size_t>(std::count(lines.begin(), lines.end(), text));
}

class EndToEndTest : public SessionTest {};

TEST_F(EndToEndTest, StartsTheModuleAndPrintsTheBanner) {
  if (!moduleBuilt()) GTEST_SKIP() << "Kurvo2 is not built";
  std::string error;
  ASSERT_TRUE(session().loadPluginFolder(kPlugins, error)) << error;
  EXPECT_TRUE(session().errors().empty());
  EXPECT_EQ(countLines(session().console().lines(), kBanner), 1u);
  ASSERT_EQ(session().modules().size(), 1u);
  EXPECT_EQ(session().modules()[0]->answers.registerPlugins, 1);
  EXPECT_NE(session().registry().find(KH_PLUGINTYPE_OBJECT, 1024244), nullptr);
}

TEST_F(EndToEndTest, MissingResPrintsOneLine) {
  if (!moduleBuilt()) GTEST_SKIP() << "Kurvo2 is not built";
  TempDir tmp;
  std::filesystem::create_directories(tmp.path() / "Kurvo2");
  const std::string file = std::string("Kurvo2") + kModuleSuffix;
  std::filesystem::copy_file(kPlugins / "Kurvo2" / file, tmp.path() / "Kurvo2" / file);
  std::string error;
  ASSERT_TRUE(session().loadPluginFolder(tmp.path(), error)) << error;
  EXPECT_EQ(countLines(session().console().lines(), "Missing RES Directory"), 1u);
  EXPECT_EQ(session().modules()[0]->answers.initResources, -1);
}

// For N = 1, 2, ... the Nth allocation of the start-up fails: no crash, and
// nothing is left behind once the session is over.
TEST(EndToEndMemory, StartUpSurvivesEveryFailedAllocation) {
  if (!moduleBuilt()) GTEST_SKIP() << "Kurvo2 is not built";
  const int64_t blocks = Memory::liveBlocks();
  const int64_t handles = LiveHandles::count();
  for (int64_t n = 1; n < 10000; ++n) {
    bool hit = false;
    {
      HostSession::Options options;
      options.quiet = true;
      HostSession session(options);
      Memory::resetCounters();
      Memory::failNth(n);
      std::string error;
      ASSERT_TRUE(session.loadPluginFolder(kPlugins, error)) << error;
      hit = Memory::failureHit();
      Memory::failNth(0);
    }
    ASSERT_EQ(Memory::liveBlocks(), blocks) << "leak with allocation " << n << " failing";
    ASSERT_EQ(LiveHandles::count(), handles) << "leak with allocation " << n << " failing";
    if (!hit) {
      ::testing::Test::RecordProperty("allocations_in_start_up", static_cast<int>(n - 1));
      EXPECT_GT(n, 1);
      return;
    }
  }
  FAIL() << "start-up never completed without hitting the failure";
}

}  // namespace
}  // namespace kurvo::host::test

namespace kurvo::host::test {
namespace {

// The module's title-bar element in a host dialog: layout, drawing and a click.
TEST_F(EndToEndTest, TitleBarElementLaysOutDrawsAndOpensThePage) {
  if (!moduleBuilt()) GTEST_SKIP() << "Kurvo2 is not built";
  std::string error;
  ASSERT_TRUE(session().loadPluginFolder(kPlugins, error)) << error;
  if (!session().registry().find(KH_PLUGINTYPE_CUSTOMGUI, 1024107)) GTEST_SKIP() << "no title bar yet";
  Dialog* dialog = session().createCustomGui(1024107);
  ASSERT_NE(dialog, nullptr);
  ASSERT_EQ(dialog->send(kMsgInit), 1);
  ASSERT_EQ(dialog->areas.size(), 1u);
  UserArea* area = dialog->areas[0];
  EXPECT_EQ(area->id, 1002);
  EXPECT_EQ(dialog->send(kMsgInit, area), 1) << "the area loads its bitmap";
  dialog->send(kMsgMinSize, area);
  EXPECT_EQ(area->minWidth, 130);
  EXPECT_EQ(area->minHeight, 16);
  area->resize(200, 16);
  area->draw();
  uint8_t px[4];
  area->canvas.get(180, 8, px);
  EXPECT_EQ(px[0], 23);
  EXPECT_EQ(px[1], 83);
  EXPECT_EQ(px[2], 128) << "129/256 of full scale";
  area->mouseEvent(60, 8, 1);
  const auto lines = session().console().lines();
  const auto opened = std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.rfind("Open HTML: ", 0) == 0 && l.find("www.example.com/kurvo2") != std::string::npos;
  });
  EXPECT_EQ(opened, 1);
  session().freeCustomGui(dialog);
}

}  // namespace
}  // namespace kurvo::host::test
