// Parameter containers through the table.
#include "core/data_value.h"
#include "scene/document.h"
#include "test_support.h"

namespace kurvo::host::test {
namespace {

class ContainerTest : public SessionTest {
 protected:
  const KhContainerFamily& c() { return *table().container; }
};

TEST_F(ContainerTest, TypedReadsConvertWhereTheyCan) {
  KhContainerValue bc;
  c().init(&bc, 17);
  EXPECT_EQ(c().get_id(&bc), 17);
  EXPECT_EQ(c().find_index(&bc, 5), -1);
  c().set_real(&bc, 5, 3.9f);
  c().set_long(&bc, 6, 4);
  KhVector v{1, 2, 3};
  c().set_vector(&bc, 7, &v);
  EXPECT_EQ(c().get_long(&bc, 5), 3);
  EXPECT_FLOAT_EQ(c().get_real(&bc, 6), 4.0f);
  EXPECT_EQ(c().get_long(&bc, 7), 0) << "a vector does not read as a long";
  KhVector out;
  c().get_vector(&bc, 6, &out);
  EXPECT_EQ(out.x, 0.0f);
  KhMatrix m;
  c().get_matrix(&bc, 99, &m);
  EXPECT_EQ(m.v1.x, 1.0f) << "a missing matrix reads as the identity";
  EXPECT_EQ(c().count(&bc), 3);
  c().free(&bc);
}

TEST_F(ContainerTest, RemoveKeepsInsertionOrderAndIndex) {
  KhContainerValue bc;
  c().init(&bc, -1);
  for (int32_t id : {30, 10, 20, 40}) c().set_long(&bc, id, id * 2);
  EXPECT_EQ(c().remove(&bc, 10), 1);
  EXPECT_EQ(c().remove(&bc, 10), 0);
  EXPECT_EQ(c().find_index(&bc, 30), 0);
  EXPECT_EQ(c().find_index(&bc, 20), 1);
  EXPECT_EQ(c().find_index(&bc, 40), 2);
  EXPECT_EQ(c().get_long(&bc, 40), 80);
  c().free(&bc);
}

TEST_F(ContainerTest, CopiesAreDeepIncludingSubContainers) {
  KhContainerValue a, sub, b;
  c().init(&a, 1);
  c().init(&sub, 2);
  c().set_long(&sub, 1, 11);
  c().set_container(&a, 100, &sub);
  c().init_copy(&b, &a);
  KhContainerValue* inA = c().get_container(&a, 100);
  ASSERT_NE(inA, nullptr);
  c().set_long(inA, 1, 99);
  KhContainerValue* inB = c().get_container(&b, 100);
  ASSERT_NE(inB, nullptr);
  EXPECT_EQ(c().get_long(inB, 1), 11);
  EXPECT_EQ(c().get_id(inB), 2);
  // A sub-container replaced by itself survives.
  c().set_container(&a, 100, c().get_container(&a, 100));
  EXPECT_EQ(c().get_long(c().get_container(&a, 100), 1), 99);
  c().assign(&b, &sub);
  EXPECT_EQ(c().get_container(&b, 100), nullptr);
  EXPECT_EQ(c().get_id(&b), 2);
  for (auto* v : {&a, &sub, &b}) c().free(v);
}

TEST_F(ContainerTest, DataPointersStayValidWhileOtherEntriesGrow) {
  KhContainerValue bc;
  c().init(&bc, -1);
  c().set_long(&bc, 1, 5);
  const KhDataValue* first = c().get_data(&bc, 1);
  for (int32_t i = 2; i < 200; ++i) c().set_long(&bc, i, i);
  EXPECT_EQ(table().data->get_long(first), 5);
  KhDataValue copy;
  table().data->init_copy(&copy, first);
  c().set_data(&bc, 500, &copy);
  EXPECT_EQ(c().get_long(&bc, 500), 5);
  table().data->free(&copy);
  c().free(&bc);
}

TEST_F(ContainerTest, LinksResolveOnlyToLiveObjectsOfTheirOwnDocument) {
  Document& doc = session().newDocument();
  Document& other = session().newDocument();
  Object* target = doc.createObject(KH_TYPE_NULL);
  Object* foreign = other.createObject(KH_TYPE_NULL);
  Object* holder = doc.createObject(KH_TYPE_NULL);
  Tag* tag = doc.addTag(holder, KH_TYPE_VERTEXMAP);
  KhContainerValue* bc = table().list_node->get_container(holder->handle());
  c().set_link(bc, 1, target->handle());
  c().set_link(bc, 2, foreign->handle());
  c().set_link(bc, 3, tag->handle());
  c().set_link(bc, 4, nullptr);
  c().set_long(bc, 5, 7);
  EXPECT_EQ(c().get_link(bc, 1, doc.handle(), KH_TYPE_BASEOBJECT), target->handle());
  EXPECT_EQ(c().get_link(bc, 1, doc.handle(), KH_TYPE_NULL), target->handle());
  EXPECT_EQ(c().get_link(bc, 1, doc.handle(), KH_TYPE_SPLINE), nullptr);
  EXPECT_EQ(c().get_link(bc, 1, other.handle(), KH_TYPE_BASEOBJECT), nullptr);
  EXPECT_EQ(c().get_link(bc, 2, doc.handle(), KH_TYPE_BASEOBJECT), nullptr);
  EXPECT_EQ(c().get_link(bc, 3, doc.handle(), KH_TYPE_BASEOBJECT), nullptr) << "a tag is no object";
  EXPECT_EQ(c().get_link(bc, 3, doc.handle(), KH_TYPE_VERTEXMAP), tag->handle());
  EXPECT_EQ(c().get_link(bc, 4, doc.handle(), KH_TYPE_BASEOBJECT), nullptr);
  EXPECT_EQ(c().get_link(bc, 5, doc.handle(), KH_TYPE_BASEOBJECT), nullptr);
  EXPECT_EQ(c().get_link(bc, 1, nullptr, KH_TYPE_BASEOBJECT), nullptr);

  // Taken out: no longer in the document; freed: gone for good.
  std::unique_ptr<Object> out = doc.remove(target);
  EXPECT_EQ(c().get_link(bc, 1, doc.handle(), KH_TYPE_BASEOBJECT), nullptr);
  doc.insert(std::move(out));
  EXPECT_EQ(c().get_link(bc, 1, doc.handle(), KH_TYPE_BASEOBJECT), target->handle());
  doc.destroy(target);
  EXPECT_EQ(c().get_link(bc, 1, doc.handle(), KH_TYPE_BASEOBJECT), nullptr);
}

TEST_F(ContainerTest, NodeContainerWritesCountAsDataChanges) {
  Document& doc = session().newDocument();
  Object* o = doc.createObject(KH_TYPE_NULL);
  const uint32_t before = table().object->get_dirty(reinterpret_cast<KhObject*>(o->handle()), KH_DIRTY_DATA);
  c().set_real(table().list_node->get_container(o->handle()), 1000, 1.0f);
  EXPECT_NE(table().object->get_dirty(reinterpret_cast<KhObject*>(o->handle()), KH_DIRTY_DATA), before);
}

}  // namespace
}  // namespace kurvo::host::test
