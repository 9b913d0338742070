// The title bar as a custom GUI: registration, the element's value, its life,
// and a registration that fails.
#include <cstring>

#include "core/memory.h"
#include "core/text_value.h"
#include "frame/maker.h"
#include "titlebar_fixture.h"

namespace kurvo::test {
namespace {

namespace fs = std::filesystem;

// The element's value as the host reads it through the custom GUI library.
struct Value {
  int32_t state;
  int32_t type;
  std::string text;
};

Value GetValue(const KhCustomGuiLib& lib, void* gui) {
  KhTriState out{-1, {nullptr}};
  lib.get_data(gui, &out);
  const host::Data* data = host::dataOf(&out.value);
  Value v{out.state, data ? data->type() : -1, data ? data->getText() : std::string("?")};
  host::freeDataStorage(&out.value);
  return v;
}

int32_t SetText(const KhCustomGuiLib& lib, void* gui, const std::string& text, int32_t state) {
  host::Data data;
  data.setString(text);
  const KhTriState in{state, data.self};
  return lib.set_data(gui, &in);
}

bool BannerPrinted(const std::vector<std::string>& lines) {
  for (const std::string& line : lines)
    if (line.find(kMakerWebAddress) != std::string::npos) return true;
  return false;
}

TEST_F(TitleBarTest, CustomGuiAndLibraryAreRegistered) {
  const host::RegisteredPlugin* p = session().registry().find(KH_PLUGINTYPE_CUSTOMGUI, kGuiId);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->name, "Kurvo-Titlebar");
  const KhCustomGuiPlugin& rec = Record();
  EXPECT_EQ(rec.info, 0x20000000);
  EXPECT_STREQ(rec.get_resource_sym(rec.data), "KURVO2_GUI");
  const int32_t* types = nullptr;
  ASSERT_EQ(rec.get_resource_data_type(rec.data, &types), 1);
  EXPECT_EQ(types[0], 130);

  const KhCustomGuiLib& lib = Library();
  EXPECT_EQ(lib.head.version, 1000);
  EXPECT_EQ(lib.head.size, static_cast<int32_t>(sizeof(KhCustomGuiLib)));
  EXPECT_NE(lib.set_data, nullptr);
  EXPECT_NE(lib.get_data, nullptr);
  EXPECT_NE(lib.set_objects, nullptr);
  EXPECT_EQ(BannerPrinted(Console()), true);
}

TEST_F(TitleBarTest, ValueIsKeptAsAFileNameWhateverTheState) {
  OpenElement();
  const KhCustomGuiLib& lib = Library();
  void* gui = dialog().userObject;
  Value v = GetValue(lib, gui);
  EXPECT_EQ(v.state, 0);
  EXPECT_EQ(v.type, KH_DA_FILENAME);
  EXPECT_EQ(v.text, "");

  EXPECT_TRUE(SetText(lib, gui, "abc", 0));
  v = GetValue(lib, gui);
  EXPECT_EQ(v.state, 0);
  EXPECT_EQ(v.type, KH_DA_FILENAME);
  EXPECT_EQ(v.text, "abc");

  EXPECT_TRUE(SetText(lib, gui, "mixed", 1));
  EXPECT_EQ(GetValue(lib, gui).text, "mixed");
  EXPECT_EQ(GetValue(lib, gui).state, 0);

  // A click on the bar leaves the value alone.
  EXPECT_TRUE(Click(60, 8, 1));
  EXPECT_EQ(GetValue(lib, gui).text, "mixed");
}

TEST_F(TitleBarTest, FreeWithANullArgumentDestroysNothing) {
  const int64_t handles = host::LiveHandles::count();
  const int64_t blocks = host::Memory::liveBlocks();
  OpenElement();
  const KhCustomGuiPlugin& rec = Record();
  rec.free(rec.data, nullptr, dialog().userObject);
  rec.free(rec.data, dialog().handle(), nullptr);
  ASSERT_NE(host::dialogFrom(dialog().handle()), nullptr);
  EXPECT_TRUE(Click(20, 8, 1));  // the element still answers
  EXPECT_EQ(DialogMessages().size(), 1u);

  // Freed properly, the element takes its dialog, user area and bitmap along.
  session().freeCustomGui(&dialog());
  EXPECT_EQ(host::LiveHandles::count(), handles);
  EXPECT_EQ(host::Memory::liveBlocks(), blocks);
}

TEST_F(TitleBarTest, ElementWithoutMemoryIsNotCreatedAndLeavesNothing) {
  const int64_t handles = host::LiveHandles::count();
  const int64_t blocks = host::Memory::liveBlocks();
  for (int64_t nth : {1, 2}) {  // the element's block, then its host dialog
    SCOPED_TRACE(nth);
    host::Memory::failNth(nth);
    EXPECT_EQ(session().createCustomGui(kGuiId), nullptr);
    EXPECT_TRUE(host::Memory::failureHit());
    host::Memory::failNth(0);
    EXPECT_EQ(host::LiveHandles::count(), handles);
    EXPECT_EQ(host::Memory::liveBlocks(), blocks);
  }
}

TEST_F(TitleBarTest, LibraryThatCannotBeInstalledStopsTheChain) {
  static int32_t taken = 0;
  StartSession(fs::path(KURVO_SOURCE_DIR) / "res", [](host::HostSession& s) {
    ASSERT_TRUE(s.registry().registryAdd(kGuiId, KH_REGISTRYTYPE_LIBRARY, &taken));
  });
  EXPECT_EQ(session().modules().front()->answers.registerPlugins, -1);
  EXPECT_NE(session().registry().find(KH_PLUGINTYPE_OBJECT, 1024244), nullptr);  // registered first
  EXPECT_EQ(session().registry().find(KH_PLUGINTYPE_CUSTOMGUI, kGuiId), nullptr);
  EXPECT_EQ(session().registry().find(KH_PLUGINTYPE_SHADER, 1024167), nullptr);
  EXPECT_EQ(session().registry().find(KH_PLUGINTYPE_TAG, 1024306), nullptr);
  EXPECT_FALSE(BannerPrinted(Console()));
}

// The host keeps the GUI object only when it takes the registration; a
// refused one is freed again by the module.
TEST_F(TitleBarTest, RefusedRegistrationStopsTheChainAndLeavesNoGuiObject) {
  StartSession(fs::path(KURVO_SOURCE_DIR) / "res");  // settles what a session leaves behind
  const int64_t blocks = host::Memory::liveBlocks();
  StartSession(fs::path(KURVO_SOURCE_DIR) / "res", [](host::HostSession& s) {
    KhCustomGuiPlugin other;
    std::memset(&other, 0, sizeof other);
    ASSERT_TRUE(s.registry().add(11000, KH_PLUGINTYPE_CUSTOMGUI, kGuiId, "other", &other, sizeof other));
  });
  EXPECT_EQ(session().modules().front()->answers.registerPlugins, -1);
  EXPECT_EQ(session().registry().find(KH_PLUGINTYPE_SHADER, 1024167), nullptr);
  EXPECT_FALSE(BannerPrinted(Console()));
  StartSession(fs::path(KURVO_SOURCE_DIR) / "res");
  EXPECT_EQ(host::Memory::liveBlocks(), blocks);
}

}  // namespace
}  // namespace kurvo::test
