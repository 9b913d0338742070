#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
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

// Many fractions at once give the bits of one at a time, on every kind of
// segment: random ones, ones with cusps and repeated points (short and
// zero-length intervals, so cells that meet many intervals), a polyline of
// whole-unit spans (fractions that land exactly on interval starts), one
// long enough that its finer grid has one cell per interval, and Bezier
// spans without tangents. The fractions are random, every k / 4096 and the
// floats on either side of each, the ends, outside [0, 1] and not a number.
TEST(ArcLength, ManyFractionsAtOnceHaveTheBitsOfOneByOne) {
  Random r;
  r.Init(4711u);
  std::vector<Spline> splines;
  for (Interpolation kind : {Interpolation::Linear, Interpolation::Cubic, Interpolation::Bezier})
    for (int count : {2, 3, 8, 40}) splines.push_back(test::RandomSpline(r, kind, count, count == 8));
  for (Interpolation kind : {Interpolation::Cubic, Interpolation::Bezier}) {
    // Back and forth along a line (cusps), with repeated points.
    Spline s;
    s.interpolation = kind;
    s.points = {{0, 0, 0}, {0, 0, 10}, {0, 0, 10}, {0, 0, 0.5f}, {0, 0, 30}, {0, 0.001f, 30}, {0, 0, 2}};
    splines.push_back(s);
  }
  Spline units;
  for (int i = 0; i <= 50; ++i) units.points.push_back(Vector(0, 0, static_cast<float>(i)));
  splines.push_back(units);
  splines.push_back(test::RandomSpline(r, Interpolation::Linear, 70000, false));
  Spline flat = test::RandomSpline(r, Interpolation::Bezier, 6, false);
  flat.tangentsIn.clear(), flat.tangentsOut.clear();
  splines.push_back(flat);

  std::vector<float> u;
  for (int i = 0; i < 20000; ++i) u.push_back(r.Get01());
  for (int k = 0; k <= 4096; ++k) {
    const float f = static_cast<float>(k) / 4096.0f;
    u.insert(u.end(), {f, std::nextafter(f, -1.0f), std::nextafter(f, 2.0f)});
  }
  for (int k = 0; k <= 50; ++k) {
    const float f = static_cast<float>(k) / 50.0f;
    u.insert(u.end(), {f, std::nextafter(f, -1.0f), std::nextafter(f, 2.0f)});
  }
  u.insert(u.end(), {0.0f, -0.0f, 1.0f, 0.99999994f, 1e-30f, -0.5f, 1.5f, std::nanf(""), 1e30f});

  for (size_t n = 0; n < splines.size(); ++n) {
    SCOPED_TRACE(n);
    ArcLengthTable table;
    ASSERT_TRUE(table.Build(MakeSegmentView(splines[n], 0)));
    std::vector<float> many(u.size());
    // Calls of every size up to a block, in turn (the entry takes fractions
    // four at a time).
    for (size_t first = 0, size = 1; first < u.size(); first += size, size = size % ArcLengthTable::kManyBlock + 1) {
      const auto count = static_cast<int32_t>(std::min(size, u.size() - first));
      table.UniformToNaturalMany(u.data() + first, many.data() + first, count);
    }
    int wrong = 0;
    for (size_t i = 0; i < u.size(); ++i) {
      const float one = table.UniformToNatural(u[i]);
      if (std::memcmp(&one, &many[i], sizeof one) == 0) continue;
      if (++wrong <= 5) ADD_FAILURE() << "u " << u[i] << ": one by one " << one << ", many " << many[i];
    }
    EXPECT_EQ(wrong, 0);
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
