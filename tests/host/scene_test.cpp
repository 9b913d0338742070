// The scene model: tree, matrices, change state, tags, splines, drawing,
// the optimize command.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>

#include "core/data_value.h"
#include "core/text_value.h"
#include "scene/document.h"
#include "test_support.h"

namespace kurvo::host::test {
namespace {

KhMatrix move(float x, float y, float z) { return {{x, y, z}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}}; }
KhObject* h(Object* o) { return toObjectHandle(o); }

class SceneTest : public SessionTest {
 protected:
  void SetUp() override {
    SessionTest::SetUp();
    doc = &session().newDocument();
  }
  const KhObjectFamily& obj() { return *table().object; }
  Document* doc = nullptr;
};

TEST_F(SceneTest, TreeNeighboursAndInsertion) {
  Object* a = doc->createObject(KH_TYPE_NULL);
  Object* b = doc->createObject(KH_TYPE_POLYGON);
  Object* c = doc->createObject(KH_TYPE_SPLINE);
  ASSERT_TRUE(doc->insertUnder(b, a));
  ASSERT_TRUE(doc->insertUnder(c, a));
  EXPECT_FALSE(doc->insertUnder(a, c)) << "a node cannot go below its own child";
  const KhNodeMemberFamily& m = *table().node_member;
  EXPECT_EQ(m.get_down(a->handle()), b->handle());
  EXPECT_EQ(m.get_next(b->handle()), c->handle());
  EXPECT_EQ(m.get_pred(c->handle()), b->handle());
  EXPECT_EQ(m.get_up(c->handle()), a->handle());
  EXPECT_EQ(m.get_up(a->handle()), nullptr);
  EXPECT_EQ(m.get_next(a->handle()), nullptr);
  EXPECT_EQ(table().list_node->get_document(c->handle()), doc->handle());
  EXPECT_EQ(table().list_node->get_type(c->handle()), KH_TYPE_SPLINE);
  EXPECT_EQ(doc->createObject(123456), nullptr) << "an unknown type";

  // A free object: inserted through the member family, it joins the document.
  KhObject* free = obj().alloc(KH_TYPE_NULL);
  EXPECT_EQ(table().list_node->get_document(reinterpret_cast<KhNode*>(free)), nullptr);
  m.insert_under_last(reinterpret_cast<KhNode*>(free), c->handle());
  EXPECT_EQ(m.get_up(reinterpret_cast<KhNode*>(free)), c->handle());
  EXPECT_EQ(table().list_node->get_document(reinterpret_cast<KhNode*>(free)), doc->handle());
  m.remove(reinterpret_cast<KhNode*>(free));
  EXPECT_EQ(m.get_down(c->handle()), nullptr);
  table().list_node->free(reinterpret_cast<KhNode*>(free));
  EXPECT_EQ(doc->objectCount(), 3u);
}

TEST_F(SceneTest, NamesAndBits) {
  Object* a = doc->createObject(KH_TYPE_NULL);
  OwnedString name("Path");
  table().node_member->set_name(a->handle(), name.value());
  EXPECT_EQ(a->name(), "Path");
  table().node_member->set_bit(a->handle(), 4, 1);
  EXPECT_EQ(table().node_member->get_bit(a->handle(), 4), 1);
  EXPECT_EQ(table().node_member->get_bit(a->handle(), 2), 0);
  table().node_member->set_bit(a->handle(), 4, 0);
  EXPECT_EQ(table().node_member->get_bit(a->handle(), 4), 0);
}

TEST_F(SceneTest, GlobalMatrixIsParentGlobalTimesLocal) {
  Object* parent = doc->createObject(KH_TYPE_NULL);
  Object* child = doc->createObject(KH_TYPE_NULL);
  doc->insertUnder(child, parent);
  // Parent: rotate 90 degrees about Z (X axis -> Y), then move by (10, 0, 0).
  KhMatrix rot{{10, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, 0, 1}};
  doc->setLocalMatrix(parent, rot);
  doc->setLocalMatrix(child, move(5, 0, 0));
  KhMatrix mg;
  obj().get_mg(h(child), &mg);
  EXPECT_FLOAT_EQ(mg.off.x, 10.0f);
  EXPECT_FLOAT_EQ(mg.off.y, 5.0f);
  EXPECT_FLOAT_EQ(mg.v1.y, 1.0f);
  KhMatrix ml;
  obj().get_ml(h(child), &ml);
  EXPECT_FLOAT_EQ(ml.off.x, 5.0f);
}

TEST_F(SceneTest, ChangeCountersFollowTheirClasses) {
  Object* o = doc->createObject(KH_TYPE_POLYGON);
  doc->evaluate();
  EXPECT_EQ(obj().is_dirty(h(o), 6), 0);
  const uint32_t m0 = obj().get_dirty(h(o), KH_DIRTY_MATRIX);
  const uint32_t d0 = obj().get_dirty(h(o), KH_DIRTY_DATA);
  const uint32_t both0 = obj().get_dirty(h(o), 6);

  doc->setLocalMatrix(o, move(1, 0, 0));
  EXPECT_NE(obj().get_dirty(h(o), KH_DIRTY_MATRIX), m0);
  EXPECT_EQ(obj().get_dirty(h(o), KH_DIRTY_DATA), d0);
  EXPECT_NE(obj().get_dirty(h(o), 6), both0);
  EXPECT_EQ(obj().is_dirty(h(o), KH_DIRTY_MATRIX), 1);
  EXPECT_EQ(obj().is_dirty(h(o), KH_DIRTY_DATA), 0);

  const uint32_t d1 = obj().get_dirty(h(o), KH_DIRTY_DATA);
  doc->setPoints(o, {{0, 0, 0}});
  EXPECT_NE(obj().get_dirty(h(o), KH_DIRTY_DATA), d1);
  const uint32_t d2 = obj().get_dirty(h(o), KH_DIRTY_DATA);
  obj().set_dirty(h(o), KH_DIRTY_DATA);
  EXPECT_NE(obj().get_dirty(h(o), KH_DIRTY_DATA), d2);

  doc->evaluate();
  EXPECT_EQ(obj().is_dirty(h(o), 6), 0) << "an evaluation clears the changed-since flags";
  const uint32_t d3 = obj().get_dirty(h(o), KH_DIRTY_DATA);
  doc->evaluate();
  EXPECT_EQ(obj().get_dirty(h(o), KH_DIRTY_DATA), d3) << "counters move only with changes";
}

TEST_F(SceneTest, BoundingBoxFollowsTheUpdateMessage) {
  Object* o = doc->createObject(KH_TYPE_POLYGON);
  doc->setPoints(o, {{-1, 0, 0}, {3, 2, 10}});
  KhVector mp, rad;
  obj().get_mp(h(o), &mp);
  obj().get_rad(h(o), &rad);
  EXPECT_FLOAT_EQ(mp.x, 1.0f);
  EXPECT_FLOAT_EQ(rad.z, 5.0f);
  obj().get_points(h(o))[1].z = 20;
  table().node_member->message(o->handle(), KH_MSG_UPDATE, nullptr);
  obj().get_rad(h(o), &rad);
  EXPECT_FLOAT_EQ(rad.z, 10.0f);
  Object* null = doc->createObject(KH_TYPE_NULL);
  obj().get_rad(h(null), &rad);
  EXPECT_EQ(rad.x, 0.0f);
  EXPECT_EQ(obj().get_points(h(null)), nullptr);
  EXPECT_EQ(obj().get_point_count(h(null)), 0);
}

// The box is gathered several points at a time and, for large objects, in
// chunks on the pool; it must be the box a one-by-one walk finds, whatever
// the count and wherever the extremes lie.
TEST_F(SceneTest, BoundingBoxOfManyPointsIsTheirExtremes) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> any(-100.0f, 100.0f);
  Object* o = doc->createObject(KH_TYPE_POLYGON);
  for (size_t count : {1u, 3u, 4u, 5u, 7u, 8u, 13u, 64u, 1000u, (1u << 17) + 3u, 400001u}) {
    SCOPED_TRACE(count);
    std::vector<Vector> points(count);
    for (Vector& p : points) p = Vector(any(random), any(random), any(random));
    // Extremes at the last point, in the middle of a group of four, and in
    // a later chunk.
    points[count - 1].x = 500.0f;
    points[count / 2].y = -700.0f;
    points[(count * 3) / 4].z = 900.0f;
    Vector lo = points[0], hi = points[0];
    for (const Vector& p : points) {
      lo = Vector(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
      hi = Vector(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
    }
    doc->setPoints(o, points);
    KhVector mp, rad;
    obj().get_mp(h(o), &mp);
    obj().get_rad(h(o), &rad);
    const Vector centre = (lo + hi) * 0.5f, half = (hi - lo) * 0.5f;
    EXPECT_EQ(mp.x, centre.x);
    EXPECT_EQ(mp.y, centre.y);
    EXPECT_EQ(mp.z, centre.z);
    EXPECT_EQ(rad.x, half.x);
    EXPECT_EQ(rad.y, half.y);
    EXPECT_EQ(rad.z, half.z);
  }
}

// The rest state shares the polygons until something changes them in place
// (the optimize command during an evaluation); a restore brings back the
// polygons of the rest, and polygons set from outside become the rest.
TEST_F(SceneTest, RestStateKeepsThePolygonsThatWereThere) {
  using kurvo::geo::Polygon;
  Object* o = doc->createObject(KH_TYPE_POLYGON);
  doc->setPoints(o, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
  const std::vector<Polygon> quad = {Polygon{0, 1, 2, 3}};
  o->setPolygons(quad);
  o->keepRestState();
  EXPECT_EQ(o->restPolygons(), quad);
  o->restoreRestState();
  EXPECT_EQ(o->polygons(), quad) << "nothing changed them";

  o->writablePolygons() = {Polygon{0, 1, 2, 2}};
  EXPECT_EQ(o->restPolygons(), quad) << "the rest took its copy before the change";
  o->restoreRestState();
  EXPECT_EQ(o->polygons(), quad);
  o->writablePolygons()[0] = Polygon{3, 2, 1, 0};
  o->restoreRestState();
  EXPECT_EQ(o->polygons(), quad) << "a second change in place";

  const std::vector<Polygon> triangles = {Polygon{0, 1, 2, 2}, Polygon{0, 2, 3, 3}};
  o->setPolygons(triangles);
  EXPECT_EQ(o->restPolygons(), triangles) << "set from outside: the new rest";
  o->writablePolygons().pop_back();
  o->restoreRestState();
  EXPECT_EQ(o->polygons(), triangles);
  o->dropRestState();
  EXPECT_EQ(o->polygons(), triangles);
  EXPECT_EQ(o->restPolygons(), triangles);
}

TEST_F(SceneTest, VertexMapWeightsComeAsANewBlock) {
  Object* o = doc->createObject(KH_TYPE_POLYGON);
  doc->setPoints(o, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}});
  EXPECT_EQ(obj().calc_vertex_map(h(o), nullptr), nullptr) << "no vertex map";
  Tag* map = doc->addTag(o, KH_TYPE_VERTEXMAP);
  map->weights = {0.25f, 0.5f};  // one short
  EXPECT_EQ(obj().get_tag(h(o), KH_TYPE_VERTEXMAP, 0), map->handle());
  EXPECT_EQ(obj().get_tag(h(o), KH_TYPE_VERTEXMAP, 1), nullptr);
  float* w = obj().calc_vertex_map(h(o), nullptr);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(w[0], 0.25f);
  EXPECT_EQ(w[1], 0.5f);
  EXPECT_EQ(w[2], 0.0f) << "missing weights read 0";
  map->weights[0] = 1.0f;
  EXPECT_EQ(w[0], 0.25f) << "the caller's copy";
  table().general->free(w);
  EXPECT_EQ(doc->addTag(o, 99999), nullptr) << "an unregistered tag type";
}

TEST_F(SceneTest, SplineEntriesAndArcLength) {
  Object* s = doc->createObject(KH_TYPE_SPLINE);
  doc->setPoints(s, {{0, 0, 0}, {0, 0, 300}, {400, 0, 300}});
  KhObject* sp = obj().get_real_spline(h(s));
  EXPECT_EQ(sp, h(s)) << "a spline is its own spline form";
  ASSERT_EQ(obj().init_length(sp, 0, nullptr), 1);
  EXPECT_NEAR(obj().get_length(sp), 700.0f, 1e-3);
  EXPECT_NEAR(obj().uniform_to_natural(sp, 300.0f / 700.0f), 0.5f, 1e-5);
  KhVector p, t;
  obj().spline_point(sp, 0.75f, 0, nullptr, &p);
  obj().spline_tangent(sp, 0.75f, 0, nullptr, &t);
  EXPECT_NEAR(p.x, 200.0f, 1e-3);
  EXPECT_NEAR(t.x, 1.0f, 1e-6);
  const KhVector other[3] = {{0, 0, 0}, {0, 0, 10}, {0, 0, 20}};
  obj().spline_point(sp, 0.5f, 0, other, &p);
  EXPECT_NEAR(p.z, 10.0f, 1e-5) << "given points replace the spline's own";
  obj().free_length(sp);
  EXPECT_EQ(obj().get_length(sp), 0.0f);

  table().container->set_long(table().list_node->get_container(s->handle()), kSplineClosed, 1);
  EXPECT_TRUE(s->spline().closed) << "the closed flag follows parameter 1002";
  ASSERT_EQ(obj().init_length(sp, 0, nullptr), 1);
  EXPECT_NEAR(obj().get_length(sp), 1200.0f, 1e-2);

  Object* null = doc->createObject(KH_TYPE_NULL);
  EXPECT_EQ(obj().get_real_spline(h(null)), nullptr);
  obj().spline_point(h(null), 0.5f, 0, nullptr, &p);
  EXPECT_EQ(p.x + p.y + p.z, 0.0f);
}

// The batch family answers many fractions at once with exactly the bits of
// the per-position entries (uniform_to_natural, then spline_point and
// spline_tangent), whatever the interpolation, inside and outside [0, 1],
// at span ends and at stationary points (a Bezier spline without tangents
// stops at its ends), with the length table prepared, with it
// outdated by an edit, and without one.
TEST_F(SceneTest, BatchedSplinePositionsHaveThePerPositionBits) {
  const KhSplineBatchFamily* batch = table().spline_batch;
  ASSERT_NE(batch, nullptr);
  ASSERT_GE(batch->version(), 1);
  std::mt19937 rng(8128u);
  std::uniform_real_distribution<float> coordinate(-200.0f, 200.0f), fraction(-0.2f, 1.2f);
  constexpr int32_t kCount = 150;  // more than one of the host's blocks
  for (int setting = 0; setting < 12; ++setting) {
    SCOPED_TRACE(setting);
    Object* s = doc->createObject(KH_TYPE_SPLINE);
    std::vector<Vector> points(3 + setting % 5 * 3);
    for (Vector& v : points) v = Vector(coordinate(rng), coordinate(rng), coordinate(rng));
    const auto count = static_cast<int32_t>(points.size());
    doc->setPoints(s, points);
    s->setSplineShape(static_cast<geo::Interpolation>(setting % 3), {count});
    KhObject* sp = h(s);
    const int state = setting / 3;  // 0, 1: table in use; 2: outdated by an edit; 3: none
    if (state < 3) {
      ASSERT_EQ(obj().init_length(sp, 0, nullptr), 1);
    }
    if (state == 2) doc->setPoints(s, std::vector<Vector>(points.rbegin(), points.rend()));

    std::vector<float> u(kCount);
    for (int32_t i = 0; i < kCount; ++i) u[i] = fraction(rng);
    // Ends, span ends (a Bezier spline's stationary points), not-a-number.
    const float special[] = {0.0f, 1.0f, -0.0f, std::nanf(""), 0.5f, 1.0f / 3.0f, 2.0f / 3.0f, 1e-9f,
                             0.99999994f};
    for (size_t k = 0; k < std::size(special); ++k) u[k * 7] = special[k];
    std::vector<float> px(kCount), py(kCount), pz(kCount), tx(kCount), ty(kCount), tz(kCount);
    std::vector<float> qx(kCount), qy(kCount), qz(kCount);
    batch->uniform_points(sp, kCount, u.data(), px.data(), py.data(), pz.data(), tx.data(), ty.data(), tz.data());
    batch->uniform_points(sp, kCount, u.data(), qx.data(), qy.data(), qz.data(), nullptr, nullptr, nullptr);
    for (int32_t i = 0; i < kCount; ++i) {
      const float t = obj().uniform_to_natural(sp, u[i]);
      KhVector p, tangent;
      obj().spline_point(sp, t, 0, nullptr, &p);
      obj().spline_tangent(sp, t, 0, nullptr, &tangent);
      const KhVector gotPoint{px[i], py[i], pz[i]}, gotTangent{tx[i], ty[i], tz[i]}, pointAlone{qx[i], qy[i], qz[i]};
      EXPECT_EQ(std::memcmp(&gotPoint, &p, sizeof p), 0) << i << " u " << u[i];
      EXPECT_EQ(std::memcmp(&gotTangent, &tangent, sizeof tangent), 0) << i << " u " << u[i];
      EXPECT_EQ(std::memcmp(&pointAlone, &p, sizeof p), 0) << i << " u " << u[i];
    }
    if (state < 3) obj().free_length(sp);
  }
  // Nothing to do, and no spline: nothing written.
  float x = 7.0f;
  const float u = 0.5f;
  batch->uniform_points(nullptr, 1, &u, &x, &x, &x, nullptr, nullptr, nullptr);
  Object* null = doc->createObject(KH_TYPE_NULL);
  batch->uniform_points(h(null), 1, &u, &x, &x, &x, nullptr, nullptr, nullptr);
  batch->uniform_points(h(null), 0, &u, &x, &x, &x, nullptr, nullptr, nullptr);
  EXPECT_EQ(x, 7.0f);
}

// Several runs may hold one path's length table at once: the first builds it,
// later ones join it, and its use ends only with the last release. An edited
// path is built anew rather than joined.
TEST_F(SceneTest, ALengthTableHeldTwiceEndsWithTheLastRelease) {
  Object* s = doc->createObject(KH_TYPE_SPLINE);
  doc->setPoints(s, {{0, 0, 0}, {0, 0, 100}});
  KhObject* sp = h(s);
  ASSERT_EQ(obj().init_length(sp, 0, nullptr), 1);
  ASSERT_EQ(obj().init_length(sp, 0, nullptr), 1);
  obj().free_length(sp);
  EXPECT_NEAR(obj().get_length(sp), 100.0f, 1e-4) << "still held by the second user";
  obj().free_length(sp);
  EXPECT_EQ(obj().get_length(sp), 0.0f);
  obj().free_length(sp);  // one release too many changes nothing
  ASSERT_EQ(obj().init_length(sp, 0, nullptr), 1);
  EXPECT_NEAR(obj().get_length(sp), 100.0f, 1e-4);

  doc->setPoints(s, {{0, 0, 0}, {0, 0, 250}});
  ASSERT_EQ(obj().init_length(sp, 0, nullptr), 1);
  EXPECT_NEAR(obj().get_length(sp), 250.0f, 1e-3) << "an edited path is not joined but built";
  obj().free_length(sp);
  obj().free_length(sp);
  EXPECT_EQ(obj().get_length(sp), 0.0f);
}

// While a length table is held, points and tangents come from the table's own
// copy of the segment, so they always agree with the arc lengths; an edit that
// counts as a change, or other points or another segment, goes to the live
// spline instead.
TEST_F(SceneTest, HeldLengthTableAnswersFromItsCopyUntilTheSplineChanges) {
  Object* s = doc->createObject(KH_TYPE_SPLINE);
  doc->setPoints(s, {{0, 0, 0}, {0, 0, 100}});
  KhObject* sp = h(s);
  KhVector p;
  ASSERT_EQ(obj().init_length(sp, 0, nullptr), 1);
  obj().spline_point(sp, 0.5f, 0, nullptr, &p);
  EXPECT_NEAR(p.z, 50.0f, 1e-4);

  doc->setPoints(s, {{0, 0, 0}, {0, 0, 300}});
  obj().spline_point(sp, 0.5f, 0, nullptr, &p);
  EXPECT_NEAR(p.z, 150.0f, 1e-4) << "a counted edit is seen at once";
  obj().free_length(sp);
  ASSERT_EQ(obj().init_length(sp, 0, nullptr), 1);
  EXPECT_NEAR(obj().get_length(sp), 300.0f, 1e-3) << "an edited segment is not answered from the old table";
  obj().spline_point(sp, 0.5f, 1, nullptr, &p);
  EXPECT_EQ(p.x + p.y + p.z, 0.0f) << "a segment the spline does not have";

  // A write into the point array (as a deformer does) does not move the
  // counter: the held table keeps answering from its copy until it is freed.
  obj().get_points(sp)[1].z = 200.0f;
  obj().spline_point(sp, 1.0f, 0, nullptr, &p);
  EXPECT_NEAR(p.z, 300.0f, 1e-4);
  obj().free_length(sp);
  obj().spline_point(sp, 1.0f, 0, nullptr, &p);
  EXPECT_NEAR(p.z, 200.0f, 1e-4);
  ASSERT_EQ(obj().init_length(sp, 0, nullptr), 1);
  EXPECT_NEAR(obj().get_length(sp), 200.0f, 1e-3) << "reuse compares contents, not counters";
  obj().free_length(sp);

  const KhVector other[2] = {{0, 0, 0}, {0, 0, 10}};
  ASSERT_EQ(obj().init_length(sp, 0, other), 1);
  EXPECT_NEAR(obj().get_length(sp), 10.0f, 1e-4);
  obj().spline_point(sp, 1.0f, 0, obj().get_points(sp), &p);
  EXPECT_NEAR(p.z, 200.0f, 1e-4) << "the spline's own points, not the table's";
  obj().spline_point(sp, 1.0f, -1, obj().get_points(sp), &p);
  EXPECT_EQ(p.x + p.y + p.z, 0.0f);
  obj().free_length(sp);
}

TEST_F(SceneTest, PrimitivesGenerateTheirSpline) {
  Object* line = doc->createObject(kTypeLinePrimitive);
  line->parameters().setReal(kPrimLength, 500.0f);
  KhObject* sp = obj().get_real_spline(h(line));
  ASSERT_NE(sp, nullptr);
  EXPECT_NE(sp, h(line));
  ASSERT_EQ(obj().init_length(sp, 0, nullptr), 1);
  EXPECT_NEAR(obj().get_length(sp), 500.0f, 1e-3);
  EXPECT_EQ(obj().get_real_spline(h(line)), sp) << "kept while the primitive is unchanged";
  Object* circle = doc->createObject(kTypeCirclePrimitive);
  sp = obj().get_real_spline(h(circle));
  ASSERT_NE(sp, nullptr);
  EXPECT_EQ(table().container->get_long(table().list_node->get_container(reinterpret_cast<KhNode*>(sp)),
                                         kSplineClosed),
            1);
}

TEST_F(SceneTest, BreakTestCountsCalls) {
  BreakThread& t = doc->thread();
  EXPECT_EQ(table().thread->test_break(t.handle()), 0) << "never stops by default";
  t.stopAfter(2);
  EXPECT_EQ(table().thread->test_break(t.handle()), 0);
  EXPECT_EQ(table().thread->test_break(t.handle()), 0);
  EXPECT_EQ(table().thread->test_break(t.handle()), 1);
  t.stopAfter(0);
  EXPECT_EQ(table().thread->test_break(t.handle()), 1);
  EXPECT_EQ(table().thread->test_break(nullptr), 0);
}

TEST_F(SceneTest, DrawRecordsPensAndLines) {
  DrawRecorder view;
  const KhVector red{1, 0, 0}, a{0, 0, 0}, b{1, 2, 3};
  table().draw->set_pen(view.handle(), &red);
  table().draw->line3d(view.handle(), &a, &b);
  ASSERT_EQ(view.lines.size(), 1u);
  EXPECT_EQ(view.lines[0].colour.x, 1.0f);
  EXPECT_EQ(view.lines[0].b.z, 3.0f);
  EXPECT_EQ(view.pens.size(), 1u);
}

TEST_F(SceneTest, OptimizeMergesPointsAndDropsWhatIsLeftOver) {
  Object* o = doc->createObject(KH_TYPE_POLYGON);
  // Two quads sharing an edge, written with duplicated points, and a stray point.
  doc->setPoints(o, {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                     {1, 0, 0.001f}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {50, 50, 50}});
  doc->setPolygons(o, {{0, 1, 2, 3}, {4, 5, 6, 7}});
  KhContainerValue settings;
  table().container->init(&settings, -1);
  table().container->set_real(&settings, 2076, 0.01f);
  table().container->set_long(&settings, 2077, 1);
  table().container->set_long(&settings, 2078, 1);
  table().container->set_long(&settings, 2079, 1);
  KhModelingCommandData data{doc->handle(), h(o), &settings, 0, nullptr};
  EXPECT_EQ(table().general->send_modeling_command(KH_MCOMMAND_OPTIMIZE, &data), 1);
  EXPECT_EQ(o->points().size(), 6u);
  EXPECT_EQ(o->polygons().size(), 2u);
  EXPECT_EQ(table().general->send_modeling_command(9999, &data), 0) << "an unknown command";
  Object* null = doc->createObject(KH_TYPE_NULL);
  data.op = h(null);
  EXPECT_EQ(table().general->send_modeling_command(KH_MCOMMAND_OPTIMIZE, &data), 0);
  table().general->free_modeling_result(data.result);
  table().container->free(&settings);
}

}  // namespace
}  // namespace kurvo::host::test
