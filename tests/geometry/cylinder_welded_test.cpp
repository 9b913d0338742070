// The cylinder built welded directly, against its pieces welded by
// OptimizeMesh (the oracle): the same points, bit for bit, and the same
// polygons, wherever the direct build applies; where the welding would join
// more than the seam, the direct build must step aside.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "cylinder_welded.h"
#include "mesh_primitives.h"

namespace kurvo::geo {
namespace {

struct Case {
  float radius, height;
  int32_t around, along;
  bool caps;
};

std::ostream& operator<<(std::ostream& out, const Case& c) {
  return out << "radius " << c.radius << " height " << c.height << " segments " << c.around << " x " << c.along
             << (c.caps ? " with caps" : " open");
}

Mesh Oracle(const Case& c) {
  return Weld(MakeCylinderPieces(c.radius, c.height, c.around, c.along, c.caps),
              std::max(std::fabs(c.radius), std::fabs(c.height)));
}

std::optional<Mesh> Direct(const Case& c) {
  const float tolerance = WeldTolerance(std::max(std::fabs(c.radius), std::fabs(c.height)));
  return MakeCylinderWelded(c.radius, c.height, c.around, c.along, c.caps, tolerance);
}

void ExpectSame(const Mesh& got, const Mesh& want, const Case& c) {
  ASSERT_EQ(got.points.size(), want.points.size()) << c;
  ASSERT_EQ(got.polygons.size(), want.polygons.size()) << c;
  for (size_t i = 0; i < got.points.size(); ++i)
    ASSERT_EQ(std::memcmp(&got.points[i], &want.points[i], sizeof(Vector)), 0)
        << c << ": point " << i << " " << got.points[i] << " != " << want.points[i];
  for (size_t i = 0; i < got.polygons.size(); ++i) ASSERT_EQ(got.polygons[i], want.polygons[i]) << c << ": polygon " << i;
}

// MakeCylinder gives the oracle's mesh; returns whether it was built directly.
bool CheckCase(const Case& c) {
  const Mesh want = Oracle(c);
  ExpectSame(MakeCylinder(c.radius, c.height, c.around, c.along, c.caps), want, c);
  const std::optional<Mesh> direct = Direct(c);
  if (direct) ExpectSame(*direct, want, c);
  return direct.has_value();
}

TEST(CylinderWelded, MatchesTheWeldedPiecesOverSizesAndCounts) {
  int direct = 0, total = 0;
  for (const float radius : {5.0f, 0.25f, 50.0f, 1e4f, -3.0f})
    for (const float height : {400.0f, 0.5f, 1.0f, 3e5f, -20.0f})
      for (const int32_t around : {3, 4, 5, 7, 16, 257})
        for (const int32_t along : {1, 2, 3, 10, 97})
          for (const bool caps : {false, true}) {
            direct += CheckCase({radius, height, around, along, caps}) ? 1 : 0;
            ++total;
          }
  // The ordinary sizes are built directly; the sweep must exercise that path.
  EXPECT_GT(direct, total * 3 / 4);
  EXPECT_TRUE(CheckCase({5.0f, 400.0f, 1000, 999, true}));
  EXPECT_TRUE(Direct({5.0f, 400.0f, 100, 9999, false})) << "the tube of the end-to-end benchmark";
}

TEST(CylinderWelded, MatchesTheWeldedPiecesOnRandomCylinders) {
  std::mt19937 random(20261209);
  std::uniform_real_distribution<float> exponent(-6.0f, 6.0f);
  std::uniform_int_distribution<int32_t> around(3, 80), along(1, 60);
  int direct = 0;
  for (int k = 0; k < 1500; ++k) {
    const Case c{std::pow(10.0f, exponent(random)), std::pow(10.0f, exponent(random)), around(random), along(random),
                 (k & 1) != 0};
    direct += CheckCase(c) ? 1 : 0;
  }
  EXPECT_GT(direct, 100);
}

// Where the welding joins more than the seam (a ring or rows closer than the
// tolerance, no height, a radius at the tolerance), or where sizes are not
// finite, the pieces are welded as before.
TEST(CylinderWelded, StepsAsideWhereTheWeldingJoinsMore) {
  const float inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
  const Case degenerate[] = {
      {1.0f, 0.0f, 16, 4, false},      {1.0f, 0.0f, 16, 4, true},     {0.0f, 10.0f, 16, 4, true},
      {1e-30f, 1.0f, 8, 2, true},      {1e-6f, 1.0f, 3, 1, false},    {1e-5f, 1.0f, 5, 2, true},
      {1.0f, 1.0f, 700000, 1, false},  {1.0f, 1.0f, 3, 200000, false}, {1.0f, 1e-3f, 8, 500, true},
      {inf, 1.0f, 8, 2, true},         {1.0f, inf, 8, 2, false},      {nan, 1.0f, 8, 2, true},
      {1.0f, nan, 8, 2, true},         {1e-40f, 1e-40f, 4, 2, true},
  };
  for (const Case& c : degenerate) {
    EXPECT_FALSE(Direct(c)) << c;
    CheckCase(c);
  }
}

// Sizes around the edge of the rule: the radius at which neighbouring rim
// points, or the cap's centre and its rim, come within the tolerance, and
// rows at about the tolerance apart. Built directly or not, the result is
// the oracle's.
TEST(CylinderWelded, MatchesTheWeldedPiecesAtTheEdgeOfTheTolerance) {
  for (const int32_t around : {3, 4, 6, 50})
    for (const bool caps : {false, true}) {
      // Height 1 gives the tolerance 1e-5 while the radius stays below 1.
      const double chordEdge = 1e-5 / (2.0 * std::sin(3.14159265358979323846 / around));
      for (const double edge : {chordEdge, 1e-5})
        for (int k = -40; k <= 40; ++k)
          CheckCase({static_cast<float>(edge * (1.0 + k * 2e-7)), 1.0f, around, 2, caps});
    }
  for (const int32_t along : {99990, 99999, 100000, 100001, 100010}) CheckCase({1.0f, 1.0f, 3, along, true});
}

}  // namespace
}  // namespace kurvo::geo
