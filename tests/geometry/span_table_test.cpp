// The flat per-span evaluator against the spline's own evaluation, and the
// arc-length table's reuse of an unchanged segment.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <vector>

#include "arc_length.h"
#include "geometry_test_util.h"
#include "span_table.h"

namespace kurvo::geo {
namespace {

// Largest coordinate of the segment's points, for relative tolerances.
float Extent(const Spline& s) {
  float m = 1.0f;
  for (const Vector& p : s.points)
    m = std::fmax(m, std::fmax(std::fabs(p.x), std::fmax(std::fabs(p.y), std::fabs(p.z))));
  return m;
}

TEST(SpanTable, AgreesWithTheSplineOnEveryKind) {
  Random r;
  r.Init(11u);
  for (Interpolation kind : {Interpolation::Linear, Interpolation::Cubic, Interpolation::Bezier}) {
    for (int trial = 0; trial < 8; ++trial) {
      const Spline s = test::RandomSpline(r, kind, 2 + 3 * trial, trial % 2 == 1);
      const SegmentView seg = MakeSegmentView(s, 0);
      SpanTable table;
      table.Build(seg);
      ASSERT_EQ(table.SpanCount(), seg.SpanCount());
      const float tol = 2e-6f * Extent(s);
      for (int i = 0; i <= 997; ++i) {
        const float t = i / 997.0f;
        test::ExpectNear(table.Point(t), SplinePoint(seg, t), tol);
        Vector tangent;
        ASSERT_TRUE(table.Tangent(t, tangent)) << "random spans have no stationary points";
        test::ExpectNear(tangent, SplineTangent(seg, t), 1e-4f);
        EXPECT_NEAR(Len(tangent), 1.0f, 1e-6f);
      }
      // Span ends, and parameters outside [0, 1] or not a number, land where
      // the spline puts them.
      for (float t : {0.0f, 1.0f, -2.0f, 7.0f, std::nanf(""), 0.5f})
        test::ExpectNear(table.Point(t), SplinePoint(seg, t), tol);
    }
  }
}

TEST(SpanTable, DeclinesStationaryTangentsAndShortSegments) {
  Spline bezier;  // zero tangents: the derivative vanishes at both ends
  bezier.interpolation = Interpolation::Bezier;
  bezier.points = {{0, 0, 0}, {4, 0, 0}};
  SpanTable table;
  table.Build(MakeSegmentView(bezier, 0));
  Vector tangent(9, 9, 9);
  EXPECT_FALSE(table.Tangent(0.0f, tangent));
  EXPECT_EQ(tangent, Vector(9, 9, 9)) << "left untouched";
  ASSERT_TRUE(table.Tangent(0.5f, tangent));
  test::ExpectNear(tangent, Vector(1, 0, 0), 1e-6f);

  Spline single;
  single.points = {{1, 2, 3}};
  table.Build(MakeSegmentView(single, 0));
  EXPECT_TRUE(table.Empty());
}

// Many parameters at once give the bits of Point and Tangent one at a time,
// and decline exactly where Tangent declines: every kind of segment (one
// with stationary ends among them), random parameters, every span end and
// the floats on either side, outside [0, 1] and not a number, in calls of
// every size up to a block, with and without tangents.
TEST(SpanTable, ManyParametersAtOnceHaveTheBitsOfOneByOne) {
  Random r;
  r.Init(5u);
  std::vector<Spline> splines;
  for (Interpolation kind : {Interpolation::Linear, Interpolation::Cubic, Interpolation::Bezier})
    for (int count : {2, 5, 40}) splines.push_back(test::RandomSpline(r, kind, count, count == 5));
  Spline stationary;  // zero tangents: the derivative vanishes at every point
  stationary.interpolation = Interpolation::Bezier;
  stationary.points = {{0, 0, 0}, {4, 0, 0}, {4, 3, 1}};
  splines.push_back(stationary);

  auto bits = [](float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; };
  for (size_t n = 0; n < splines.size(); ++n) {
    SCOPED_TRACE(n);
    SpanTable table;
    table.Build(MakeSegmentView(splines[n], 0));
    std::vector<float> t;
    for (int i = 0; i < 3000; ++i) t.push_back(r.Get01());
    for (int32_t k = 0; k <= table.SpanCount(); ++k) {
      const float v = static_cast<float>(k) / static_cast<float>(table.SpanCount());
      t.insert(t.end(), {v, std::nextafter(v, -1.0f), std::nextafter(v, 2.0f)});
    }
    // The values outside the spans also among the random ones, so that the
    // calls take them in their vectors as well as one at a time.
    const std::vector<float> outside = {0.0f, -0.0f, 1.0f, 0.99999994f, -2.0f, 7.0f, std::nanf(""), 1e30f,
                                        -1e30f, std::numeric_limits<float>::infinity()};
    for (size_t at : {2900, 1700, 900, 300}) t.insert(t.begin() + at, outside.begin(), outside.end());
    t.insert(t.end(), outside.begin(), outside.end());
    const size_t size = t.size();
    std::vector<float> px(size), py(size), pz(size), tx(size), ty(size), tz(size), qx(size), qy(size), qz(size);
    std::unique_ptr<bool[]> declined(new bool[size]);
    for (size_t first = 0, step = 1; first < size; first += step, step = step % SpanTable::kManyBlock + 1) {
      const auto count = static_cast<int32_t>(std::min(step, size - first));
      table.EvaluateMany(&t[first], count, &px[first], &py[first], &pz[first], &tx[first], &ty[first], &tz[first],
                         &declined[first]);
      table.EvaluateMany(&t[first], count, &qx[first], &qy[first], &qz[first], nullptr, nullptr, nullptr, nullptr);
    }
    int wrong = 0;
    for (size_t i = 0; i < size; ++i) {
      const Vector p = table.Point(t[i]);
      Vector tangent;
      const bool has = table.Tangent(t[i], tangent);
      bool same = bits(p.x, px[i]) && bits(p.y, py[i]) && bits(p.z, pz[i]);
      same = same && bits(p.x, qx[i]) && bits(p.y, qy[i]) && bits(p.z, qz[i]) && has != declined[i];
      same = same && (!has || (bits(tangent.x, tx[i]) && bits(tangent.y, ty[i]) && bits(tangent.z, tz[i])));
      if (!same && ++wrong <= 5) ADD_FAILURE() << "t " << t[i] << " differs from one by one";
    }
    EXPECT_EQ(wrong, 0);
  }
}

TEST(ArcLength, UnchangedSegmentsAreReusedAndChangedOnesRebuilt) {
  Random r;
  r.Init(3u);
  Spline s = test::RandomSpline(r, Interpolation::Cubic, 12, false);
  ArcLengthTable table;
  ASSERT_TRUE(table.Build(MakeSegmentView(s, 0)));
  const float length = table.Length();
  const float mid = table.UniformToNatural(0.5f);
  ASSERT_NE(table.Spans(), nullptr);

  table.Release();
  EXPECT_TRUE(table.Empty());
  EXPECT_EQ(table.Length(), 0.0f);
  EXPECT_EQ(table.UniformToNatural(0.3f), 0.3f) << "a released table answers like an empty one";
  EXPECT_EQ(table.Spans(), nullptr);

  ASSERT_TRUE(table.Build(MakeSegmentView(s, 0)));
  EXPECT_EQ(table.Length(), length);
  EXPECT_EQ(table.UniformToNatural(0.5f), mid);

  // An edit in place (as a deformer writes a spline's points) is seen.
  s.points[5].x += 30.0f;
  ASSERT_TRUE(table.Build(MakeSegmentView(s, 0)));
  EXPECT_NE(table.Length(), length);
  ArcLengthTable fresh;
  ASSERT_TRUE(fresh.Build(MakeSegmentView(s, 0)));
  EXPECT_EQ(table.Length(), fresh.Length());
  EXPECT_EQ(table.UniformToNatural(0.5f), fresh.UniformToNatural(0.5f));

  // So are the interpolation and the closed flag.
  s.closed = true;
  ASSERT_TRUE(table.Build(MakeSegmentView(s, 0)));
  EXPECT_GT(table.Length(), fresh.Length());
}

TEST(ArcLength, KeepsItsOwnCopyOfTheSegment) {
  Spline s;
  s.points = {{0, 0, 0}, {0, 0, 10}};
  ArcLengthTable table;
  ASSERT_TRUE(table.Build(MakeSegmentView(s, 0)));
  s.points[1] = Vector(0, 0, 99);  // the table and its evaluator stay with the built shape
  EXPECT_EQ(table.Length(), 10.0f);
  test::ExpectNear(table.Spans()->Point(1.0f), Vector(0, 0, 10), 0.0f);
  test::ExpectNear(SplinePoint(table.Shape(), 0.5f), Vector(0, 0, 5), 0.0f);

  table.Clear();
  EXPECT_EQ(table.Spans(), nullptr);
  EXPECT_EQ(table.source.segment, -1);
}

}  // namespace
}  // namespace kurvo::geo
