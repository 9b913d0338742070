#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <utility>

#include "mesh_primitives.h"

namespace kurvo::geo {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Signed volume: positive when the polygons face outwards.
double Volume(const Mesh& m) {
  double v = 0.0;
  const auto tri = [&](int a, int b, int c) {
    v += Dot(m.points[a], Cross(m.points[b], m.points[c])) / 6.0;
  };
  for (const Polygon& p : m.polygons) {
    tri(p.a, p.b, p.c);
    if (!p.IsTriangle()) tri(p.a, p.c, p.d);
  }
  return v;
}

// Every directed edge once, and its reverse once: closed and consistently wound.
void ExpectClosed(const Mesh& m) {
  std::map<std::pair<int, int>, int> edges;
  for (const Polygon& p : m.polygons) {
    const int c[4] = {p.a, p.b, p.c, p.d};
    const int n = p.IsTriangle() ? 3 : 4;
    for (int k = 0; k < n; ++k) ++edges[{c[k], c[(k + 1) % n]}];
  }
  for (const auto& [edge, count] : edges) {
    EXPECT_EQ(count, 1) << "edge " << edge.first << "-" << edge.second;
    EXPECT_EQ(edges.count({edge.second, edge.first}), 1u) << "edge " << edge.first << "-" << edge.second;
  }
}

TEST(MeshPrimitives, PlaneFacesUp) {
  const Mesh m = MakePlane(4.0f, 6.0f, 2, 3);
  EXPECT_EQ(m.points.size(), 12u);
  ASSERT_EQ(m.polygons.size(), 6u);
  for (const Polygon& p : m.polygons) {
    const Vector n = Cross(m.points[p.b] - m.points[p.a], m.points[p.c] - m.points[p.a]);
    EXPECT_GT(n.y, 0.0f);
  }
  for (const Vector& p : m.points) {
    EXPECT_LE(std::fabs(p.x), 2.0f);
    EXPECT_LE(std::fabs(p.z), 3.0f);
  }
}

TEST(MeshPrimitives, CubeIsClosedAndOutward) {
  const Mesh one = MakeCube(Vector(2, 3, 4), 1, 1, 1);
  EXPECT_EQ(one.points.size(), 8u);
  EXPECT_EQ(one.polygons.size(), 6u);
  ExpectClosed(one);
  EXPECT_NEAR(Volume(one), 24.0, 1e-4);

  const Mesh many = MakeCube(Vector(2, 3, 4), 3, 2, 5);
  // Points on the surface of a 4 x 3 x 6 lattice of grid lines.
  EXPECT_EQ(many.points.size(), static_cast<size_t>(4 * 3 * 6 - 2 * 1 * 4));
  EXPECT_EQ(many.polygons.size(), static_cast<size_t>(2 * (3 * 2 + 2 * 5 + 3 * 5)));
  ExpectClosed(many);
  EXPECT_NEAR(Volume(many), 24.0, 1e-4);
}

TEST(MeshPrimitives, CylinderAndSphereAreClosedAndOutward) {
  const Mesh tube = MakeCylinder(2.0f, 10.0f, 16, 4, false);
  EXPECT_EQ(tube.points.size(), 16u * 5u);
  EXPECT_EQ(tube.polygons.size(), 16u * 4u);
  for (const Vector& p : tube.points) EXPECT_NEAR(std::hypot(p.x, p.y), 2.0f, 1e-5f);

  const Mesh cyl = MakeCylinder(2.0f, 10.0f, 16, 4, true);
  ExpectClosed(cyl);
  const double prism = 0.5 * 16 * 4.0 * std::sin(2 * kPi / 16) * 10.0;  // inscribed 16-gon times height
  EXPECT_NEAR(Volume(cyl), prism, 1e-3 * prism);

  const Mesh ball = MakeSphere(3.0f, 12, 8);
  EXPECT_EQ(ball.points.size(), 12u * 7u + 2u);
  ExpectClosed(ball);
  const double v = Volume(ball), sphere = 4.0 / 3.0 * kPi * 27.0;
  EXPECT_GT(v, 0.85 * sphere);
  EXPECT_LT(v, sphere);
  for (const Vector& p : ball.points) EXPECT_NEAR(Len(p), 3.0f, 1e-5f);
}

}  // namespace
}  // namespace kurvo::geo
