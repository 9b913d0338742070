// Loading modules: folders, libraries, entries and the start-up sequence.
#include "core/module_library.h"
#include "core/text_value.h"
#include "test_support.h"

namespace kurvo::host::test {
namespace {

// An in-process module that records what the host sends.
struct Recorder {
  std::vector<std::string> calls;
  int32_t versionSeen = 0;
  std::string fileSeen;
  int32_t initAnswer = 1;
} g_recorder;

int32_t KH_CALL recordingMain(int32_t action, void* p1, void*, void* p3) {
  if (action == KH_ACTION_INIT_SYS) {
    g_recorder.versionSeen = static_cast<const KhHostTable*>(p1)->version;
    g_recorder.fileSeen = textOf(static_cast<const KhFilenameValue*>(p3));
    g_recorder.calls.push_back("init");
    return g_recorder.initAnswer;
  }
  if (action == KH_ACTION_MESSAGE)
    g_recorder.calls.push_back("message " + std::to_string(reinterpret_cast<intptr_t>(p1)));
  else
    g_recorder.calls.push_back("action " + std::to_string(action));
  return 1;
}

class LoaderTest : public SessionTest {
 protected:
  void SetUp() override {
    g_recorder = Recorder{};
    SessionTest::SetUp();
  }
  TempDir tmp;
};

TEST_F(LoaderTest, MissingFolderIsAnErrorWithItsPath) {
  std::string error;
  EXPECT_FALSE(session().loadPluginFolder(tmp.path() / "nowhere", error));
  EXPECT_NE(error.find((tmp.path() / "nowhere").string()), std::string::npos);
}

TEST_F(LoaderTest, LibraryWithoutEntryIsSkippedWithItsPath) {
  std::string error;
  ASSERT_TRUE(session().loadPluginFolder(KURVO_FIXTURE_DIR "/plugins", error)) << error;
  ASSERT_EQ(session().errors().size(), 1u);
  EXPECT_NE(session().errors()[0].find(std::string("NoEntry") + kModuleSuffix), std::string::npos);
  EXPECT_NE(session().errors()[0].find("plugin_main"), std::string::npos);
  EXPECT_TRUE(session().registry().all().empty());
}

TEST_F(LoaderTest, UnloadableLibraryAndEmptyFoldersAreHandled) {
  tmp.write(std::string("Broken/Broken") + kModuleSuffix, "this is not a shared library");
  std::filesystem::create_directories(tmp.path() / "Empty");
  tmp.write(std::string("Other/Different") + kModuleSuffix, "ignored: the name does not match its folder");
  std::string error;
  ASSERT_TRUE(session().loadPluginFolder(tmp.path(), error));
  ASSERT_EQ(session().errors().size(), 1u);
  EXPECT_NE(session().errors()[0].find(std::string("Broken") + kModuleSuffix), std::string::npos);
  EXPECT_NE(session().errors()[0].find("cannot be loaded"), std::string::npos);
}

TEST_F(LoaderTest, StartUpAndShutDownFollowTheSequence) {
  std::string error;
  ASSERT_TRUE(session().startModule(recordingMain, "/opt/Fake/Fake.so", error)) << error;
  EXPECT_EQ(g_recorder.versionSeen, KH_HOST_VERSION);
  EXPECT_EQ(g_recorder.fileSeen, "/opt/Fake/Fake.so");
  session().shutdown();
  const std::vector<std::string> expected{"init", "action 2", "message 1", "message 1000", "action 3"};
  EXPECT_EQ(g_recorder.calls, expected);
}

TEST(LoaderVersion, TableVersionIsSettableAndARefusedStartStillEnds) {
  g_recorder = Recorder{};
  g_recorder.initAnswer = -3;
  HostSession::Options options;
  options.quiet = true;
  options.version = 10999;
  HostSession session(options);
  std::string error;
  EXPECT_FALSE(session.startModule(recordingMain, "/opt/Fake/Fake.so", error));
  EXPECT_NE(error.find("Fake.so"), std::string::npos);
  EXPECT_EQ(g_recorder.versionSeen, 10999);
  session.shutdown();
  const std::vector<std::string> expected{"init", "action 3"};
  EXPECT_EQ(g_recorder.calls, expected);
}

TEST(LoaderSession, OnlyOneSessionAtATime) {
  HostSession::Options options;
  options.quiet = true;
  HostSession first(options);
  EXPECT_THROW(HostSession second(options), std::logic_error);
}

}  // namespace
}  // namespace kurvo::host::test
