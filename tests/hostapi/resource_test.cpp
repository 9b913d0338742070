#include <gtest/gtest.h>

#include "fake_host.h"
#include "kurvo_api.h"

namespace {

// Sets the module's own file name for the duration of a test.
class ModuleFile {
 public:
  explicit ModuleFile(const char* path) { path_storage = new (std::nothrow) Filename(path); }
  ~ModuleFile() {
    delete path_storage;
    path_storage = nullptr;
  }
};

TEST(PluginPath, IsTheDirectoryOfTheModuleFileOrEmpty) {
  fake::Install();
  EXPECT_FALSE(GeGetPluginPath().Content());
  ModuleFile file("/opt/plugins/Kurvo2/Kurvo2.so");
  EXPECT_EQ(fake::Text(GeGetPluginPath().Kh()), "/opt/plugins/Kurvo2");
}

TEST(Resource, LoadsOnceFromThePluginDirectory) {
  fake::Install();
  ModuleFile file("/opt/plugins/Kurvo2/Kurvo2.so");
  fake::state().strings[10000] = "Kurvo2";
  GeResource res;
  EXPECT_TRUE(res.Init());
  EXPECT_TRUE(res.Init());
  EXPECT_EQ(fake::state().resource_loads, 1);
  EXPECT_EQ(fake::state().resource_dir, "/opt/plugins/Kurvo2");
  EXPECT_TRUE(res.LoadString(10000) == String("Kurvo2"));
  EXPECT_FALSE(res.LoadString(4).Content());
  res.Free();
  EXPECT_EQ(res.GetHandle(), nullptr);
  EXPECT_TRUE(res.IsLoaded());  // the loaded flag keeps its value
}

TEST(Resource, AFailedLoadIsRememberedAndNotRetried) {
  fake::Install();
  ModuleFile file("/opt/plugins/Kurvo2/Kurvo2.so");
  fake::state().resource_missing = true;
  GeResource res;
  EXPECT_FALSE(res.Init());
  fake::state().resource_missing = false;
  EXPECT_FALSE(res.Init());
  EXPECT_EQ(fake::state().resource_loads, 1);
}

TEST(Resource, StringsWithoutAResourceAreTheHostsSharedString) {
  const KhHostTable* table = fake::Install();
  GeResource res;
  EXPECT_EQ(res.LoadString(10000).Kh(), table->string->shared_empty);
  EXPECT_EQ(GeLoadString(10000).Kh(), table->string->shared_empty);
}

TEST(Resource, AGlobalResourceIsNotFreedByTheModule) {
  fake::Install();
  GeResource res;
  auto* handle = reinterpret_cast<LocalResource*>(0x1234);
  res.InitAsGlobal(handle);
  res.Free();
  EXPECT_EQ(res.GetHandle(), handle);
}

}  // namespace
