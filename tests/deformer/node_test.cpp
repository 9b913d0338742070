// The deformer node apart from deforming: editor symbol, messages, size,
// virtual objects and copies.
#include "deformer_fixture.h"
#include "deformer/kurvo2.h"

namespace kurvo::test {
namespace {

const Kurvo2& NodeOf(Object* d) { return *static_cast<Kurvo2*>(NodeData::From(d->pluginData())); }

bool Draw(Object* d, int32_t pass, host::DrawRecorder& view) {
  return Record(d).draw(d->pluginData(), host::toObjectHandle(d), pass, view.handle(), nullptr) != 0;
}

TEST_F(DeformerTest, DrawsTheArrowInTheObjectPassOnly) {
  Object* d = MakeDeformer(nullptr, nullptr);
  host::DrawRecorder view;
  for (int32_t pass : {1, 2, 3}) EXPECT_TRUE(Draw(d, pass, view));
  EXPECT_TRUE(view.pens.empty());
  EXPECT_TRUE(view.lines.empty());

  ASSERT_TRUE(Draw(d, 0, view));
  ASSERT_EQ(view.pens.size(), 2u);
  EXPECT_EQ(FromKh(view.pens[0]), Vector(0.9f, 0.7f, 0.0f));
  EXPECT_EQ(FromKh(view.pens[1]), Vector(0.1f, 0.5f, 0.9f));
  const std::vector<Vector> outline = {Vector(-20, 0, -100), Vector(-20, 0, 100), Vector(-50, 0, 100),
                                       Vector(0, 0, 200),    Vector(50, 0, 100),  Vector(20, 0, 100),
                                       Vector(20, 0, -100)};
  ASSERT_EQ(view.lines.size(), 8u);
  for (size_t i = 0; i < 7; ++i) {
    EXPECT_EQ(FromKh(view.lines[i].a), outline[i]) << i;
    EXPECT_EQ(FromKh(view.lines[i].b), outline[(i + 1) % 7]) << i;
    EXPECT_EQ(FromKh(view.lines[i].colour), Vector(0.9f, 0.7f, 0.0f));
  }
  EXPECT_EQ(FromKh(view.lines[7].a), Vector(0, 0, 250));
  EXPECT_EQ(FromKh(view.lines[7].b), Vector(0, 0, -175));
  EXPECT_EQ(FromKh(view.lines[7].colour), Vector(0.1f, 0.5f, 0.9f));
}

TEST_F(DeformerTest, ArrowFollowsTheDeformersMatrixWhateverItsParameters) {
  Object* path = MakeSpline({Vector(0, 0, 0), Vector(0, 0, 100)}, 0, false);
  Object* o = MakePointObject({Vector(1, 2, 3)});
  Object* d = MakeDeformer(o, path);
  Params(d).setLong(1024, 2);
  Params(d).setReal(1008, 5.0f);
  doc().setLocalMatrix(d, ToKh(MatrixMove(Vector(10, 20, 30)) * MatrixScale(Vector(2, 1, 1))));
  host::DrawRecorder view;
  ASSERT_TRUE(Draw(d, 0, view));
  ASSERT_EQ(view.lines.size(), 8u);
  // Shaft 80 wide, head 200 wide, lengths along Z unchanged.
  EXPECT_EQ(FromKh(view.lines[0].a), Vector(-30, 20, -70));
  EXPECT_EQ(FromKh(view.lines[1].b), Vector(-90, 20, 130));
  EXPECT_EQ(FromKh(view.lines[3].b), Vector(110, 20, 130));
  EXPECT_EQ(FromKh(view.lines[2].b), Vector(10, 20, 230));
}

TEST_F(DeformerTest, MenuMessageSwitchesDeformModeOnAndEveryMessageAnswersTrue) {
  Object* plain = doc().createObject(kDeformerType);
  EXPECT_EQ(plain->mode(KH_MODE_KIND_DEFORM), host::kModeUndefined);
  Object* d = doc().createObjectAsUser(kDeformerType);
  EXPECT_EQ(d->mode(KH_MODE_KIND_DEFORM), host::kModeOn);

  d->setMode(KH_MODE_KIND_DEFORM, host::kModeOff);
  EXPECT_TRUE(d->message(KH_MSG_MENUPREPARE, nullptr));
  EXPECT_EQ(d->mode(KH_MODE_KIND_DEFORM), host::kModeOn);
  EXPECT_TRUE(d->message(KH_MSG_MENUPREPARE, nullptr));
  EXPECT_EQ(d->mode(KH_MODE_KIND_DEFORM), host::kModeOn);

  d->setMode(KH_MODE_KIND_DEFORM, host::kModeOff);
  EXPECT_TRUE(d->message(KH_MSG_UPDATE, nullptr));
  EXPECT_TRUE(d->message(12345, nullptr));
  EXPECT_EQ(d->mode(KH_MODE_KIND_DEFORM), host::kModeOff);
}

TEST_F(DeformerTest, ReportsAZeroBoxAndBuildsNoObjects) {
  Object* path = MakeSpline({Vector(0, 0, 0), Vector(0, 0, 100)}, 0, false);
  Object* o = MakePointObject(Cylinder(5, 0, 50, 3, 4));
  Object* d = MakeDeformer(o, path);
  MakePointObject({Vector(1, 1, 1)}, d);
  doc().setLocalMatrix(d, ToKh(MatrixMove(Vector(7, 7, 7))));
  doc().evaluate();
  doc().evaluate();

  KhVector mp{1, 1, 1}, rad{1, 1, 1};
  Record(d).get_dimension(d->pluginData(), host::toObjectHandle(d), &mp, &rad);
  EXPECT_EQ(FromKh(mp), Vector());
  EXPECT_EQ(FromKh(rad), Vector());
  EXPECT_EQ(Record(d).get_virtual_objects(d->pluginData(), host::toObjectHandle(d), nullptr), nullptr);
}

TEST_F(DeformerTest, CopyTakesTheParametersButStartsWithFreshNodeState) {
  Object* path = MakeSpline({Vector(0, 0, 0), Vector(0, 0, 100)}, 0, false);
  Object* o = MakePointObject(Cylinder(5, 0, 50, 3, 4));
  Object* d = MakeDeformer(o, path);
  MakePointObject({Vector(1, 1, 1)}, d);
  Params(d).setReal(1000, 0.4f);
  doc().evaluate();
  ASSERT_NE(NodeOf(d).GetRandom().Seed(), 100u);
  ASSERT_EQ(NodeOf(d).GetChildCount(), 1);

  std::unique_ptr<Object> copy = d->cloneAlone();
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(copy->parameters().getReal(1000), 0.4f);
  EXPECT_EQ(NodeOf(copy.get()).GetRandom().Seed(), 100u);
  EXPECT_EQ(NodeOf(copy.get()).GetChildCount(), 0);
}

// Up mode 3's table is kept from run to run while the path stays as it was,
// and built again when it changes. What a kept table gives is checked against
// a deformer made afresh for each run (whose table is always new), so a
// stale table shows as a different result.
TEST_F(DeformerTest, FollowThePathKeepsItsTableUntilThePathChanges) {
  Object* path = MakeSpline({Vector(0, 0, 0), Vector(80, 40, 10), Vector(160, -30, 60), Vector(240, 20, 140),
                             Vector(300, 90, 200)},
                            1, false);
  Object* o = MakePointObject(Cylinder(15, -20, 380, 21, 8));
  Object* d = MakeDeformer(o, path);
  const std::vector<Vector> rest = o->points();
  const auto setUp = [](Object* deformer, const Vector& up) {
    Params(deformer).setLong(1024, 3);
    Params(deformer).setVector(1023, {up.x, up.y, up.z});
  };
  Vector up(0, 0, 1);
  setUp(d, up);
  const auto run = [&] {
    o->points() = rest;
    o->refreshBox();
    Modify(d);
    return o->points();
  };
  const auto fresh = [&] {
    Object* other = MakePointObject(rest);
    Object* deformer = MakeDeformer(other, path);
    setUp(deformer, up);
    Modify(deformer);
    EXPECT_EQ(NodeOf(deformer).GetTransports().Builds(), 1);
    return other->points();
  };
  const auto builds = [&] { return NodeOf(d).GetTransports().Builds(); };

  EXPECT_EQ(run(), fresh());
  EXPECT_EQ(builds(), 1);
  EXPECT_EQ(run(), fresh());
  EXPECT_EQ(builds(), 1) << "an unchanged path is not built again";

  // Moving the path moves the result, not the table (it is in the path's
  // own coordinates).
  doc().setLocalMatrix(path, ToKh(MatrixMove(Vector(10, -5, 3)) * MatrixRotY(0.3f)));
  EXPECT_EQ(run(), fresh());
  EXPECT_EQ(builds(), 1);

  // Each of these is an edit of the path (or of what the table starts from).
  std::vector<Vector> before = run();
  std::vector<Vector> edited = path->points();
  edited[2] = Vector(150, -60, 90);
  doc().setPoints(path, edited);
  EXPECT_EQ(run(), fresh());
  EXPECT_EQ(builds(), 2);
  EXPECT_NE(o->points(), before);

  // Written in place, as an evaluation may, without the counter moving.
  path->points()[3] = Vector(250, 60, 120);
  EXPECT_EQ(run(), fresh());
  EXPECT_EQ(builds(), 3);

  // The counter moves while the points stay: built again all the same.
  doc().setPoints(path, path->points());
  EXPECT_EQ(run(), fresh());
  EXPECT_EQ(builds(), 4);

  up = Vector(0, 1, 0);
  setUp(d, up);
  EXPECT_EQ(run(), fresh());
  EXPECT_EQ(builds(), 5);

  path->parameters().setBool(host::kSplineClosed, true);
  EXPECT_EQ(run(), fresh());
  EXPECT_EQ(builds(), 6);

  // Written in place to another shape of exactly the same length.
  path->parameters().setBool(host::kSplineClosed, false);
  doc().setPoints(path, {Vector(0, 0, 0), Vector(200, 0, 0), Vector(200, 200, 0)});
  path->setSplineShape(static_cast<geo::Interpolation>(0), {});
  EXPECT_EQ(run(), fresh());
  const int32_t linear = builds();
  path->points()[2] = Vector(200, 0, 200);
  EXPECT_EQ(run(), fresh());
  EXPECT_EQ(builds(), linear + 1);

  // A copy of the deformer starts without a table.
  std::unique_ptr<Object> copy = d->cloneAlone();
  ASSERT_NE(copy, nullptr);
  EXPECT_EQ(NodeOf(copy.get()).GetTransports().Builds(), 0);
}

}  // namespace
}  // namespace kurvo::test
