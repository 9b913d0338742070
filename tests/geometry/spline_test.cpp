#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "geometry_test_util.h"
#include "spline.h"
#include "spline_primitives.h"

namespace kurvo::geo {
namespace {

using test::ExpectNear;

Spline Polyline(std::initializer_list<Vector> pts, Interpolation kind = Interpolation::Linear, bool closed = false) {
  Spline s;
  s.points = pts;
  s.interpolation = kind;
  s.closed = closed;
  return s;
}

TEST(Spline, LinearAndCubicPassThroughEveryControlPoint) {
  for (Interpolation kind : {Interpolation::Linear, Interpolation::Cubic}) {
    for (bool closed : {false, true}) {
      const Spline s = Polyline({{0, 0, 0}, {1, 2, 0}, {3, 1, 1}, {4, 4, 2}}, kind, closed);
      const SegmentView seg = MakeSegmentView(s, 0);
      const int spans = seg.SpanCount();
      EXPECT_EQ(spans, closed ? 4 : 3);
      for (int k = 0; k <= spans; ++k)
        ExpectNear(SplinePoint(seg, static_cast<float>(k) / spans), s.points[k % 4], 1e-5f);
    }
  }
}

TEST(Spline, CubicOnEvenCollinearPointsIsAStraightLineAtConstantSpeed) {
  const Spline s = Polyline({{0, 0, 0}, {0, 0, 1}, {0, 0, 2}, {0, 0, 3}}, Interpolation::Cubic);
  const SegmentView seg = MakeSegmentView(s, 0);
  for (float t : {0.0f, 0.1f, 0.37f, 0.5f, 0.93f, 1.0f}) ExpectNear(SplinePoint(seg, t), Vector(0, 0, 3 * t), 1e-5f);
}

TEST(Spline, TangentsAreUnitAndFollowTheCurve) {
  Random r;
  r.Init(11u);
  for (Interpolation kind : {Interpolation::Linear, Interpolation::Cubic, Interpolation::Bezier}) {
    for (int trial = 0; trial < 20; ++trial) {
      const Spline s = test::RandomSpline(r, kind, 3 + trial % 5, trial % 2 == 1);
      const SegmentView seg = MakeSegmentView(s, 0);
      for (int i = 0; i < 50; ++i) {
        const float t = 0.01f + 0.98f * r.Get01();
        const Vector tan = SplineTangent(seg, t);
        EXPECT_NEAR(Len(tan), 1.0f, 1e-5f);
        // Compare with a central difference that stays inside the span.
        const int spans = seg.SpanCount();
        const float span = std::floor(t * spans);
        const float local = t * spans - span;
        if (local < 0.01f || local > 0.99f) continue;
        const float h = 1e-3f / spans;
        const Vector diff = SplinePoint(seg, t + h) - SplinePoint(seg, t - h);
        if (Len(diff) < 1e-3f) continue;  // near a cusp the difference says little
        EXPECT_GT(Dot(tan, Normalize(diff)), 0.999f) << "kind " << static_cast<int>(kind) << " t " << t;
      }
    }
  }
}

TEST(Spline, StationaryPointsStillGiveADirection) {
  // Bezier with zero tangents: the derivative vanishes at both ends.
  Spline s = Polyline({{0, 0, 0}, {0, 3, 0}}, Interpolation::Bezier);
  const SegmentView seg = MakeSegmentView(s, 0);
  ExpectNear(SplineTangent(seg, 0.0f), Vector(0, 1, 0), 1e-6f);
  ExpectNear(SplineTangent(seg, 1.0f), Vector(0, 1, 0), 1e-6f);

  // A collapsed span borrows the direction of its neighbour.
  const Spline dup = Polyline({{0, 0, 0}, {0, 0, 0}, {2, 0, 0}});
  ExpectNear(SplineTangent(MakeSegmentView(dup, 0), 0.25f), Vector(1, 0, 0), 1e-6f);
  // With neighbours on both sides that leave in different directions, the
  // span ahead wins.
  const Spline mid = Polyline({{0, 0, 0}, {0, 3, 0}, {0, 3, 0}, {5, 3, 0}});
  ExpectNear(SplineTangent(MakeSegmentView(mid, 0), 0.5f), Vector(1, 0, 0), 1e-6f);
  // Two collapsed spans: the nearest span with extent wins, on whichever side
  // it lies.
  const Spline twice = Polyline({{0, 0, 0}, {0, 0, 4}, {0, 0, 4}, {0, 0, 4}, {0, -2, 4}});
  const SegmentView twiceSeg = MakeSegmentView(twice, 0);
  ExpectNear(SplineTangent(twiceSeg, 0.375f), Vector(0, 0, 1), 1e-6f);   // span 1: span 0 is nearer
  ExpectNear(SplineTangent(twiceSeg, 0.625f), Vector(0, -1, 0), 1e-6f);  // span 2: span 3 is nearer

  // Tiny but non-zero extents still normalise.
  const Spline tiny = Polyline({{0, 0, 0}, {1e-30f, 0, 0}});
  ExpectNear(SplineTangent(MakeSegmentView(tiny, 0), 0.5f), Vector(1, 0, 0), 1e-6f);

  // Nothing to go on at all: +Z.
  const Spline same = Polyline({{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, Interpolation::Cubic, true);
  EXPECT_EQ(SplineTangent(MakeSegmentView(same, 0), 0.3f), Vector(0, 0, 1));
}

TEST(Spline, DegenerateSegmentsAndParameters) {
  const Spline empty;
  EXPECT_EQ(empty.SegmentCount(), 0);
  EXPECT_EQ(SplinePoint(MakeSegmentView(empty, 0), 0.5f), Vector());
  EXPECT_EQ(SplineTangent(MakeSegmentView(empty, 0), 0.5f), Vector(0, 0, 1));

  const Spline single = Polyline({{1, 2, 3}}, Interpolation::Cubic, true);
  EXPECT_EQ(SplinePoint(MakeSegmentView(single, 0), 0.7f), Vector(1, 2, 3));

  const Spline line = Polyline({{0, 0, 0}, {0, 0, 10}});
  const SegmentView seg = MakeSegmentView(line, 0);
  EXPECT_EQ(SplinePoint(seg, -1.0f), Vector(0, 0, 0));
  EXPECT_EQ(SplinePoint(seg, 2.0f), Vector(0, 0, 10));
  EXPECT_EQ(SplinePoint(seg, std::numeric_limits<float>::quiet_NaN()), Vector(0, 0, 0));
}

TEST(Spline, SegmentsAndOverridePoints) {
  Spline s = Polyline({{0, 0, 0}, {1, 0, 0}, {5, 5, 5}, {5, 5, 6}, {5, 5, 8}});
  s.segments = {2, 3};
  EXPECT_EQ(s.SegmentCount(), 2);
  const SegmentView second = MakeSegmentView(s, 1);
  EXPECT_EQ(second.count, 3);
  EXPECT_EQ(SplinePoint(second, 0.0f), Vector(5, 5, 5));
  EXPECT_EQ(SplinePoint(second, 1.0f), Vector(5, 5, 8));
  EXPECT_EQ(MakeSegmentView(s, 2).count, 0);

  // Counts that overrun the point array are cut to it.
  s.segments = {2, 7};
  EXPECT_EQ(MakeSegmentView(s, 1).count, 3);

  const Vector moved[5] = {{0, 0, 0}, {1, 0, 0}, {-1, -1, -1}, {0, 0, 0}, {1, 1, 1}};
  s.segments = {2, 3};
  EXPECT_EQ(SplinePoint(MakeSegmentView(s, 1, moved), 0.0f), Vector(-1, -1, -1));
}

TEST(SplinePrimitives, LineRunsAlongZFromTheOrigin) {
  const Spline s = MakeLine(200.0f);
  const SegmentView seg = MakeSegmentView(s, 0);
  EXPECT_EQ(SplinePoint(seg, 0.0f), Vector(0, 0, 0));
  EXPECT_EQ(SplinePoint(seg, 0.25f), Vector(0, 0, 50));
  EXPECT_EQ(SplinePoint(seg, 1.0f), Vector(0, 0, 200));
  EXPECT_EQ(SplineTangent(seg, 0.5f), Vector(0, 0, 1));
  EXPECT_FALSE(s.closed);
}

TEST(SplinePrimitives, RoundShapesStayOnTheirRadius) {
  const float r = 50.0f;
  const Spline circle = MakeCircle(r);
  EXPECT_TRUE(circle.closed);
  const SegmentView seg = MakeSegmentView(circle, 0);
  ExpectNear(SplinePoint(seg, 0.0f), Vector(r, 0, 0), 1e-4f);
  ExpectNear(SplinePoint(seg, 0.25f), Vector(0, r, 0), 1e-4f);  // counter-clockwise from +X
  for (int i = 0; i <= 400; ++i) {
    const float t = i / 400.0f;
    const Vector p = SplinePoint(seg, t);
    EXPECT_NEAR(Len(p), r, r * 5e-6f);
    EXPECT_EQ(p.z, 0.0f);
    EXPECT_NEAR(Dot(SplineTangent(seg, t), p / r), 0.0f, 1e-3f);  // tangent is perpendicular to the radius
  }

  const Spline arc = MakeArc(r, 0.0f, 3.0f);
  const SegmentView arcSeg = MakeSegmentView(arc, 0);
  EXPECT_FALSE(arc.closed);
  ExpectNear(SplinePoint(arcSeg, 1.0f), Vector(r * std::cos(3.0f), r * std::sin(3.0f), 0), 1e-3f);
  for (int i = 0; i <= 100; ++i) EXPECT_NEAR(Len(SplinePoint(arcSeg, i / 100.0f)), r, r * 5e-6f);
  EXPECT_EQ(MakeArc(r, 1.0f, 1.0f).points.size(), 1u);
}

TEST(SplinePrimitives, RectangleAndHelix) {
  const Spline rect = MakeRectangle(4.0f, 2.0f);
  EXPECT_TRUE(rect.closed);
  ASSERT_EQ(rect.points.size(), 4u);
  for (const Vector& p : rect.points) {
    EXPECT_EQ(std::fabs(p.x), 2.0f);
    EXPECT_EQ(std::fabs(p.y), 1.0f);
  }

  const Spline helix = MakeHelix(10.0f, 20.0f, 100.0f, 2.5f, 8);
  const SegmentView seg = MakeSegmentView(helix, 0);
  EXPECT_EQ(helix.points.size(), 21u);
  ExpectNear(SplinePoint(seg, 0.0f), Vector(10, 0, 0), 1e-5f);
  ExpectNear(SplinePoint(seg, 1.0f), Vector(-20, 0, 100), 1e-3f);  // 2.5 turns end on -X
  float lastZ = -1.0f;
  for (int i = 0; i <= 200; ++i) {  // rises steadily
    const float z = SplinePoint(seg, i / 200.0f).z;
    EXPECT_GT(z, lastZ);
    lastZ = z;
  }
  EXPECT_EQ(MakeHelix(1, 1, 1, 0.0f, 8).points.size(), 1u);
}

}  // namespace
}  // namespace kurvo::geo
