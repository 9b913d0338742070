#include <gtest/gtest.h>

#include "fake_host.h"
#include "kurvo_api.h"

namespace {

class HierarchyClone : public ::testing::Test {
 protected:
  void SetUp() override {
    fake::Install();
    generator = fake::NewNode(KH_TYPE_NULL, "gen");
    first = fake::NewNode(KH_TYPE_POLYGON, "a");
    second = fake::NewNode(KH_TYPE_POLYGON, "b");
    fake::AddChild(generator, first);
    fake::AddChild(generator, second);
    cached = fake::NewNode(KH_TYPE_NULL, "cached");
    fake::state().cache = fake::AsObject(cached);
  }
  BaseObject* Gen() { return BaseObject::From(fake::AsNode(generator)); }
  BaseObject* First() { return BaseObject::From(fake::AsNode(first)); }
  fake::Node *generator, *first, *second, *cached;
};

TEST_F(HierarchyClone, NothingChangedAnswersTheCacheAndCreatesNothing) {
  Bool dirty = false;
  BaseObject* result = Gen()->GetAndCheckHierarchyClone(nullptr, First(), 0, &dirty, nullptr, true);
  EXPECT_EQ(result, BaseObject::From(fake::AsNode(cached)));
  EXPECT_FALSE(dirty);
  EXPECT_EQ(fake::state().clones, 0);
  EXPECT_EQ(fake::state().touched, 1);
}

TEST_F(HierarchyClone, AChangeWithAllChildrenBuildsANamedGroupOfClones) {
  fake::state().data_dirty = true;
  Bool dirty = false;
  BaseObject* result = Gen()->GetAndCheckHierarchyClone(nullptr, First(), 0, &dirty, nullptr, true);
  ASSERT_NE(result, nullptr);
  EXPECT_TRUE(dirty);
  auto* group = reinterpret_cast<fake::Node*>(result);
  EXPECT_EQ(group->type, KH_TYPE_NULL);
  EXPECT_EQ(group->name, "a");
  ASSERT_EQ(group->children.size(), 2u);
  EXPECT_EQ(group->children[0]->name, "a clone");
  EXPECT_EQ(group->children[1]->name, "b clone");
}

TEST_F(HierarchyClone, ADifferentDependenceListAlsoRebuilds) {
  fake::state().deps_differ = true;
  BaseObject* result = Gen()->GetAndCheckHierarchyClone(nullptr, First(), 0, nullptr, nullptr, false);
  ASSERT_NE(result, nullptr);
  EXPECT_EQ(reinterpret_cast<fake::Node*>(result)->name, "a clone");
  EXPECT_EQ(fake::state().clones, 1);
}

TEST_F(HierarchyClone, NoMemoryForTheGroupAnswersNull) {
  fake::state().cache_dirty = true;
  fake::state().fail_alloc = true;
  EXPECT_EQ(Gen()->GetAndCheckHierarchyClone(nullptr, First(), 0, nullptr, nullptr, true), nullptr);
}

}  // namespace
