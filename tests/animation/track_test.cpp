// Sampling animation tracks: each interpolation between and beyond its keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "track.h"

namespace {

using kurvo::animation::Interpolation;
using kurvo::animation::Key;
using kurvo::animation::Track;
using kurvo::animation::ValueKind;

Track realTrack(Interpolation interpolation, std::initializer_list<std::pair<double, float>> keys) {
  Track t;
  t.kind = ValueKind::real;
  t.interpolation = interpolation;
  for (const auto& [frame, value] : keys) t.keys.push_back(Key{frame, value});
  return t;
}

float at(const Track& t, double frame) { return std::get<float>(t.sample(frame)); }

TEST(TrackTest, EveryInterpolationHitsItsKeysAndHoldsBeyondThem) {
  for (Interpolation i : {Interpolation::step, Interpolation::linear, Interpolation::smooth}) {
    const Track t = realTrack(i, {{0, 1.0f}, {10, 5.0f}, {30, -3.0f}});
    EXPECT_EQ(at(t, 0), 1.0f);
    EXPECT_EQ(at(t, 10), 5.0f);
    EXPECT_EQ(at(t, 30), -3.0f);
    EXPECT_EQ(at(t, -100), 1.0f) << "before the first key";
    EXPECT_EQ(at(t, 1e6), -3.0f) << "after the last key";
  }
}

TEST(TrackTest, StepHoldsLinearIsStraightSmoothEasesAndNeverOvershootsATurn) {
  const Track step = realTrack(Interpolation::step, {{0, 0.0f}, {10, 10.0f}});
  EXPECT_EQ(at(step, 9.999), 0.0f);
  const Track linear = realTrack(Interpolation::linear, {{0, 0.0f}, {10, 10.0f}});
  EXPECT_FLOAT_EQ(at(linear, 2.5), 2.5f);
  EXPECT_FLOAT_EQ(at(linear, 7.5), 7.5f);
  // Two keys: flat at both ends, so a smoothstep: 3t^2 - 2t^3.
  const Track ease = realTrack(Interpolation::smooth, {{0, 0.0f}, {10, 10.0f}});
  EXPECT_FLOAT_EQ(at(ease, 2.5), 10.0f * (3 * 0.0625f - 2 * 0.015625f));
  EXPECT_FLOAT_EQ(at(ease, 5), 5.0f);
  // Through a middle key on a straight line the slope is the line's: exact.
  const Track straight = realTrack(Interpolation::smooth, {{0, 0.0f}, {10, 10.0f}, {20, 20.0f}, {30, 30.0f}});
  EXPECT_NEAR(at(straight, 15), 15.0f, 1e-5);
  // A peak at frame 10: nothing between the keys rises above it.
  const Track peak = realTrack(Interpolation::smooth, {{0, 0.0f}, {10, 10.0f}, {12, 0.0f}});
  for (double f = 0; f <= 12; f += 0.25) EXPECT_LE(at(peak, f), 10.0f) << f;
}

TEST(TrackTest, IntegersRoundBooleansStepVectorsAndPointsGoByComponent) {
  Track integer;
  integer.kind = ValueKind::integer;
  integer.keys = {Key{0, int32_t{0}}, Key{4, int32_t{3}}};
  EXPECT_EQ(std::get<int32_t>(integer.sample(2)), 2);  // 1.5 rounds away from zero
  EXPECT_EQ(std::get<int32_t>(integer.sample(1)), 1);  // 0.75
  Track boolean;
  boolean.kind = ValueKind::boolean;
  boolean.interpolation = Interpolation::linear;  // ignored: booleans only step
  boolean.keys = {Key{0, int32_t{0}}, Key{4, int32_t{1}}};
  EXPECT_EQ(std::get<int32_t>(boolean.sample(3.9)), 0);
  EXPECT_EQ(std::get<int32_t>(boolean.sample(4)), 1);

  Track vector;
  vector.kind = ValueKind::vector;
  vector.keys = {Key{0, Vector(0, 10, -4)}, Key{2, Vector(2, 20, 4)}};
  const Vector v = std::get<Vector>(vector.sample(1));
  EXPECT_FLOAT_EQ(v.x, 1);
  EXPECT_FLOAT_EQ(v.y, 15);
  EXPECT_FLOAT_EQ(v.z, 0);

  Track points;
  points.kind = ValueKind::points;
  points.keys = {Key{0, std::vector<Vector>{{0, 0, 0}, {1, 1, 1}}},
                 Key{10, std::vector<Vector>{{10, 0, 0}, {1, 11, -9}}}};
  std::vector<Vector> out;
  points.samplePoints(5, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_FLOAT_EQ(out[0].x, 5);
  EXPECT_FLOAT_EQ(out[1].y, 6);
  EXPECT_FLOAT_EQ(out[1].z, -4);
  points.samplePoints(-1, out);
  EXPECT_FLOAT_EQ(out[0].x, 0);
}

// Integers between keys round to the nearest whole number, halves away from
// zero on both sides of it: a straight track from 0 to -8 (and to +8) over 8
// frames passes every quarter exactly, -2.5 among them.
TEST(TrackTest, LinearIntegersRoundHalvesAwayFromZero) {
  for (const int32_t sign : {-1, 1}) {
    Track t;
    t.kind = ValueKind::integer;
    t.interpolation = Interpolation::linear;
    t.keys = {Key{0, int32_t{0}}, Key{8, int32_t{8 * sign}}};
    for (int quarters = 0; quarters <= 32; ++quarters) {
      const int32_t nearest = (quarters + 2) / 4;  // |value| = quarters / 4, a half goes up
      EXPECT_EQ(std::get<int32_t>(t.sample(quarters / 4.0)), sign * nearest)
          << "value " << sign * quarters / 4.0 << " at frame " << quarters / 4.0;
    }
  }
}

// Keys 0, 0, 10: the middle key ends a flat stretch, so its slope is flat;
// the curve neither dips below nor rises above the stretch, and climbs
// without overshooting on the other side. The same mirrored in time and in
// value, and per component of a vector.
TEST(TrackTest, SmoothStaysFlatAlongAStretchOfEqualKeys) {
  const std::vector<std::vector<float>> shapes = {{0, 0, 10}, {10, 0, 0}, {10, 10, 0}, {0, 10, 10}};
  for (const auto& v : shapes) {
    const Track t = realTrack(Interpolation::smooth, {{0, v[0]}, {10, v[1]}, {20, v[2]}});
    const bool flatFirst = v[0] == v[1];
    const float flat = v[1];
    const float low = std::min(v[0], v[2]), high = std::max(v[0], v[2]);
    float previous = at(t, flatFirst ? 10 : 0);
    for (double f = 0; f <= 20; f += 0.125) {
      const float value = at(t, f);
      const bool inFlat = flatFirst ? f <= 10 : f >= 10;
      if (inFlat) {
        EXPECT_EQ(value, flat) << "keys " << v[0] << ", " << v[1] << ", " << v[2] << " at frame " << f;
        continue;
      }
      EXPECT_GE(value, low) << "at frame " << f;
      EXPECT_LE(value, high) << "at frame " << f;
      // Monotone between the two different values.
      const bool rising = flatFirst ? v[2] > v[1] : v[1] > v[0];
      if (f > (flatFirst ? 10 : 0)) {
        EXPECT_TRUE(rising ? value >= previous : value <= previous) << "at frame " << f;
      }
      previous = value;
    }
  }
  // Each component on its own: x is flat over the first stretch, z over the
  // second, whatever the other component does there.
  Track vector;
  vector.kind = ValueKind::vector;
  vector.interpolation = Interpolation::smooth;
  vector.keys = {Key{0, Vector(0, 0, 0)}, Key{10, Vector(0, 0, 3)}, Key{20, Vector(10, 0, 3)}};
  for (double f = 0; f <= 20; f += 0.25) {
    const Vector p = std::get<Vector>(vector.sample(f));
    if (f <= 10) {
      EXPECT_EQ(p.x, 0.0f) << f;
      EXPECT_TRUE(p.z >= 0.0f && p.z <= 3.0f) << f << ": " << p.z;
    } else {
      EXPECT_EQ(p.z, 3.0f) << f;
      EXPECT_TRUE(p.x >= 0.0f && p.x <= 10.0f) << f << ": " << p.x;
    }
  }
}

}  // namespace
