// Registration of the deformer and the tag, and the tag's node.
#include <unistd.h>

#include <fstream>

#include "deformer_fixture.h"

namespace kurvo::test {
namespace {

namespace fs = std::filesystem;

// A copy of the repository's res/ in a fresh temporary folder, to break.
fs::path CopyRes(const std::string& name) {
  const fs::path dir = fs::temp_directory_path() / ("kurvo_deformer_" + name + "_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  fs::copy(fs::path(KURVO_SOURCE_DIR) / "res", dir / "res", fs::copy_options::recursive);
  return dir / "res";
}

TEST_F(DeformerTest, DeformerAndTagAreRegisteredWithTheirRecords) {
  const host::RegisteredPlugin* deformer = session().registry().find(KH_PLUGINTYPE_OBJECT, kDeformerType);
  ASSERT_NE(deformer, nullptr);
  EXPECT_EQ(deformer->name, "Kurvo2");
  const auto* rec = deformer->as<KhObjectPlugin>();
  EXPECT_EQ(rec->node.info, 13);
  EXPECT_EQ(rec->node.disklevel, 0);
  EXPECT_NE(rec->modify_object, nullptr);
  EXPECT_NE(rec->get_virtual_objects, nullptr);
  EXPECT_NE(rec->check_dirty, nullptr);
  EXPECT_EQ(session().state().descriptions.count(kDeformerType), 1u);

  const host::RegisteredPlugin* tag = session().registry().find(KH_PLUGINTYPE_TAG, kTagType);
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(tag->name, "VorlaDeformerTag");
  EXPECT_EQ(tag->as<KhTagPlugin>()->node.info, 1);
  EXPECT_EQ(tag->as<KhTagPlugin>()->node.icon, nullptr);
  EXPECT_EQ(session().state().descriptions.count(kTagType), 0u);
}

TEST_F(DeformerTest, EmptyDisplayNameRegistersNoDeformerButStartUpCompletes) {
  const fs::path res = CopyRes("noname");
  std::ofstream(res / "strings.json") << R"({"format": "kurvo-strings", "version": 1, "strings": {"10001": "G"}})";
  StartSession(res);
  EXPECT_EQ(session().registry().find(KH_PLUGINTYPE_OBJECT, kDeformerType), nullptr);
  EXPECT_NE(session().registry().find(KH_PLUGINTYPE_TAG, kTagType), nullptr);
  EXPECT_EQ(session().modules().front()->answers.registerPlugins, 1);
  fs::remove_all(res.parent_path());
}

TEST_F(DeformerTest, MissingIconFailsRegistrationAndStopsTheChain) {
  const fs::path res = CopyRes("noicon");
  fs::remove(res / "Kurvo.tif");
  StartSession(res);
  EXPECT_EQ(session().registry().find(KH_PLUGINTYPE_OBJECT, kDeformerType), nullptr);
  EXPECT_EQ(session().registry().find(KH_PLUGINTYPE_TAG, kTagType), nullptr);
  EXPECT_EQ(session().modules().front()->answers.registerPlugins, -1);
  for (const std::string& line : session().console().lines()) EXPECT_EQ(line.find("Kurvo2 Lite"), std::string::npos);
  fs::remove_all(res.parent_path());
}

TEST_F(DeformerTest, NewTagHoldsIndexZeroAndNoCountAndExecuteDoesNothing) {
  Object* o = MakePointObject({Vector(1, 2, 3)});
  Tag* tag = doc().addTag(o, kTagType);
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(tag->parameters().keys(), std::vector<int32_t>{1000});
  EXPECT_EQ(tag->parameters().getLong(1000, 7), 0);
  EXPECT_EQ(tag->parameters().getLong(1001, 0), 0);

  const auto* rec = session().registry().find(KH_PLUGINTYPE_TAG, kTagType)->as<KhTagPlugin>();
  const uint32_t before = o->dirtyCounter(KH_DIRTY_MATRIX | KH_DIRTY_DATA);
  EXPECT_EQ(rec->execute(tag->pluginData(), tag->handle(), doc().handle(), host::toObjectHandle(o), nullptr, 0, 0), 0);
  EXPECT_EQ(o->dirtyCounter(KH_DIRTY_MATRIX | KH_DIRTY_DATA), before);
  EXPECT_EQ(o->points().front(), Vector(1, 2, 3));
}

}  // namespace
}  // namespace kurvo::test
