#include <gtest/gtest.h>

#include <stdexcept>

#include "fake_host.h"
#include "kurvo_api.h"
#include "test_libraries.h"

namespace {

struct Probe : ObjectData {
  static inline int inits = 0, destroyed = 0;
  static NodeData* Alloc() { return gNew<Probe>(); }
  Bool Init(GeListNode*) override {
    ++inits;
    return true;
  }
  ~Probe() override { ++destroyed; }
};

struct Thrower : TagData {
  static NodeData* Alloc() { return gNew<Thrower>(); }
  Bool Init(GeListNode*) override { throw std::runtime_error("no"); }
};

struct Plain : ShaderData {
  static NodeData* Alloc() { return gNew<Plain>(); }
};

class Registration : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Install();
    testlib::InstallAll();
    path_storage = new (std::nothrow) Filename("/plug/Kurvo2.so");
  }
  void TearDown() override {
    delete path_storage;
    path_storage = nullptr;
  }
  const fake::Registered& Only() {
    EXPECT_EQ(fake::state().registered.size(), 1u);
    return fake::state().registered.front();
  }
};

TEST_F(Registration, ObjectRecordCarriesOptionalEntriesByInfoBits) {
  ASSERT_TRUE(RegisterObjectPlugin(1024244, "Kurvo2", 1, Probe::Alloc, "", 0));
  const auto& r = Only();
  EXPECT_EQ(r.api_version, KURVO_MIN_HOST_VERSION);
  EXPECT_EQ(r.type, KH_PLUGINTYPE_OBJECT);
  EXPECT_EQ(r.id, 1024244);
  EXPECT_EQ(r.name, "Kurvo2");
  ASSERT_EQ(r.record.size(), sizeof(KhObjectPlugin));
  const auto& rec = r.As<KhObjectPlugin>();
  EXPECT_NE(rec.modify_object, nullptr);
  EXPECT_EQ(rec.get_virtual_objects, nullptr);
  EXPECT_EQ(rec.get_contour, nullptr);
  EXPECT_EQ(rec.modify_particles, nullptr);
  EXPECT_NE(rec.check_dirty, nullptr);
  EXPECT_NE(rec.draw, nullptr);
  EXPECT_NE(rec.get_dimension, nullptr);
  EXPECT_EQ(rec.node.info, 1);
  EXPECT_TRUE(testlib::description_calls().ids.empty());

  fake::state().registered.clear();
  ASSERT_TRUE(RegisterObjectPlugin(2, "All", 0x1 | 0x4 | 0x20 | 0x80, Probe::Alloc, "", 0));
  const auto& all = Only().As<KhObjectPlugin>();
  EXPECT_NE(all.get_virtual_objects, nullptr);
  EXPECT_NE(all.get_contour, nullptr);
  EXPECT_NE(all.modify_particles, nullptr);
}

TEST_F(Registration, RecordEntriesReachTheObjectAndItsDefaults) {
  ASSERT_TRUE(RegisterObjectPlugin(1024244, "Kurvo2", 13, Probe::Alloc, "", 0));
  const auto rec = Only().As<KhObjectPlugin>();
  KhNodeData* data = rec.node.alloc();
  ASSERT_NE(data, nullptr);
  Probe::inits = 0;
  EXPECT_EQ(rec.node.init(data, nullptr), 1);
  EXPECT_EQ(Probe::inits, 1);
  EXPECT_EQ(rec.node.message(data, nullptr, 5, nullptr), 1);
  EXPECT_EQ(rec.get_virtual_objects(data, nullptr, nullptr), nullptr);
  const KhMatrix identity{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  fake::Node* op = fake::NewNode(KH_TYPE_POLYGON);
  EXPECT_EQ(rec.modify_object(data, fake::AsObject(op), nullptr, fake::AsObject(op), &identity, &identity, 0, 0,
                              nullptr),
            1);
  EXPECT_EQ(rec.detect_handle(data, nullptr, nullptr, 0, 0, 0), -1);
  EXPECT_EQ(rec.node.init(nullptr, nullptr), 0);  // no object: failure answer

  Probe::destroyed = 0;
  rec.node.destructor(data);
  EXPECT_EQ(Probe::destroyed, 1);
  fake::state().free_calls = 0;
  t_HostOS->general->free(data);  // as the host does after the adaptor
  EXPECT_EQ(fake::state().free_calls, 1);
}

TEST_F(Registration, ExceptionsBecomeTheEntrysFailureAnswer) {
  ASSERT_TRUE(RegisterTagPlugin(1024306, "VorlaDeformerTag", 1, Thrower::Alloc, "", 0));
  const auto rec = Only().As<KhTagPlugin>();
  EXPECT_EQ(Only().type, KH_PLUGINTYPE_TAG);
  KhNodeData* data = rec.node.alloc();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(rec.node.init(data, nullptr), 0);
  EXPECT_EQ(rec.draw(data, nullptr, nullptr, nullptr, nullptr), 1);
  EXPECT_EQ(rec.execute(data, nullptr, nullptr, nullptr, nullptr, 0, 0), 0);
  rec.node.destructor(data);
  t_HostOS->general->free(data);
}

TEST_F(Registration, ShaderRecordHasNoIconAndDefaultOutputIsBlack) {
  ASSERT_TRUE(RegisterShaderPlugin(1024167, "Gradient", 0, Plain::Alloc, "Xvorlagradient", 0));
  const auto& r = Only();
  EXPECT_EQ(r.type, KH_PLUGINTYPE_SHADER);
  const auto rec = r.As<KhShaderPlugin>();
  EXPECT_EQ(rec.node.icon, nullptr);
  ASSERT_EQ(testlib::description_calls().ids.size(), 1u);
  EXPECT_EQ(testlib::description_calls().names[0], "Xvorlagradient");
  EXPECT_EQ(testlib::description_calls().resources[0], resource.GetHandle());

  KhNodeData* data = rec.node.alloc();
  KhVector out{9, 9, 9};
  rec.output(data, nullptr, nullptr, &out);
  EXPECT_EQ(out.x, 0);
  EXPECT_EQ(out.y, 0);
  EXPECT_EQ(out.z, 0);
  EXPECT_EQ(rec.init_render(data, nullptr, nullptr), 0);
  rec.node.destructor(data);
  t_HostOS->general->free(data);
}

TEST_F(Registration, AFailedDescriptionRegistersNothing) {
  testlib::description_calls().fail = true;
  EXPECT_FALSE(RegisterObjectPlugin(1024244, "Kurvo2", 13, Probe::Alloc, "OKurvo", 0));
  EXPECT_TRUE(fake::state().registered.empty());
  testlib::Description().register_description = nullptr;  // library without the entry
  EXPECT_FALSE(RegisterTagPlugin(3, "Tag", 0, Probe::Alloc, "Tdesc", 0));
  EXPECT_TRUE(fake::state().registered.empty());
}

TEST_F(Registration, IconFilesComeFromTheResDirectory) {
  EXPECT_FALSE(RegisterObjectPlugin(1024244, "Kurvo2", 13, Probe::Alloc, "", String("Kurvo.tif"), 0));
  EXPECT_TRUE(fake::state().registered.empty());
  EXPECT_EQ(fake::state().image_requests, std::vector<std::string>{"/plug/res/Kurvo.tif"});

  fake::state().existing_images.push_back("/plug/res/Kurvo.tif");
  EXPECT_TRUE(RegisterObjectPlugin(1024244, "Kurvo2", 13, Probe::Alloc, "", String("Kurvo.tif"), 0));
  const auto& rec = Only().As<KhObjectPlugin>();
  EXPECT_NE(rec.node.icon, nullptr);
  EXPECT_EQ(rec.icon, rec.node.icon);

  fake::state().registered.clear();
  EXPECT_TRUE(RegisterTagPlugin(1024306, "Tag", 1, Probe::Alloc, "", String(""), 0));
  EXPECT_EQ(Only().As<KhTagPlugin>().node.icon, nullptr);
}

struct Gui : CustomGuiData {
  int32 GetId() override { return 1024107; }
  const char* GetResourceSym() override { return "KURVO2_GUI"; }
  int32 GetResourceDataType(const int32*& table) override {
    static const int32 types[] = {130};
    table = types;
    return 1;
  }
};

TEST_F(Registration, CustomGuiRecordUsesTheObjectsIdAndFindsItself) {
  EXPECT_FALSE(RegisterCustomGuiPlugin("Kurvo-Titlebar", 0x20000000, nullptr));
  Gui* gui = gNew<Gui>();
  ASSERT_TRUE(RegisterCustomGuiPlugin("Kurvo-Titlebar", 0x20000000, gui));
  const auto& r = Only();
  EXPECT_EQ(r.type, KH_PLUGINTYPE_CUSTOMGUI);
  EXPECT_EQ(r.id, 1024107);
  const auto& rec = r.As<KhCustomGuiPlugin>();
  EXPECT_EQ(rec.info, 0x20000000);
  EXPECT_STREQ(rec.get_resource_sym(rec.data), "KURVO2_GUI");
  const int32_t* table = nullptr;
  EXPECT_EQ(rec.get_resource_data_type(rec.data, &table), 1);
  EXPECT_EQ(table[0], 130);
  EXPECT_EQ(static_cast<const void*>(gui->GetPlugin()), static_cast<const void*>(r.record.data()));
  rec.destructor(rec.data);
  t_HostOS->general->free(rec.data);
}

}  // namespace
