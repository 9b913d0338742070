#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "curve.h"
#include "random.h"

namespace kurvo::geo {
namespace {

// The flat curve the deformer writes as a default.
Curve Flat(float y) {
  Curve c;
  c.MakeLinear(-1);
  c.InsertKnot(0.0f, y, Curve::kLinearKnot);
  c.InsertKnot(1.0f, y, Curve::kLinearKnot);
  c.SetRound(0.0f);
  return c;
}

TEST(Curve, EmptyAndLinearCurves) {
  Curve c;
  EXPECT_EQ(c.KnotCount(), 0);
  EXPECT_EQ(c.GetPoint(0.5f), Vector(0.5f, 0.0f, 0.0f));
  EXPECT_TRUE(c.MakeLinear(-1));
  EXPECT_EQ(c.KnotCount(), 0);

  c.MakeLinear(5);
  ASSERT_EQ(c.KnotCount(), 5);
  EXPECT_EQ(c.GetKnot(3).x, 0.75f);
  for (float x : {0.0f, 0.1f, 0.5f, 0.9f, 1.0f}) EXPECT_NEAR(c.Evaluate(x), x, 1e-6f);
  c.MakeLinear(1);
  EXPECT_EQ(c.Evaluate(0.7f), 0.0f);
}

TEST(Curve, HoldsEndValuesOutsideItsRange) {
  for (float y : {0.0f, 1.0f, -2.5f}) {
    const Curve flat = Flat(y);
    for (float x : {-1000.0f, -1.0f, 0.0f, 0.3f, 1.0f, 1.5f, 1e30f, std::numeric_limits<float>::infinity()})
      EXPECT_EQ(flat.Evaluate(x), y) << "x " << x;
    EXPECT_EQ(flat.Evaluate(std::numeric_limits<float>::quiet_NaN()), y);
  }
  Curve c;
  c.InsertKnot(0.2f, 3.0f, 0);
  c.InsertKnot(0.8f, 7.0f, 0);
  EXPECT_EQ(c.Evaluate(0.0f), 3.0f);
  EXPECT_EQ(c.Evaluate(0.1f), 3.0f);
  EXPECT_EQ(c.Evaluate(0.9f), 7.0f);
  EXPECT_EQ(c.Evaluate(5.0f), 7.0f);
  // Knots outside [0, 1] are brought onto it.
  c.InsertKnot(4.0f, 9.0f, 0);
  EXPECT_EQ(c.GetKnot(2).x, 1.0f);
}

TEST(Curve, InsertKeepsKnotsSorted) {
  Curve c;
  EXPECT_EQ(c.InsertKnot(0.5f, 1.0f, 0), 0);
  EXPECT_EQ(c.InsertKnot(0.2f, 2.0f, 0), 0);
  EXPECT_EQ(c.InsertKnot(0.9f, 3.0f, 0), 2);
  EXPECT_EQ(c.InsertKnot(0.5f, 4.0f, 0), 2);  // after the knot with the same x
  EXPECT_EQ(c.GetKnot(1).y, 1.0f);
  EXPECT_EQ(c.GetKnot(2).y, 4.0f);
  // At a repeated x the curve jumps; both sides stay finite.
  EXPECT_TRUE(std::isfinite(c.Evaluate(0.4999f)));
  EXPECT_EQ(c.Evaluate(0.5f), 4.0f);
}

TEST(Curve, SmoothCurvesAreMonotoneAndPassThroughKnots) {
  Random r;
  r.Init(3u);
  for (int trial = 0; trial < 30; ++trial) {
    Curve c;
    const int n = 3 + trial % 6;
    float y = r.Get11();
    for (int i = 0; i < n; ++i) {
      c.InsertKnot(static_cast<float>(i) / (n - 1), y, 0);
      y += trial % 3 == 0 ? 0.0f : r.Get01() * r.Get01() * 4.0f;  // rising, with flat and steep runs
    }
    for (int i = 0; i < n; ++i) EXPECT_EQ(c.Evaluate(c.GetKnot(i).x), c.GetKnot(i).y);
    float last = c.Evaluate(0.0f);
    for (int i = 1; i <= 2000; ++i) {
      const float v = c.Evaluate(i / 2000.0f);
      EXPECT_GE(v, last) << "trial " << trial << " x " << i / 2000.0f;
      last = v;
    }
  }
}

TEST(Curve, SmoothDoesNotOvershootAPeak) {
  Curve c;
  c.InsertKnot(0.0f, 0.0f, 0);
  c.InsertKnot(0.5f, 1.0f, 0);
  c.InsertKnot(1.0f, 0.0f, 0);
  for (int i = 0; i <= 1000; ++i) {
    const float v = c.Evaluate(i / 1000.0f);
    EXPECT_GE(v, 0.0f);
    EXPECT_LE(v, 1.0f);
  }
  // Rounded, not straight: at a quarter the smooth curve lies above the line.
  EXPECT_GT(c.Evaluate(0.25f), 0.5f);
}

TEST(Curve, RoundnessAndLinearKnotsStraightenSpans) {
  Curve c;
  c.InsertKnot(0.0f, 0.0f, 0);
  c.InsertKnot(0.5f, 1.0f, 0);
  c.InsertKnot(1.0f, 0.0f, 0);
  const float smooth = c.Evaluate(0.25f);
  c.SetRound(0.5f);
  EXPECT_NEAR(c.Evaluate(0.25f), 0.5f + (smooth - 0.5f) * 0.5f, 1e-6f);
  c.SetRound(0.0f);
  EXPECT_FLOAT_EQ(c.Evaluate(0.25f), 0.5f);
  // Roundness outside 0..1 is brought onto it; not-a-number reads as 0.
  c.SetRound(1.5f);
  EXPECT_EQ(c.Evaluate(0.25f), smooth);
  c.SetRound(-0.5f);
  EXPECT_EQ(c.Evaluate(0.25f), 0.5f);
  c.SetRound(std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(c.Evaluate(0.25f), 0.5f);

  Curve k;
  k.InsertKnot(0.0f, 0.0f, Curve::kLinearKnot);
  k.InsertKnot(0.5f, 1.0f, 0);
  k.InsertKnot(1.0f, 0.0f, 0);
  EXPECT_FLOAT_EQ(k.Evaluate(0.25f), 0.5f);       // next to the linear knot
  EXPECT_NE(k.Evaluate(0.75f), 0.5f);             // the other span stays smooth
}

TEST(Curve, FlatCurvesStayExactThroughEdits) {
  // Flat curves are answered without a search; an edit that shapes the curve
  // must end that, and values the knot formula would not give back (an
  // infinite level) must not be taken as flat.
  Curve c = Flat(2.0f);
  c.SetRound(1.0f);
  c.InsertKnot(0.5f, 2.0f, 0);
  EXPECT_EQ(c.Evaluate(0.25f), 2.0f);
  c.InsertKnot(0.75f, 4.0f, 0);
  EXPECT_GT(c.Evaluate(0.7f), 2.0f);
  EXPECT_EQ(c.Evaluate(0.25f), 2.0f);

  const float inf = std::numeric_limits<float>::infinity();
  Curve infinite = Flat(inf);
  EXPECT_EQ(infinite.Evaluate(0.0f), inf);
  EXPECT_TRUE(std::isnan(infinite.Evaluate(0.5f))) << "the line between two infinite knots";

  Curve zeros;
  zeros.InsertKnot(0.0f, 0.0f, 0);
  zeros.InsertKnot(1.0f, -0.0f, 0);
  EXPECT_EQ(zeros.Evaluate(0.5f), 0.0f);
  EXPECT_TRUE(c.MakeLinear(3));
  EXPECT_NEAR(c.Evaluate(0.25f), 0.25f, 1e-6f) << "no longer flat";
}

TEST(Curve, SettingAllKnotsAtOnceEqualsInsertingThemOneByOne) {
  // Unsorted, repeated x, out of range, mixed flags: the order InsertKnot
  // leaves (stable by clamped x) and the slopes must be the same.
  const std::vector<Curve::Knot> knots = {{0.7f, 1.0f, 0, 0.0f},  {0.2f, 3.0f, 0, 0.0f}, {0.7f, -2.0f, 1, 0.0f},
                                          {-1.0f, 0.5f, 0, 0.0f}, {2.0f, 4.0f, 0, 0.0f}, {0.4f, 3.5f, 0, 0.0f}};
  Curve one_by_one;
  for (const Curve::Knot& k : knots) one_by_one.InsertKnot(k.x, k.y, k.flags);
  Curve at_once;
  at_once.SetKnots(knots);
  ASSERT_EQ(at_once.KnotCount(), one_by_one.KnotCount());
  EXPECT_TRUE(at_once == one_by_one);
  for (int32_t i = 0; i < at_once.KnotCount(); ++i)
    EXPECT_EQ(at_once.GetKnot(i).slope, one_by_one.GetKnot(i).slope) << "knot " << i;
  for (float x = 0.0f; x <= 1.0f; x += 0.05f) EXPECT_EQ(at_once.Evaluate(x), one_by_one.Evaluate(x)) << x;
  at_once.SetKnots({{0.5f, 2.0f, 0, 0.0f}});
  EXPECT_EQ(at_once.Evaluate(0.9f), 2.0f) << "replaces, not adds";
}

// Many positions at once give the bits of one at a time, on curves of every
// shape: few and many knots, knots crowded into one cell (the look-up then
// searches), repeated x, linear knots, every roundness; at random positions,
// at every knot and the floats on either side, outside [0, 1] and not a
// number; in calls of every size up to past a block.
TEST(Curve, ManyPositionsAtOnceHaveTheBitsOfOneByOne) {
  Random r;
  r.Init(2027u);
  std::vector<Curve> curves;
  for (int count : {2, 3, 8, 40, 300})
    for (float round : {0.0f, 0.5f, 1.0f}) {
      Curve c;
      c.MakeLinear(-1);
      for (int k = 0; k < count; ++k) c.InsertKnot(r.Get01(), 4.0f * r.Get01() - 2.0f, r.Get01() < 0.2f ? 1 : 0);
      c.SetRound(round);
      curves.push_back(c);
    }
  Curve crowded;  // many knots within one cell, one repeated, inside (0, 1)
  crowded.MakeLinear(-1);
  for (int k = 0; k < 12; ++k) crowded.InsertKnot(0.3f + 1e-4f * k, static_cast<float>(k % 3), 0);
  crowded.InsertKnot(0.3f, 5.0f, 0);
  crowded.InsertKnot(0.9f, -1.0f, 0);
  curves.push_back(crowded);
  Curve rising;
  rising.MakeLinear(5);
  curves.push_back(rising);

  for (size_t n = 0; n < curves.size(); ++n) {
    SCOPED_TRACE(n);
    const Curve& c = curves[n];
    std::vector<float> x;
    for (int i = 0; i < 5000; ++i) x.push_back(1.2f * r.Get01() - 0.1f);
    for (int32_t k = 0; k < c.KnotCount(); ++k) {
      const float v = c.GetKnot(k).x;
      x.insert(x.end(), {v, std::nextafter(v, -1.0f), std::nextafter(v, 2.0f)});
    }
    x.insert(x.end(), {0.0f, -0.0f, 1.0f, 0.99999994f, -3.0f, 7.0f, std::nanf(""), 1e30f, -1e30f});
    std::vector<float> many(x.size()), longCall(x.size());
    for (size_t first = 0, size = 1; first < x.size(); first += size, size = size % 70 + 1) {
      const auto count = static_cast<int32_t>(std::min(size, x.size() - first));
      c.EvaluateMany(x.data() + first, count, many.data() + first);
    }
    c.EvaluateMany(x.data(), static_cast<int32_t>(x.size()), longCall.data());
    int wrong = 0;
    for (size_t i = 0; i < x.size(); ++i) {
      const float one = c.Evaluate(x[i]);
      if (std::memcmp(&one, &many[i], sizeof one) == 0 && std::memcmp(&one, &longCall[i], sizeof one) == 0) continue;
      if (++wrong <= 5) ADD_FAILURE() << "x " << x[i] << ": one by one " << one << ", many " << many[i];
    }
    EXPECT_EQ(wrong, 0);
  }
}

}  // namespace
}  // namespace kurvo::geo
