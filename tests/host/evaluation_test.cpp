// The evaluation loop with a stand-in deformer plug-in registered like a
// module would register it.
#include "core/text_value.h"
#include "scene/document.h"
#include "test_support.h"

namespace kurvo::host::test {
namespace {

constexpr int32_t kDeformerId = 4242;
constexpr int32_t kShift = 1000;  // parameter: x shift of every point

std::vector<std::string> g_log;
const KhHostTable* g_table = nullptr;
int g_liveNodes = 0;

struct FakeNode {
  int checks = 0;
};

std::string nameOf(KhNode* node) {
  KhStringValue s;
  g_table->node_member->get_name(node, &s);
  std::string out = textOf(&s);
  g_table->string->free(&s);
  return out;
}

KhNodeData* KH_CALL fakeAlloc() {
  void* block = g_table->general->alloc(sizeof(FakeNode), 0, nullptr);
  if (!block) return nullptr;
  ++g_liveNodes;
  return reinterpret_cast<KhNodeData*>(new (block) FakeNode());
}
void KH_CALL fakeDestructor(KhNodeData* d) {
  if (!d) return;
  reinterpret_cast<FakeNode*>(d)->~FakeNode();
  --g_liveNodes;
}
int32_t KH_CALL fakeInit(KhNodeData*, KhNode* node) {
  g_table->container->set_real(g_table->list_node->get_container(node), kShift, 1.0f);
  return 1;
}
int32_t KH_CALL fakeMessage(KhNodeData*, KhNode* node, int32_t type, void*) {
  if (type == KH_MSG_MENUPREPARE) g_table->object->set_mode(reinterpret_cast<KhObject*>(node), KH_MODE_KIND_DEFORM, 1);
  return 1;
}
void KH_CALL fakeCheckDirty(KhNodeData* d, KhObject* op, KhDocument*) {
  reinterpret_cast<FakeNode*>(d)->checks++;
  g_log.push_back("check " + nameOf(reinterpret_cast<KhNode*>(op)));
}
int32_t KH_CALL fakeModify(KhNodeData*, KhObject* mod, KhDocument* doc, KhObject* op, const KhMatrix* opMg,
                           const KhMatrix* modMg, float, int32_t, KhThread* thread) {
  g_log.push_back("modify " + nameOf(reinterpret_cast<KhNode*>(op)) + " by " +
                  nameOf(reinterpret_cast<KhNode*>(mod)));
  EXPECT_NE(doc, nullptr);
  EXPECT_NE(opMg, nullptr);
  EXPECT_NE(modMg, nullptr);
  const float shift = g_table->container->get_real(g_table->list_node->get_container(reinterpret_cast<KhNode*>(mod)), kShift);
  KhVector* pts = g_table->object->get_points(op);
  const int32_t n = g_table->object->get_point_count(op);
  for (int32_t i = 0; i < n; ++i) {
    if (thread && g_table->thread->test_break(thread)) break;
    pts[i].x += shift;
  }
  g_table->node_member->message(reinterpret_cast<KhNode*>(op), KH_MSG_UPDATE, nullptr);
  return 1;
}
int32_t KH_CALL fakeDraw(KhNodeData*, KhObject*, int32_t pass, KhDraw* bd, KhDrawHelp*) {
  const KhVector pen{0, 1, 0}, a{0, 0, 0}, b{0, 0, static_cast<float>(pass)};
  g_table->draw->set_pen(bd, &pen);
  g_table->draw->line3d(bd, &a, &b);
  return 1;
}

class EvaluationTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    g_table = &table();
    g_log.clear();
    KhObjectPlugin record{};
    record.node.info = 1;
    record.node.alloc = fakeAlloc;
    record.node.destructor = fakeDestructor;
    record.node.init = fakeInit;
    record.node.message = fakeMessage;
    record.check_dirty = fakeCheckDirty;
    record.modify_object = fakeModify;
    record.draw = fakeDraw;
    OwnedString name("Shift");
    ASSERT_EQ(table().general->register_plugin(11000, KH_PLUGINTYPE_OBJECT, kDeformerId, name.value(),
                                               &record, sizeof record),
              1);
    doc = &session().newDocument();
    mesh = doc->createObject(KH_TYPE_POLYGON);
    mesh->setName("mesh");
    doc->setPoints(mesh, {{0, 0, 0}, {0, 0, 1}, {0, 0, 2}});
  }
  void TearDown() override {
    SessionTest::TearDown();
    EXPECT_EQ(g_liveNodes, 0) << "every plug-in node was destroyed";
  }
  Object* addDeformer(const char* name, Object* parent, float shift) {
    Object* d = doc->createObject(kDeformerId);
    d->setName(name);
    d->parameters().setReal(kShift, shift);
    doc->insertUnder(d, parent);
    return d;
  }
  float x(size_t i) const { return mesh->points()[i].x; }
  Document* doc = nullptr;
  Object* mesh = nullptr;
};

TEST_F(EvaluationTest, DeformersRunInChildOrderOnTheOriginalPoints) {
  addDeformer("d1", mesh, 1.0f);
  Object* off = addDeformer("off", mesh, 100.0f);
  addDeformer("d2", mesh, 10.0f);
  table().object->set_mode(toObjectHandle(off), KH_MODE_KIND_DEFORM, 0);
  doc->evaluate();
  const std::vector<std::string> expected{"check d1", "check off", "check d2", "modify mesh by d1",
                                          "modify mesh by d2"};
  EXPECT_EQ(g_log, expected);
  EXPECT_EQ(x(2), 11.0f);
  g_log.clear();
  doc->evaluate();
  EXPECT_EQ(x(2), 11.0f) << "nothing changed: nothing ran, nothing accumulated";
  EXPECT_EQ(g_log.size(), 3u) << "only the checks";

  doc->setLocalMatrix(mesh, {{5, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
  doc->evaluate();
  EXPECT_EQ(x(2), 11.0f) << "re-run from the original points";
}

TEST_F(EvaluationTest, ChangesThatRerunAndTheOriginalComingBack) {
  Object* d = addDeformer("d", mesh, 1.0f);
  doc->evaluate();
  EXPECT_EQ(x(0), 1.0f);
  d->parameters().setReal(kShift, 3.0f);  // a parameter edit marks the deformer
  doc->evaluate();
  EXPECT_EQ(x(0), 3.0f);
  table().object->set_mode(toObjectHandle(d), KH_MODE_KIND_DEFORM, 0);
  doc->evaluate();
  EXPECT_EQ(x(0), 0.0f) << "switched off: the original points";
  table().object->set_mode(toObjectHandle(d), KH_MODE_KIND_DEFORM, 1);
  doc->evaluate();
  EXPECT_EQ(x(0), 3.0f);
  doc->setPoints(mesh, {{7, 0, 0}});
  doc->evaluate();
  EXPECT_EQ(x(0), 10.0f) << "new points are the new original";
  doc->destroy(d);
  doc->evaluate();
  EXPECT_EQ(x(0), 7.0f);
}

TEST_F(EvaluationTest, ACheckDirtyMarkRerunsTheParent) {
  Object* d = addDeformer("d", mesh, 1.0f);
  doc->evaluate();
  g_log.clear();
  table().object->set_dirty(toObjectHandle(d), KH_DIRTY_MATRIX);
  doc->evaluate();
  ASSERT_EQ(g_log.size(), 2u);
  EXPECT_EQ(g_log[1], "modify mesh by d");
}

TEST_F(EvaluationTest, MovingAnAncestorRerunsTheDeformedObject) {
  Object* group = doc->createObject(KH_TYPE_NULL);
  doc->insertUnder(mesh, group);
  addDeformer("d", mesh, 1.0f);
  doc->evaluate();
  g_log.clear();
  doc->setLocalMatrix(group, {{0, 9, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
  doc->evaluate();
  ASSERT_EQ(g_log.size(), 2u);
}

TEST_F(EvaluationTest, TheThreadHandleStopsADeformationPartWay) {
  addDeformer("d", mesh, 1.0f);
  doc->thread().stopAfter(1);
  doc->evaluate();
  EXPECT_EQ(x(0), 1.0f);
  EXPECT_EQ(x(1), 0.0f);
}

TEST_F(EvaluationTest, MenuCreationSendsMessage22AndNodesAreDestroyed) {
  Object* d = doc->createObjectAsUser(kDeformerId);
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->mode(KH_MODE_KIND_DEFORM), kModeOn);
  Object* plain = doc->createObject(kDeformerId);
  EXPECT_EQ(plain->mode(KH_MODE_KIND_DEFORM), kModeUndefined);
  EXPECT_EQ(g_liveNodes, 2);
  EXPECT_EQ(d->name(), "Shift") << "named after its plug-in";
  EXPECT_EQ(d->parameters().getReal(kShift), 1.0f) << "init ran";
  doc->destroy(plain);
  EXPECT_EQ(g_liveNodes, 1);
}

TEST_F(EvaluationTest, FailedNodeAllocationGivesNoObject) {
  Memory::failNth(2);  // the first admission is the object itself, the second the node data
  EXPECT_EQ(doc->createObject(kDeformerId), nullptr);
  EXPECT_TRUE(Memory::failureHit());
  EXPECT_EQ(g_liveNodes, 0);
}

TEST_F(EvaluationTest, DrawObjectsCallsEveryPass) {
  addDeformer("d", mesh, 1.0f);
  DrawRecorder view;
  doc->drawObjects(view, 2);
  ASSERT_EQ(view.lines.size(), 2u);
  EXPECT_EQ(view.lines[1].b.z, 1.0f);
  EXPECT_EQ(view.lines[0].colour.y, 1.0f);
}

}  // namespace
}  // namespace kurvo::host::test
