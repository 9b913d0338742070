#include <gtest/gtest.h>

#include "fake_host.h"
#include "fake_registrations.h"
#include "frame/maker.h"
#include "hostapi/kurvo_api.h"

extern "C" int32_t plugin_main(int32_t action, void* p1, void* p2, void* p3) noexcept;

namespace {

constexpr int32_t kMin = KURVO_MIN_HOST_VERSION;

void* Message(int32_t id) { return reinterpret_cast<void*>(static_cast<intptr_t>(id)); }

// A host that binds the module and unbinds it again at the end of each test.
class PluginMain : public ::testing::Test {
 protected:
  void SetUp() override {
    fakereg::calls.clear();
    fakereg::failing.clear();
    table = fake::Table(kMin);
    table->filename->init(&module_file);
    KhStringValue text;
    table->string->init_cstr(&text, "/plug/Kurvo2/Kurvo2.so");
    table->filename->set_string(&module_file, &text);
    table->string->free(&text);
  }
  void TearDown() override {
    while (bound > 0) End();
    table->filename->free(&module_file);
  }
  int32_t Start(const KhHostTable* t, const void* file) {
    ++bound;
    return plugin_main(KH_ACTION_INIT_SYS, const_cast<KhHostTable*>(t), nullptr, const_cast<void*>(file));
  }
  int32_t Start() { return Start(table, &module_file); }
  int32_t End() {
    --bound;
    return plugin_main(KH_ACTION_END, nullptr, nullptr, nullptr);
  }
  int32_t Send(int32_t id) { return plugin_main(KH_ACTION_MESSAGE, Message(id), nullptr, nullptr); }

  const KhHostTable* table = nullptr;
  KhFilenameValue module_file{nullptr};
  int bound = 0;
};

TEST_F(PluginMain, AcceptsTheMinimumHostVersionAndRefusesOneBelow) {
  EXPECT_EQ(Start(fake::Table(kMin - 1), &module_file), -3);
  EXPECT_EQ(path_storage, nullptr);
  End();
  table = fake::Table(kMin);
  EXPECT_EQ(Start(table, &module_file), 1);
  ASSERT_NE(path_storage, nullptr);
  EXPECT_EQ(fake::Text(path_storage->Kh()), "/plug/Kurvo2/Kurvo2.so");
  EXPECT_EQ(t_HostOS, table);
}

TEST_F(PluginMain, RefusesAStartWithoutTheModuleFile) {
  EXPECT_EQ(Start(table, nullptr), -3);
  EXPECT_EQ(path_storage, nullptr);
  // The refused start still counts: a second start is only counted.
  EXPECT_EQ(Start(), 1);
  EXPECT_EQ(path_storage, nullptr);
}

TEST_F(PluginMain, NestedStartsUnbindAtTheLastEnd) {
  ASSERT_EQ(Start(), 1);
  ASSERT_EQ(Start(), 1);
  EXPECT_EQ(End(), 1);
  EXPECT_NE(path_storage, nullptr);
  EXPECT_EQ(End(), 1);
  EXPECT_EQ(path_storage, nullptr);
  EXPECT_EQ(plugin_main(KH_ACTION_END, nullptr, nullptr, nullptr), 1);  // unmatched end: ignored
  EXPECT_EQ(Start(), 1);
  EXPECT_NE(path_storage, nullptr);
}

TEST_F(PluginMain, FixedAnswersForOtherActions) {
  ASSERT_EQ(Start(), 1);
  EXPECT_EQ(plugin_main(KH_ACTION_START, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(plugin_main(KH_ACTION_QUERY, nullptr, nullptr, nullptr), 3);
  EXPECT_EQ(plugin_main(0, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(plugin_main(5, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(plugin_main(7, nullptr, nullptr, nullptr), -1);
  EXPECT_EQ(Send(12345), 1);
  EXPECT_TRUE(fake::state().printed.empty());
}

TEST_F(PluginMain, MissingResDirectoryIsReportedOnce) {
  ASSERT_EQ(Start(), 1);
  fake::state().resource_missing = true;
  EXPECT_EQ(Send(KH_MSG_INIT_RESOURCES), -1);
  EXPECT_EQ(fake::state().printed, std::vector<std::string>{"Missing RES Directory"});
  EXPECT_EQ(fake::state().resource_dir, "/plug/Kurvo2");
}

TEST_F(PluginMain, ResourcesLoadFromTheModuleDirectoryAndAreFreshAfterUnbinding) {
  ASSERT_EQ(Start(), 1);
  EXPECT_EQ(Send(KH_MSG_INIT_RESOURCES), 1);
  EXPECT_EQ(Send(KH_MSG_INIT_RESOURCES), 1);
  EXPECT_EQ(fake::state().resource_loads, 1);
  EXPECT_TRUE(fake::state().printed.empty());
  End();
  ASSERT_EQ(Start(), 1);
  EXPECT_EQ(Send(KH_MSG_INIT_RESOURCES), 1);
  EXPECT_EQ(fake::state().resource_loads, 2);
}

TEST_F(PluginMain, CompleteChainRegistersInOrderAndPrintsTheBanner) {
  ASSERT_EQ(Start(), 1);
  ASSERT_EQ(Send(KH_MSG_INIT_RESOURCES), 1);
  EXPECT_EQ(Send(KH_MSG_REGISTER), 1);
  EXPECT_EQ(fakereg::calls, (std::vector<std::string>{"deformer", "titlebar", "gradient", "tag"}));
  EXPECT_EQ(fake::state().printed,
            std::vector<std::string>{std::string("Kurvo2 Lite V2.0 - Release ") + kMakerWebAddress});
}

TEST_F(PluginMain, ChainStopsAtTheFirstFailureWithoutBanner) {
  ASSERT_EQ(Start(), 1);
  const std::vector<std::string> chain{"deformer", "titlebar", "gradient", "tag"};
  for (size_t failing = 0; failing < chain.size(); ++failing) {
    SCOPED_TRACE(chain[failing]);
    fakereg::calls.clear();
    fake::state().printed.clear();
    fakereg::failing = chain[failing];
    EXPECT_EQ(Send(KH_MSG_REGISTER), -1);
    EXPECT_EQ(fakereg::calls, std::vector<std::string>(chain.begin(), chain.begin() + failing + 1));
    EXPECT_TRUE(fake::state().printed.empty());
  }
}

}  // namespace
