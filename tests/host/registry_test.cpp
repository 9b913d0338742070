// Registration, the registry, memory switches and the console.
#include <cstring>
#include <vector>

#include "core/text_value.h"
#include "test_support.h"

namespace kurvo::host::test {
namespace {

class RegistryTest : public SessionTest {};

TEST_F(RegistryTest, RegistrationCopiesTheRecord) {
  KhTagPlugin record{};
  record.node.info = 5;
  record.node.disklevel = 3;
  OwnedString name("Tagger");
  ASSERT_EQ(table().general->register_plugin(11000, KH_PLUGINTYPE_TAG, 77, name.value(), &record,
                                             sizeof record),
            1);
  record.node.info = 99;  // the module's local record goes away; the host's copy stays
  const auto* kept = static_cast<const KhTagPlugin*>(table().general->find_plugin(77, KH_PLUGINTYPE_TAG));
  ASSERT_NE(kept, nullptr);
  EXPECT_NE(static_cast<const void*>(kept), static_cast<const void*>(&record));
  EXPECT_EQ(kept->node.info, 5);
  EXPECT_EQ(kept->node.disklevel, 3);
  EXPECT_EQ(session().registry().find(KH_PLUGINTYPE_TAG, 77)->name, "Tagger");
  EXPECT_EQ(table().general->find_plugin(77, KH_PLUGINTYPE_OBJECT), nullptr);

  EXPECT_EQ(table().general->register_plugin(11000, KH_PLUGINTYPE_TAG, 77, name.value(), &record,
                                             sizeof record),
            0)
      << "a taken ID";
  EXPECT_EQ(table().general->register_plugin(11000, KH_PLUGINTYPE_TAG, 78, name.value(), nullptr, 8), 0);
  EXPECT_EQ(table().general->register_plugin(11000, 99, 79, name.value(), &record, sizeof record), 0)
      << "an unknown type";
  // A record may be longer than the host knows (a later module's), up to
  // 64 KiB; a longer one is taken as corrupt.
  const std::vector<unsigned char> large(65537, 0);
  EXPECT_EQ(table().general->register_plugin(11000, KH_PLUGINTYPE_TAG, 80, name.value(), large.data(), 65536), 1);
  EXPECT_EQ(table().general->register_plugin(11000, KH_PLUGINTYPE_TAG, 81, name.value(), large.data(), 65537), 0);
  EXPECT_EQ(table().general->register_plugin(11000, KH_PLUGINTYPE_TAG, 82, name.value(), large.data(), 0), 0);
}

TEST_F(RegistryTest, ShortRecordsReadAsNullBeyondTheirEnd) {
  KhObjectPlugin record;
  std::memset(&record, 0xAB, sizeof record);
  OwnedString name("Short");
  const int32_t shortSize = static_cast<int32_t>(offsetof(KhObjectPlugin, icon));
  ASSERT_EQ(table().general->register_plugin(11000, KH_PLUGINTYPE_OBJECT, 5, name.value(), &record, shortSize), 1);
  const auto* kept = static_cast<const KhObjectPlugin*>(table().general->find_plugin(5, KH_PLUGINTYPE_OBJECT));
  EXPECT_EQ(kept->modify_object, nullptr);
  EXPECT_EQ(kept->check_dirty, nullptr);
}

TEST_F(RegistryTest, RegistryEntriesAndHostLibraries) {
  static int token = 0;
  EXPECT_EQ(table().general->registry_add(1024107, KH_REGISTRYTYPE_LIBRARY, &token), 1);
  EXPECT_EQ(table().general->registry_add(1024107, KH_REGISTRYTYPE_LIBRARY, &token), 0);
  KhRegistry* entry = table().general->registry_find(1024107, KH_REGISTRYTYPE_LIBRARY);
  EXPECT_EQ(table().general->registry_get_data(entry), &token);
  EXPECT_EQ(table().general->registry_find(1024107, 27), nullptr);
  for (int32_t id : {KH_LIB_DESCRIPTION, KH_LIB_ICON, KH_LIB_GRADIENT, KH_LIB_SPLINEDATA, KH_LIB_SPLINEHELP}) {
    auto* head = static_cast<const KhLibraryHead*>(
        table().general->registry_get_data(table().general->registry_find(id, KH_REGISTRYTYPE_LIBRARY)));
    ASSERT_NE(head, nullptr) << id;
    EXPECT_GT(head->size, static_cast<int32_t>(sizeof(KhLibraryHead)));
  }
  EXPECT_EQ(table().general->registry_find(KH_LIB_NGON, KH_REGISTRYTYPE_LIBRARY), nullptr);
}

TEST_F(RegistryTest, AllocationsAreZeroFilledAndTheSwitchFailsTheNth) {
  const KhGeneralFamily& g = *table().general;
  auto* block = static_cast<unsigned char*>(g.alloc(64, 0, nullptr));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 64; ++i) ASSERT_EQ(block[i], 0);
  void* tiny = g.alloc(0, 0, nullptr);
  EXPECT_NE(tiny, nullptr);
  EXPECT_EQ(Memory::liveBlocks(), blocksBefore_ + 2);

  Memory::failNth(2);
  void* first = g.alloc(8, 0, nullptr);
  EXPECT_NE(first, nullptr);
  EXPECT_EQ(table().bitmap->alloc(), nullptr) << "every fallible allocation counts";
  EXPECT_TRUE(Memory::failureHit());
  void* third = g.alloc(8, 0, nullptr);
  EXPECT_NE(third, nullptr) << "the switch fires once";
  for (void* p : {static_cast<void*>(block), tiny, first, third}) g.free(p);
  g.free(nullptr);
}

TEST_F(RegistryTest, ConsoleKeepsOneLinePerPrintAndOpenHtmlPrints) {
  OwnedString text("two\nlines"), address("www.example.com/kurvo2");
  table().general->print(text.value());
  table().general->open_html(address.value());
  const auto lines = session().console().lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "two lines");
  EXPECT_EQ(lines[1], "Open HTML: www.example.com/kurvo2");
}

}  // namespace
}  // namespace kurvo::host::test
