// The deformation run end to end: points of a real scene bent along real
// paths, checked against expectations computed here from first principles.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>
#include <vector>

#include "arc_length.h"
#include "deformer/point_mapping.h"
#include "deformer_fixture.h"
#include "math/random.h"
#include "spline.h"

namespace kurvo::test {
namespace {

constexpr float kPi = std::numbers::pi_v<float>;

// Independent evaluation of a path with the host's geometry library: arc
// length, point and tangent, straight continuation past both ends.
class ReferencePath {
 public:
  explicit ReferencePath(const Object* spline) : seg_(geo::MakeSegmentView(spline->spline(), 0)) {
    EXPECT_TRUE(table_.Build(seg_));
  }
  double Length() const { return table_.Length(); }
  Vector Point(double pos) const {
    if (pos > 1) return At(1) + Tangent(1) * static_cast<float>((pos - 1) * Length());
    if (pos < 0) return At(0) + Tangent(0) * static_cast<float>(pos * Length());
    return At(pos);
  }
  Vector Tangent(double pos) const {
    pos = std::clamp(pos, 0.0, 1.0);
    return geo::SplineTangent(seg_, table_.UniformToNatural(static_cast<float>(pos)));
  }

 private:
  Vector At(double pos) const { return geo::SplinePoint(seg_, table_.UniformToNatural(static_cast<float>(pos))); }
  geo::SegmentView seg_;
  geo::ArcLengthTable table_;
};

// Where a point should land with flat curves, no stretch, open path, up mode
// 0: its Z becomes arc length, its X and Y offsets in the frame whose X axis
// is up x tangent, rolled by `roll` and scaled by `scale`.
Vector ExpectedMapping(const Vector& p, const Matrix& opMg, const Matrix& modMg, const Matrix& pathMg,
                       const ReferencePath& path, Vector up, double roll, double scale) {
  const Vector q = Invert(modMg) * (opMg * p);
  const double pos = q.z / path.Length();
  const Vector t = path.Tangent(pos);
  const Vector x = Normalize(Cross(Normalize(up), t));
  const Vector y = Normalize(Cross(t, x));
  const float c = static_cast<float>(std::cos(roll)), s = static_cast<float>(std::sin(roll));
  const Vector xr = (x * c - y * s) * static_cast<float>(scale);
  const Vector yr = (x * s + y * c) * static_cast<float>(scale);
  return Invert(opMg) * (pathMg * (path.Point(pos) + xr * q.x + yr * q.y));
}

std::vector<Vector> XLinePoints() { return {Vector(0, 0, 0), Vector(200, 0, 0)}; }

class DeformationTest : public DeformerTest {
 protected:
  // A point object under a deformer whose path is a straight line along +X
  // of length 200 from the origin.
  void SetUpXLine(std::vector<Vector> points) {
    path_ = MakeSpline(XLinePoints(), 0, false);
    object_ = MakePointObject(std::move(points));
    deformer_ = MakeDeformer(object_, path_);
    rest_ = object_->points();
  }
  // Runs the deformer once on the rest points.
  const std::vector<Vector>& RunOnce() {
    object_->points() = rest_;
    object_->refreshBox();
    Modify(deformer_);
    return object_->points();
  }
  Object* path_ = nullptr;
  Object* object_ = nullptr;
  Object* deformer_ = nullptr;
  std::vector<Vector> rest_;
};

TEST_F(DeformationTest, DefaultsAlongAStraightPathFromItsOriginMoveNothing) {
  for (int interpolation : {0, 1}) {
    SCOPED_TRACE(interpolation);
    Object* path = MakeSpline({Vector(0, 0, 0), Vector(0, 0, 100), Vector(0, 0, 200), Vector(0, 0, 300)},
                              interpolation, false);
    Object* o = MakePointObject(Cylinder(25, -80, 420, 11, 8));
    const Matrix placed = MatrixMove(Vector(40, -25, 70)) * MatrixRotY(0.4f) * MatrixRotX(-0.2f);
    doc().setLocalMatrix(o, ToKh(placed));
    // The deformer sits at the world origin, unrotated, below the placed object.
    doc().setLocalMatrix(MakeDeformer(o, path), ToKh(Invert(placed)));
    const std::vector<Vector> before = o->points();
    doc().evaluate();
    ASSERT_EQ(o->points().size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) EXPECT_VEC_NEAR(o->points()[i], before[i], 2e-3f);
  }
}

TEST_F(DeformationTest, CylinderFollowsACubicPathAsComputedIndependently) {
  Object* path = MakeSpline({Vector(0, 0, 0), Vector(0, 0, 50), Vector(10, 0, 100), Vector(30, 0, 140),
                             Vector(60, 0, 170), Vector(100, 0, 190), Vector(140, 0, 200), Vector(180, 0, 205)},
                            1, false);
  doc().setLocalMatrix(path, ToKh(MatrixMove(Vector(5, 20, -10)) * MatrixRotY(0.3f)));
  Object* o = MakePointObject(Cylinder(12, -30, 330, 19, 12));
  doc().setLocalMatrix(o, ToKh(MatrixMove(Vector(3, -4, 15))));
  Object* d = MakeDeformer(o, path);
  doc().setLocalMatrix(d, ToKh(MatrixMove(Vector(-3, 4, -15)) * MatrixRotZ(0.1f)));
  Params(d).setReal(1001, 0.35f);  // roll
  Params(d).setReal(1008, 1.5f);   // scale strength
  const std::vector<Vector> rest = o->points();

  doc().evaluate();

  const ReferencePath ref(path);
  EXPECT_NEAR(Params(d).getReal(1014), ref.Length(), 1e-3);
  const Matrix opMg = ToMatrix(o->globalMatrix()), modMg = ToMatrix(d->globalMatrix());
  const Matrix pathMg = ToMatrix(path->globalMatrix());
  for (size_t i = 0; i < rest.size(); ++i) {
    const Vector expected = ExpectedMapping(rest[i], opMg, modMg, pathMg, ref, Vector(0, 1, 0), 0.35, 1.5);
    SCOPED_TRACE(i);
    EXPECT_VEC_NEAR(o->points()[i], expected, 5e-3f);
  }
}

TEST_F(DeformationTest, PointsPastEitherEndFollowTheEndTangent) {
  SetUpXLine({Vector(0, 0, 300), Vector(0, 0, -50), Vector(3, 5, 300), Vector(3, 5, 100)});
  const auto& out = RunOnce();
  EXPECT_VEC_NEAR(out[0], Vector(300, 0, 0), 1e-3f);  // 1.5 L: E + ET * 100
  EXPECT_VEC_NEAR(out[1], Vector(-50, 0, 0), 1e-3f);  // -0.25 L: B + BT * -50
  // Offsets: X across the path is up x tangent = -Z, Y stays up.
  EXPECT_VEC_NEAR(out[2], Vector(300, 5, -3), 1e-3f);
  EXPECT_VEC_NEAR(out[3], Vector(100, 5, -3), 1e-3f);
  EXPECT_FLOAT_EQ(Params(deformer_).getReal(1014), 200.0f);
}

TEST_F(DeformationTest, ClosedPathWrapsPositionsBeforeItsStart) {
  Object* square =
      MakeSpline({Vector(0, 0, 0), Vector(100, 0, 0), Vector(100, 0, 100), Vector(0, 0, 100)}, 0, true);
  Object* o = MakePointObject({Vector(0, 0, -100), Vector(0, 0, -50), Vector(0, 0, 450)});
  Object* d = MakeDeformer(o, square);
  Modify(d);
  EXPECT_FLOAT_EQ(Params(d).getReal(1014), 400.0f);
  EXPECT_VEC_NEAR(o->points()[0], Vector(0, 0, 100), 1e-3f);  // -0.25 L -> 0.75
  EXPECT_VEC_NEAR(o->points()[1], Vector(0, 0, 50), 1e-3f);   // -0.125 L -> 0.875
  EXPECT_VEC_NEAR(o->points()[2], Vector(50, 0, 0), 1e-3f);   // 1.125 L -> 0.125

  // The same points on the open path continue straight instead.
  Params(square).setBool(1002, false);
  o->points() = {Vector(0, 0, -50)};
  Modify(d);
  EXPECT_FLOAT_EQ(Params(d).getReal(1014), 300.0f);
  EXPECT_VEC_NEAR(o->points()[0], Vector(-50, 0, 0), 1e-3f);
}

TEST_F(DeformationTest, OffsetAndStretchMovePositionsAlongThePath) {
  SetUpXLine({Vector(0, 0, 20)});
  Params(deformer_).setReal(1000, 0.25f);
  EXPECT_VEC_NEAR(RunOnce()[0], Vector(70, 0, 0), 1e-3f);
  // Stretch: the position advances by factor / 1000 per unit of Z.
  Params(deformer_).setBool(1005, true);
  Params(deformer_).setReal(1006, 2.0f);
  EXPECT_VEC_NEAR(RunOnce()[0], Vector(58, 0, 0), 1e-3f);  // 0.25 + 0.04 of 200
}

TEST_F(DeformationTest, ScaleStrengthScalesTheDistanceFromThePath) {
  SetUpXLine({Vector(3, 5, 100)});
  Params(deformer_).setReal(1008, 2.0f);
  EXPECT_VEC_NEAR(RunOnce()[0], Vector(100, 10, -6), 1e-3f);
  Params(deformer_).setReal(1008, 0.0f);
  EXPECT_VEC_NEAR(RunOnce()[0], Vector(100, 0, 0), 1e-3f);
}

TEST_F(DeformationTest, TwistActsOnlyThroughTheRandomFactor) {
  SetUpXLine({Vector(0, 10, 100)});
  SetCurve(deformer_, 1003, {{0, 1}, {1, 1}});
  Params(deformer_).setReal(1007, 90.0f);
  EXPECT_VEC_NEAR(RunOnce()[0], Vector(100, 10, 0), 1e-3f);  // KURVO_RANDOM 0: no twist

  // Without a tag the node's generator runs on: each run rolls differently.
  Params(deformer_).setReal(1203, 1.0f);
  Random reference;
  reference.Get01();  // the draw of the first run above
  for (int run = 0; run < 2; ++run) {
    const float angle = kPi / 2 * reference.Get01();
    EXPECT_VEC_NEAR(RunOnce()[0], Vector(100, 10 * std::cos(angle), -10 * std::sin(angle)), 1e-3f);
  }

  // With a tag the generator restarts from index x 7123 every run.
  Tag* tag = doc().addTag(object_, kTagType);
  tag->parameters().setLong(1000, 3);
  reference.Init(3 * 7123);
  const float angle = kPi / 2 * reference.Get01();
  for (int run = 0; run < 2; ++run)
    EXPECT_VEC_NEAR(RunOnce()[0], Vector(100, 10 * std::cos(angle), -10 * std::sin(angle)), 1e-3f);

  // Index 0 seeds with 0; a huge index wraps in 32 bits.
  tag->parameters().setLong(1000, 0);
  reference.Init(0);
  const float zeroAngle = kPi / 2 * reference.Get01();
  EXPECT_VEC_NEAR(RunOnce()[0], Vector(100, 10 * std::cos(zeroAngle), -10 * std::sin(zeroAngle)), 1e-3f);
  tag->parameters().setLong(1000, 2000000000);
  reference.Init(2000000000u * 7123u);
  const float wrapAngle = kPi / 2 * reference.Get01();
  EXPECT_VEC_NEAR(RunOnce()[0], Vector(100, 10 * std::cos(wrapAngle), -10 * std::sin(wrapAngle)), 1e-3f);
}

TEST_F(DeformationTest, WeightsBlendBetweenRestAndDeformedPoint) {
  SetUpXLine({Vector(0, 10, 100), Vector(0, 10, 50), Vector(0, 10, 150)});
  Tag* map = doc().addTag(object_, KH_TYPE_VERTEXMAP);
  ASSERT_NE(map, nullptr);
  map->weights = {0.0f, 0.5f, 1.0f};
  const auto& out = RunOnce();
  EXPECT_VEC_NEAR(out[0], Vector(0, 10, 100), 1e-4f);
  EXPECT_VEC_NEAR(out[1], Vector(25, 10, 25), 1e-3f);
  EXPECT_VEC_NEAR(out[2], Vector(150, 10, 0), 1e-3f);
}

TEST_F(DeformationTest, UpModesChooseTheCrossSection) {
  SetUpXLine({Vector(0, 10, 100)});
  // Up vector of zero length: the cross-section collapses onto the path.
  Params(deformer_).setVector(1023, {0, 0, 0});
  EXPECT_VEC_NEAR(RunOnce()[0], Vector(100, 0, 0), 1e-3f);
  Params(deformer_).setVector(1023, {0, 1, 0});

  // Rail mode: up points from the path to the rail (rail below: flipped).
  Params(deformer_).setLong(1024, 2);
  EXPECT_VEC_NEAR(RunOnce()[0], Vector(100, 0, 0), 1e-3f);  // no rail yet
  Object* rail = MakeSpline(XLinePoints(), 0, false);
  doc().setLocalMatrix(rail, ToKh(MatrixMove(Vector(0, -50, 0))));
  doc().setLink(deformer_, 1015, rail);
  EXPECT_VEC_NEAR(RunOnce()[0], Vector(100, -10, 0), 1e-3f);
  Object* notASpline = MakePointObject({Vector(0, 0, 0)});
  doc().setLink(deformer_, 1015, notASpline);
  EXPECT_VEC_NEAR(RunOnce()[0], Vector(100, 0, 0), 1e-3f);

  // Path-shape mode: up is the cross product of two nearby path positions.
  Params(deformer_).setLong(1024, 1);
  EXPECT_VEC_NEAR(RunOnce()[0], Vector(100, 0, 0), 1e-3f);  // a line through the origin
  path_->points() = {Vector(0, 0, 50), Vector(200, 0, 50)};
  EXPECT_VEC_NEAR(RunOnce()[0], Vector(100, 10, 50), 1e-3f);

  // Any other mode leaves the frame empty.
  Params(deformer_).setLong(1024, 7);
  EXPECT_VEC_NEAR(RunOnce()[0], Vector(100, 0, 50), 1e-3f);
}

// Follow the path (up mode 3), computed here from first principles: along a
// polyline the carried up direction is constant on each straight span and
// turns at each corner by the shortest turn that takes the incoming
// direction onto the outgoing one.
struct D3 {
  double x, y, z;
};
D3 operator+(D3 a, D3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
D3 operator-(D3 a, D3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
D3 operator*(D3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(D3 a, D3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
D3 Cross(D3 a, D3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
D3 Unit(D3 a) { return a * (1 / std::sqrt(Dot(a, a))); }
Vector ToVector(D3 a) { return Vector(static_cast<float>(a.x), static_cast<float>(a.y), static_cast<float>(a.z)); }
// Where a point with cross-section offsets (a, b) lands at a path point with
// tangent t and up direction n.
D3 Placed(D3 point, D3 t, D3 n, double a, double b) {
  const D3 x = Unit(Cross(n, t));
  return point + x * a + Cross(t, x) * b;
}

class FollowThePathTest : public DeformationTest {
 protected:
  // A deformer in up mode 3 on `path`, deforming `points` (in the frame of
  // the deformer, which sits with its object at the origin).
  void SetUpFollow(Object* path, std::vector<Vector> points, Vector up) {
    path_ = path;
    object_ = MakePointObject(std::move(points));
    deformer_ = MakeDeformer(object_, path_);
    Params(deformer_).setLong(1024, 3);
    Params(deformer_).setVector(1023, {up.x, up.y, up.z});
    rest_ = object_->points();
  }
};

TEST_F(FollowThePathTest, TheFrameTurnsAtEachCornerOfAPolylineAndNowhereElse) {
  // A polyline of three spans, 150, 182 and 120 long; the second corner
  // leaves the plane of the first.
  const std::vector<D3> dirs = {{1, 0, 0}, {std::cos(0.77), std::sin(0.77), 0}, Unit({0.3, 0.6, 0.74})};
  const std::vector<double> lengths = {150, 182, 120};
  std::vector<D3> corners = {{0, 0, 0}};
  for (size_t k = 0; k < dirs.size(); ++k) corners.push_back(corners.back() + dirs[k] * lengths[k]);
  std::vector<Vector> controls;
  for (const D3& c : corners) controls.push_back(ToVector(c));

  // The up direction on each span.
  const D3 up = Unit({0, 1, 1});
  std::vector<D3> ups = {Unit(up - dirs[0] * Dot(up, dirs[0]))};
  for (size_t k = 1; k < dirs.size(); ++k) {
    const D3 axis = Cross(dirs[k - 1], dirs[k]);
    const double s = std::sqrt(Dot(axis, axis)), c = Dot(dirs[k - 1], dirs[k]);
    const D3 unit = axis * (1 / s), v = ups.back();
    ups.push_back(v * c + Cross(unit, v) * s + unit * (Dot(unit, v) * (1 - c)));
  }

  // Points 30 across the path, just before and just after each corner (where
  // a frame blended across the corner rolls most), and well inside each span.
  struct Case {
    size_t span;
    double along;  // from the span's start
  };
  std::vector<Case> cases = {{0, 60}, {1, 91}, {2, 60}};
  for (double d : {0.02, 0.1, 0.25}) {
    cases.push_back({0, lengths[0] - d});
    cases.push_back({1, d});
    cases.push_back({1, lengths[1] - d});
    cases.push_back({2, d});
  }
  std::vector<Vector> points;
  for (const Case& c : cases) {
    double s = c.along;
    for (size_t k = 0; k < c.span; ++k) s += lengths[k];
    points.emplace_back(30.0f, -30.0f, static_cast<float>(s));
  }
  SetUpFollow(MakeSpline(controls, 0, false), points, ToVector(up));
  const std::vector<Vector>& out = RunOnce();
  for (size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(testing::Message() << "span " << c.span << " at " << c.along);
    const D3 expected = Placed(corners[c.span] + dirs[c.span] * c.along, dirs[c.span], ups[c.span], 30, -30);
    EXPECT_VEC_NEAR(out[i], ToVector(expected), 2e-3f);
  }
}

TEST_F(FollowThePathTest, AnUpVectorAlongTheStartFallsBackToTheLeastAlignedAxisXThenYThenZ) {
  // Straight paths from the origin; the axis each starts from, square to it.
  struct Case {
    D3 direction;
    D3 axis;
  };
  const std::vector<Case> cases = {
      {{0, 0, 1}, {1, 0, 0}},  // X and Y tie: X
      {{1, 0, 0}, {0, 1, 0}},  // Y and Z tie: Y
      {{0, 1, 0}, {1, 0, 0}},  // X and Z tie: X
      {{1, 1, 1}, {1, 0, 0}},  // all three tie: X
      {{1, 0, 1}, {0, 1, 0}},  // Y least aligned
      {{0, 1, 1}, {1, 0, 0}},  // X least aligned
      {{2, 2, 1}, {0, 0, 1}},  // Z least aligned
      {{-1, 0, -1}, {0, 1, 0}},
  };
  for (const Case& c : cases) {
    for (double upLength : {0.0, 5.0, -3.0}) {  // zero, or parallel either way
      const D3 t = Unit(c.direction);
      SCOPED_TRACE(testing::Message() << "direction " << ToVector(t) << " up " << upLength);
      SetUpFollow(MakeSpline({Vector(0, 0, 0), ToVector(t * 200)}, 0, false), {Vector(7, 10, 100)},
                  ToVector(t * upLength));
      const D3 n = Unit(c.axis - t * Dot(c.axis, t));
      EXPECT_VEC_NEAR(RunOnce()[0], ToVector(Placed(t * 100, t, n, 7, 10)), 1e-3f);
    }
  }
}

TEST_F(FollowThePathTest, TheFallbackAxisIsThePathObjectsOwn) {
  // Along the path's own X with the up vector along it: the path's own Y is
  // the least aligned axis (tied with its Z, and first). Turned 45 degrees
  // about Z, the world's least aligned axis would be Z instead.
  Object* path = MakeSpline({Vector(0, 0, 0), Vector(200, 0, 0)}, 0, false);
  const Matrix turned = MatrixRotZ(kPi / 4);
  doc().setLocalMatrix(path, ToKh(turned));
  SetUpFollow(path, {Vector(7, 10, 100), Vector(0, 10, 0)}, Vector(1, 0, 0));
  const std::vector<Vector>& out = RunOnce();
  const D3 t{1, 0, 0}, n{0, 1, 0};
  EXPECT_VEC_NEAR(out[0], turned * ToVector(Placed(t * 100, t, n, 7, 10)), 1e-3f);
  EXPECT_VEC_NEAR(out[1], turned * Vector(0, 10, 0), 1e-3f);
}

TEST_F(DeformationTest, WithoutAPathNothingMovesAndTheLengthIsKept) {
  Object* o = MakePointObject(Cylinder(5, 0, 50, 3, 4));
  Object* d = MakeDeformer(o, nullptr);
  Params(d).setReal(1014, 123.0f);
  const std::vector<Vector> before = o->points();
  doc().evaluate();
  EXPECT_EQ(o->points(), before);
  EXPECT_EQ(Params(d).getReal(1014), 123.0f);

  doc().setLink(d, 1002, MakePointObject({Vector(1, 1, 1)}));  // no spline form
  doc().evaluate();
  EXPECT_EQ(o->points(), before);
  EXPECT_EQ(Params(d).getReal(1014), 123.0f);
}

// A path of length 0 has no positions: the points stay (instead of becoming
// not-a-number) and the read-out says 0.
TEST_F(DeformationTest, ZeroLengthPathLeavesThePointsAndReportsZero) {
  Object* path = MakeSpline({Vector(5, 5, 5), Vector(5, 5, 5), Vector(5, 5, 5)}, 1, false);
  Object* o = MakePointObject(Cylinder(5, 0, 50, 3, 4));
  Object* d = MakeDeformer(o, path);
  Params(d).setReal(1014, 77.0f);
  const std::vector<Vector> before = o->points();
  doc().evaluate();
  EXPECT_EQ(o->points(), before);
  EXPECT_EQ(Params(d).getReal(1014), 0.0f);

  // Otherwise it is a run like any other: it sends the update message and
  // takes its random value, so the next run twists by the second draw.
  Object* twisted = MakePointObject({Vector(0, 10, 100)});
  Object* t = MakeDeformer(twisted, path);
  SetCurve(t, 1003, {{0, 1}, {1, 1}});
  Params(t).setReal(1007, 90.0f);
  Params(t).setReal(1203, 1.0f);
  const uint32_t updates = twisted->updateMessages();
  Modify(t);
  EXPECT_EQ(twisted->points()[0], Vector(0, 10, 100));
  EXPECT_EQ(twisted->updateMessages(), updates + 1);

  doc().setPoints(path, {Vector(0, 0, 0), Vector(100, 0, 0), Vector(200, 0, 0)});
  Modify(t);
  Random reference;
  reference.Get01();  // the zero-length run's draw
  const float angle = kPi / 2 * reference.Get01();
  EXPECT_VEC_NEAR(twisted->points()[0], Vector(100, 10 * std::cos(angle), -10 * std::sin(angle)), 1e-3f);
}

// An object without Z extent reads its profile at 0 rather than at an
// undefined position.
TEST_F(DeformationTest, FlatObjectUsesTheProfileStartValue) {
  SetUpXLine({Vector(0, 4, 0), Vector(3, 0, 0)});
  SetCurve(deformer_, 1122, {{0, 2}, {1, 0}});
  const auto& out = RunOnce();
  EXPECT_VEC_NEAR(out[0], Vector(0, 8, 0), 1e-4f);
  EXPECT_VEC_NEAR(out[1], Vector(0, 0, -6), 1e-4f);
}

TEST_F(DeformationTest, ProfileScalesTheCrossSectionOverTheObjectsLength) {
  SetUpXLine({Vector(0, 4, 0), Vector(0, 4, 100), Vector(0, 4, 200)});
  SetCurve(deformer_, 1122, {{0, 0}, {1, 2}});
  const auto& out = RunOnce();
  EXPECT_VEC_NEAR(out[0], Vector(0, 0, 0), 1e-4f);
  EXPECT_VEC_NEAR(out[1], Vector(100, 4, 0), 1e-3f);
  EXPECT_VEC_NEAR(out[2], Vector(200, 8, 0), 1e-3f);
}

// A container that lacks a curve (an old or edited scene) uses the curve's
// flat default.
TEST_F(DeformationTest, MissingCurvesReadAsTheirFlatDefaults) {
  SetUpXLine({Vector(3, 5, 100), Vector(0, 2, 20)});
  const std::vector<Vector> expected = RunOnce();
  Params(deformer_).setReal(1203, 1.0f);  // would twist, had the twist curve a value
  Params(deformer_).setReal(1007, 90.0f);
  for (int32_t id : {1003, 1004, 1122}) Params(deformer_).remove(id);
  const auto& out = RunOnce();
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_VEC_NEAR(out[i], expected[i], 1e-4f);
}

TEST_F(DeformationTest, StoppedRunLeavesTheRestButStillSendsTheUpdate) {
  SetUpXLine(Cylinder(5, 10, 150, 25, 8));  // 200 points
  host::BreakThread thread;

  // Stop at the first test: nothing moves. The box was stale on purpose; the
  // update message refreshes it.
  object_->points() = rest_;
  object_->points()[0] = Vector(0, 0, 1000);
  const std::vector<Vector> before = object_->points();
  thread.stopAfter(0);
  Modify(deformer_, &thread);
  EXPECT_EQ(object_->points(), before);
  EXPECT_EQ(thread.calls(), 1);
  EXPECT_NEAR(object_->boxHalfSize().z, (1000.0f - 10.0f) / 2, 1e-3f);

  // Allow one test: points 0..63 move, the next test (at 64) stops the rest.
  object_->points() = rest_;
  thread.stopAfter(1);
  Modify(deformer_, &thread);
  EXPECT_EQ(thread.calls(), 2);
  for (size_t i = 0; i < rest_.size(); ++i) {
    if (i < 64)
      EXPECT_NE(object_->points()[i], rest_[i]) << i;
    else
      EXPECT_EQ(object_->points()[i], rest_[i]) << i;
  }
  // A thread that never stops is asked at 0, 64, 128 and 192.
  object_->points() = rest_;
  thread.stopAfter(-1);
  Modify(deformer_, &thread);
  EXPECT_EQ(thread.calls(), 4);
}

TEST_F(DeformationTest, OptimizeRunsOnlyWhenPointsOrPolygonsAreSwitchedOn) {
  // Points 0 and 1 coincide; point 4 is used by no polygon.
  SetUpXLine({Vector(0, 0, 10), Vector(0, 0, 10), Vector(5, 0, 10), Vector(0, 5, 10), Vector(9, 9, 10)});
  doc().setPolygons(object_, {{0, 2, 3, 3}, {1, 2, 3, 3}});
  Params(deformer_).setBool(1013, true);  // loose points alone: no command
  doc().evaluate();
  EXPECT_EQ(object_->points().size(), 5u);

  Params(deformer_).setBool(1011, true);  // merge, and drop the loose point
  doc().evaluate();
  EXPECT_EQ(object_->points().size(), 3u);

  Params(deformer_).setBool(1011, false);
  Params(deformer_).setBool(1012, true);  // polygons also run it: the loose point goes
  doc().evaluate();
  EXPECT_EQ(object_->points().size(), 4u);
}

// The command gets the deformer's tolerance and its three switches, each with
// an effect of its own on the result.
TEST_F(DeformationTest, OptimizeHandsOverTheToleranceAndEachSwitch) {
  // Points 0 and 1 lie 0.5 apart, before and after the bend (a straight path
  // keeps distances).
  SetUpXLine({Vector(0, 0, 10), Vector(0.5f, 0, 10), Vector(5, 0, 10), Vector(0, 5, 10)});
  doc().setPolygons(object_, {{0, 2, 3, 3}, {1, 2, 3, 3}});
  Params(deformer_).setBool(1011, true);
  ASSERT_EQ(Params(deformer_).getReal(1010), 1.0f);  // the default
  doc().evaluate();
  EXPECT_EQ(object_->points().size(), 3u);
  Params(deformer_).setReal(1010, 0.01f);
  doc().evaluate();
  EXPECT_EQ(object_->points().size(), 4u);

  // Points 0 and 1 coincide, so polygon 1 collapses once they are merged;
  // point 4 is used by no polygon.
  doc().setPoints(object_,
                  {Vector(0, 0, 10), Vector(0, 0, 10), Vector(5, 0, 10), Vector(0, 5, 10), Vector(9, 9, 10)});
  doc().setPolygons(object_, {{0, 2, 3, 3}, {0, 1, 2, 2}});
  struct Case {
    bool points, polygons, loose;
    size_t pointCount, polygonCount;
  };
  for (const Case& c : {Case{true, false, false, 4, 2}, Case{true, true, false, 4, 1}, Case{true, false, true, 3, 2},
                        Case{false, true, true, 4, 2}, Case{false, true, false, 5, 2}}) {
    SCOPED_TRACE(testing::Message() << "points " << c.points << " polygons " << c.polygons << " loose "
                                    << c.loose);
    Params(deformer_).setBool(1011, c.points);
    Params(deformer_).setBool(1012, c.polygons);
    Params(deformer_).setBool(1013, c.loose);
    doc().evaluate();
    EXPECT_EQ(object_->points().size(), c.pointCount);
    EXPECT_EQ(object_->polygons().size(), c.polygonCount);
  }
}

// One update message after the points moved, and a second one only when the
// optimize command reports that it changed the object.
TEST_F(DeformationTest, OnlyASuccessfulOptimizeSendsASecondUpdate) {
  SetUpXLine({Vector(0, 0, 10), Vector(0, 0, 10), Vector(5, 0, 10), Vector(0, 5, 10)});
  doc().setPolygons(object_, {{0, 2, 3, 3}, {1, 2, 3, 3}});
  auto updatesOfOneRun = [&] {
    const uint32_t before = object_->updateMessages();
    RunOnce();
    return object_->updateMessages() - before;
  };
  EXPECT_EQ(updatesOfOneRun(), 1u);
  Params(deformer_).setBool(1011, true);
  EXPECT_EQ(updatesOfOneRun(), 2u);
  EXPECT_EQ(object_->points().size(), 3u);
  Params(deformer_).setReal(1010, -1.0f);  // a tolerance the command refuses
  EXPECT_EQ(updatesOfOneRun(), 1u);
  EXPECT_EQ(object_->points().size(), 4u);
}

// The roll's cosine and sine, many angles at a time: within 1.5e-7 of the
// double-precision values wherever the angle is reduced here (the float
// angle is itself that far from its exact value), the C library's beyond, and
// the bits of one angle at a time for every count and where in a call an
// angle comes.
TEST(RollSinCos, ManyAnglesAtOnceAreCloseAndHaveTheBitsOfOneByOne) {
  std::vector<float> angles;
  for (int i = -20000; i <= 20000; ++i) angles.push_back(static_cast<float>(i) * 0.00314159f);
  for (float a : {0.0f, -0.0f, 1e-30f, 0.7853982f, 1.5707964f, 3.1415927f, 4.712389f, 1000.0f, -2345.678f, 65536.0f})
    angles.push_back(a), angles.push_back(-a);
  const float past[] = {65540.0f, -1e7f, 3e38f, std::numeric_limits<float>::infinity(), std::nanf("")};
  std::vector<float> c(angles.size()), s(angles.size());
  kurvo_roll::SinCosMany(angles.data(), static_cast<int>(angles.size()), c.data(), s.data());
  double worst = 0;
  for (size_t i = 0; i < angles.size(); ++i) {
    const double a = angles[i];
    worst = std::max({worst, std::fabs(c[i] - std::cos(a)), std::fabs(s[i] - std::sin(a))});
    float c1, s1;
    kurvo_roll::SinCos(angles[i], c1, s1);
    ASSERT_TRUE(std::memcmp(&c1, &c[i], sizeof c1) == 0 && std::memcmp(&s1, &s[i], sizeof s1) == 0) << angles[i];
  }
  EXPECT_LT(worst, 1.5e-7);
  // Angles past the reduction in every lane of a call of 1 to 9 angles.
  for (int n = 1; n <= 9; ++n)
    for (float far : past) {
      std::vector<float> few(angles.begin() + 100 * n, angles.begin() + 100 * n + n);
      few[n / 2] = far;
      std::vector<float> fc(n), fs(n);
      kurvo_roll::SinCosMany(few.data(), n, fc.data(), fs.data());
      for (int i = 0; i < n; ++i) {
        float c1, s1;
        kurvo_roll::SinCos(few[i], c1, s1);
        EXPECT_TRUE(std::memcmp(&c1, &fc[i], sizeof c1) == 0 && std::memcmp(&s1, &fs[i], sizeof s1) == 0)
            << n << " angles, " << few[i];
      }
      const float libC = std::cos(far), libS = std::sin(far);
      EXPECT_TRUE(std::memcmp(&libC, &fc[n / 2], sizeof libC) == 0 && std::memcmp(&libS, &fs[n / 2], sizeof libS) == 0)
          << far;
    }
}

// The run maps the points a block at a time; MapPoint maps one point on its
// own, placed point by point and through the host's per-position entries.
// On a processor with AVX2, MapBlock runs its eight-float variant while
// MapPoint stays on the plain compilation, so the two compilations are
// compared as well. Every point must come out with the same bits either way,
// whatever the settings: frames of each up mode, curves, twist, stretch, a closed path,
// weights, points on and past the path.
TEST_F(DeformationTest, MapPointGivesTheBitsOfMapBlock) {
  Object* pathObject = MakeSpline({Vector(0, 0, 0), Vector(40, 30, 60), Vector(-20, 80, 140), Vector(10, 60, 230),
                                   Vector(90, 20, 260)},
                                  1, false);
  Object* railObject =
      MakeSpline({Vector(0, 50, 0), Vector(30, 90, 120), Vector(0, 120, 260)}, 0, false);
  doc().setLocalMatrix(railObject, ToKh(MatrixMove(Vector(5, 0, 0))));
  // A free deformer carries the three curves in the host's curve type.
  Object* carrier = doc().createObject(kDeformerType);
  SetCurve(carrier, 1003, {{0, -1}, {0.4f, 2}, {1, 0.5f}});
  SetCurve(carrier, 1004, {{0, 0.5f}, {0.7f, 1.5f}, {1, 1}});
  SetCurve(carrier, 1122, {{0, 1}, {0.5f, 0.2f}, {1, 1.2f}});
  BaseContainer* bc = BaseObject::From(host::toObjectHandle(carrier))->GetDataInstance();
  auto curve = [&](int32_t id) {
    return static_cast<const SplineData*>(bc->GetCustomDataType(id, KH_CUSTOMDATA_SPLINE));
  };
  ASSERT_NE(curve(1003), nullptr);
  // A twist that is exactly zero over the first half: there a point's roll is
  // KURVO_ROTATION alone, even right after points that were twisted.
  Object* zeroTwistCarrier = doc().createObject(kDeformerType);
  SetCurve(zeroTwistCarrier, 1003, {{0, 0}, {0.5f, 0}, {1, 2}});
  const auto* zeroTwist = static_cast<const SplineData*>(BaseObject::From(host::toObjectHandle(zeroTwistCarrier))
                                                             ->GetDataInstance()
                                                             ->GetCustomDataType(1003, KH_CUSTOMDATA_SPLINE));
  ASSERT_NE(zeroTwist, nullptr);

  PathRecord path, rail;
  for (auto [rec, object] : {std::pair{&path, pathObject}, std::pair{&rail, railObject}}) {
    rec->spline = BaseObject::From(host::toObjectHandle(object))->GetRealSpline();
    ASSERT_NE(rec->spline, nullptr);
    ASSERT_TRUE(rec->spline->InitLength(0, nullptr));
    rec->length = rec->spline->GetLength();
    ReadEndValues(*rec);
  }
  ASSERT_GT(path.length, 0.0f);

  Random r;
  r.Init(4711u);
  auto in = [&](float lo, float hi) { return lo + (hi - lo) * r.Get01(); };
  auto anyVector = [&](float size) { return Vector(in(-size, size), in(-size, size), in(-size, size)); };
  constexpr int32_t kCount = 2 * PointMapper::kBlock + 22;  // the last block is short
  std::vector<Real> weights(kCount);
  for (int setting = 0; setting < 24; ++setting) {
    SCOPED_TRACE(setting);
    PointMapper m;
    // Every other setting turns only about Z, so points that share a Z share
    // the path position to the bit, as the points of a ring do.
    const bool rings = (setting / 4) % 2 == 0;
    m.toDeformer = rings ? MatrixMove(anyVector(20)) * MatrixRotZ(in(-1, 1))
                         : MatrixMove(anyVector(20)) * MatrixRotY(in(-1, 1)) * MatrixRotX(in(-1, 1));
    m.toObject = MatrixMove(anyVector(20)) * MatrixRotZ(in(-1, 1)) * MatrixScale(Vector(in(0.5f, 2)));
    m.frame.upMode = setting % 4;  // 3: no frame
    m.frame.upNormal = Normalize(anyVector(1));
    m.frame.path = &path;
    m.frame.rail = setting % 8 == 2 ? nullptr : &rail;
    m.frame.railMatrix = ToMatrix(railObject->globalMatrix());
    m.closed = setting % 3 == 1;
    m.length = path.length;
    m.step = path.length / 1000.0f;
    m.offset = in(-0.3f, 0.3f) + (m.closed ? 1000.0f : 0.0f);
    m.stretch = setting % 5 == 0;
    m.stretchFactor = in(0.5f, 3);
    m.objectPosition = anyVector(10);
    m.zLow = in(-100, 0);
    m.zScale = 1.0f / in(100, 300);
    m.profile = CurveLookup{setting % 2 == 1 ? curve(1122) : nullptr, 1.0f};
    m.profileStrength = in(0.5f, 1.5f);
    m.scale = CurveLookup{curve(1004), 1.0f};
    m.scaleStrength = in(0.5f, 2);
    m.twist = CurveLookup{setting % 2 == 0 ? zeroTwist : curve(1003), 0.0f};
    m.twistStrength = in(0, 180);
    m.random = setting % 3 == 0 ? 0.0f : in(-1, 1);
    m.rotation = in(-3, 3);
    for (Real& w : weights) w = in(0, 1);
    m.weights = setting % 2 == 0 ? weights.data() : nullptr;
    m.Prepare();

    std::vector<Vector> points(kCount);
    for (int32_t i = 0; i < kCount; ++i) {
      // In ring settings, runs of 1 to 7 points share a Z (some across blocks).
      const bool newRing = !rings || i == 0 || r.Get01() < 0.2f;
      const float z = newRing ? in(-0.3f, 1.3f) * path.length : points[i - 1].z;
      points[i] = Vector(in(-40, 40), in(-40, 40), z);
    }
    std::vector<Vector> blocked = points;
    for (int32_t first = 0; first < kCount; first += PointMapper::kBlock)
      m.MapBlock(blocked.data(), first, std::min(PointMapper::kBlock, kCount - first));
    // Blocks ask the host for all their path positions and curve values at
    // once; single points ask position by position, as on a host without
    // the batch family and the curves' batched entry.
    ASSERT_NE(t_HostOS->spline_batch, nullptr);
    const KhHostTable* batched = t_HostOS;
    KhHostTable perPosition = *batched;
    perPosition.spline_batch = nullptr;
    t_HostOS = &perPosition;
    PointMapper single = m;
    single.profile.curve = m.profile.curve.OneByOne();
    single.scale.curve = m.scale.curve.OneByOne();
    single.twist.curve = m.twist.curve.OneByOne();
    std::vector<Vector> singles(kCount);
    for (int32_t i = 0; i < kCount; ++i) singles[i] = single.MapPoint(i, points[i]);
    t_HostOS = batched;
    for (int32_t i = 0; i < kCount; ++i) {
      const Vector& single = singles[i];
      EXPECT_EQ(std::memcmp(&single, &blocked[i], sizeof(Vector)), 0) << i << ": " << single << " " << blocked[i];
    }
  }
  path.spline->FreeLength();
  rail.spline->FreeLength();
}

}  // namespace
}  // namespace kurvo::test
