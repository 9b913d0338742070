#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "arc_length.h"
#include "geometry_test_util.h"
#include "spline_primitives.h"

namespace kurvo::geo {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Arc length along a segment measured independently: a polyline of many
// points per span, read back at any parameter. Not denser than needed: the
// float rounding of each point would otherwise add up along the chords.
class DenseLength {
 public:
  explicit DenseLength(const SegmentView& seg, int perSpan = 4000)
      : steps_(seg.SpanCount() * perSpan), s_(steps_ + 1, 0.0) {
    int i = 0;
    for (int span = 0; span < seg.SpanCount(); ++span) {
      Vector prev = SpanPoint(seg, span, 0.0f);
      for (int j = 1; j <= perSpan; ++j, ++i) {
        const Vector p = SpanPoint(seg, span, static_cast<float>(j) / perSpan);
        const double dx = p.x - prev.x, dy = p.y - prev.y, dz = p.z - prev.z;
        s_[i + 1] = s_[i] + std::sqrt(dx * dx + dy * dy + dz * dz);
        prev = p;
      }
    }
  }
  double Total() const { return s_.back(); }
  double At(double t) const {
    const double f = t * steps_;
    const int i = std::min(static_cast<int>(f), steps_ - 1);
    return s_[i] + (s_[i + 1] - s_[i]) * (f - i);
  }

 private:
  int steps_;
  std::vector<double> s_;
};

TEST(ArcLength, LinearSplinesAreExact) {
  Spline s;
  s.points = {{0, 0, 0}, {3, 0, 0}, {3, 4, 0}, {3, 4, 5}};  // spans of 3, 4 and 5
  ArcLengthTable table;
  ASSERT_TRUE(table.Build(MakeSegmentView(s, 0)));
  EXPECT_EQ(table.Length(), 12.0f);
  EXPECT_FLOAT_EQ(table.UniformToNatural(0.25f), 1.0f / 3.0f);  // end of the first span
  EXPECT_FLOAT_EQ(table.UniformToNatural(7.0f / 12.0f), 2.0f / 3.0f);
  EXPECT_FLOAT_EQ(table.UniformToNatural(0.125f), 1.0f / 6.0f);  // half-way along the first span
  EXPECT_EQ(table.UniformToNatural(0.0f), 0.0f);
  EXPECT_EQ(table.UniformToNatural(1.0f), 1.0f);

  s.closed = true;  // adds the closing span back to the start: sqrt(9 + 16 + 25)
  ASSERT_TRUE(table.Build(MakeSegmentView(s, 0)));
  EXPECT_FLOAT_EQ(table.Length(), static_cast<float>(12.0 + std::sqrt(50.0)));

  ASSERT_TRUE(table.Build(MakeSegmentView(MakeRectangle(30.0f, 10.0f), 0)));
  EXPECT_EQ(table.Length(), 80.0f);
  ASSERT_TRUE(table.Build(MakeSegmentView(MakeLine(500.0f), 0)));
  EXPECT_EQ(table.Length(), 500.0f);
  EXPECT_EQ(table.UniformToNatural(0.3f), 0.3f);
}

TEST(ArcLength, CircleLengthAtExtremeScales) {
  for (float r : {1e-4f, 1.0f, 50.0f, 1e6f}) {
    ArcLengthTable table;
    ASSERT_TRUE(table.Build(MakeSegmentView(MakeCircle(r), 0)));
    EXPECT_NEAR(table.Length() / (2.0 * kPi * r), 1.0, 1e-4) << "radius " << r;
  }
}

TEST(ArcLength, EqualFractionsGiveEqualArcSteps) {
  Random r;
  r.Init(5u);
  for (Interpolation kind : {Interpolation::Linear, Interpolation::Cubic, Interpolation::Bezier}) {
    for (int trial = 0; trial < 6; ++trial) {
      const Spline s = test::RandomSpline(r, kind, 3 + 2 * trial, trial % 2 == 0);
      const SegmentView seg = MakeSegmentView(s, 0);
      ArcLengthTable table;
      ASSERT_TRUE(table.Build(seg));
      const DenseLength dense(seg);
      EXPECT_NEAR(table.Length(), dense.Total(), 1e-5 * dense.Total());
      float lastT = -1.0f;
      for (int i = 0; i <= 500; ++i) {
        const float u = i / 500.0f;
        const float t = table.UniformToNatural(u);
        EXPECT_GE(t, lastT) << "monotone";
        lastT = t;
        EXPECT_NEAR(dense.At(t), u * dense.Total(), 1e-4 * dense.Total())
            << "kind " << static_cast<int>(kind) << " trial " << trial << " u " << u;
      }
      EXPECT_EQ(lastT, 1.0f);
    }
  }
}

TEST(ArcLength, LongPathsFindTheirControlPoints) {
  // A 1000-point polyline: at the length fraction of control point k the
  // parameter is k / spans.
  Random r;
  r.Init(9u);
  const Spline s = test::RandomSpline(r, Interpolation::Linear, 1000, false);
  ArcLengthTable table;
  ASSERT_TRUE(table.Build(MakeSegmentView(s, 0)));
  double acc = 0.0;
  for (int k = 1; k < 1000; ++k) {
    const Vector d = s.points[k] - s.points[k - 1];
    acc += std::sqrt(double(d.x) * d.x + double(d.y) * d.y + double(d.z) * d.z);
    EXPECT_NEAR(table.UniformToNatural(static_cast<float>(acc / table.Length())), k / 999.0f, 2e-6f);
  }
}

TEST(ArcLength, DegenerateInput) {
  ArcLengthTable table;
  EXPECT_TRUE(table.Empty());
  EXPECT_EQ(table.UniformToNatural(0.4f), 0.4f);

  Spline single;
  single.points = {{1, 1, 1}};
  ASSERT_TRUE(table.Build(MakeSegmentView(single, 0)));
  EXPECT_EQ(table.Length(), 0.0f);
  EXPECT_EQ(table.UniformToNatural(0.4f), 0.4f);

  Spline same;
  same.interpolation = Interpolation::Cubic;
  same.points = {{2, 2, 2}, {2, 2, 2}, {2, 2, 2}};
  ASSERT_TRUE(table.Build(MakeSegmentView(same, 0)));
  EXPECT_EQ(table.Length(), 0.0f);
  EXPECT_EQ(table.UniformToNatural(0.6f), 0.6f);

  // Repeated points make zero-length spans; look-ups stay finite and monotone.
  Spline dup;
  dup.points = {{0, 0, 0}, {0, 0, 0}, {0, 0, 4}, {0, 0, 4}, {0, 0, 4}, {0, 0, 8}};
  ASSERT_TRUE(table.Build(MakeSegmentView(dup, 0)));
  EXPECT_EQ(table.Length(), 8.0f);
  float last = 0.0f;
  for (int i = 0; i <= 100; ++i) {
    const float t = table.UniformToNatural(i / 100.0f);
    ASSERT_TRUE(std::isfinite(t));
    EXPECT_GE(t, last);
    last = t;
    EXPECT_NEAR(SplinePoint(MakeSegmentView(dup, 0), t).z, 8.0f * i / 100.0f, 1e-5f);
  }
  EXPECT_EQ(table.UniformToNatural(std::nanf("")), 0.0f);
  EXPECT_EQ(table.UniformToNatural(-3.0f), 0.0f);
  EXPECT_EQ(table.UniformToNatural(3.0f), 1.0f);

  table.Clear();
  EXPECT_TRUE(table.Empty());
  EXPECT_EQ(table.Length(), 0.0f);
}

}  // namespace
}  // namespace kurvo::geo
