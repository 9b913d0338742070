#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <tuple>
#include <vector>

#include "geometry_test_util.h"
#include "mesh_optimize.h"

namespace kurvo::geo {
namespace {

OptimizeOptions Options(float tolerance, bool merge, bool polygons, bool unused) {
  OptimizeOptions o;
  o.tolerance = tolerance;
  o.mergePoints = merge;
  o.dropDegenerate = polygons;
  o.dropUnused = unused;
  return o;
}

TEST(MeshOptimize, MergesSharedEdgeOfTwoQuads) {
  // Two unit quads side by side, each with its own copy of the shared edge.
  const std::vector<Vector> pts = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                   {1.001f, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 0.999f, 0}};
  const std::vector<Polygon> polys = {{0, 1, 2, 3}, {4, 5, 6, 7}};
  const OptimizeResult r = OptimizeMesh(pts, polys, Options(0.01f, true, true, true));
  ASSERT_EQ(r.points.size(), 6u);
  EXPECT_EQ(r.pointMap, (std::vector<int32_t>{0, 1, 2, 3, 1, 4, 5, 2}));
  EXPECT_EQ(r.points[1], Vector(1, 0, 0)) << "the earlier point keeps its place";
  EXPECT_EQ(r.polygons[1], (Polygon{1, 4, 5, 2}));

  // A tolerance below the gap merges nothing.
  EXPECT_EQ(OptimizeMesh(pts, polys, Options(0.0005f, true, true, true)).points.size(), 8u);
  // Merging switched off: only the unused-point rule applies (nothing unused here).
  EXPECT_EQ(OptimizeMesh(pts, polys, Options(1.0f, false, true, true)).points.size(), 8u);
}

TEST(MeshOptimize, ZeroToleranceMergesExactDuplicatesOnly) {
  const std::vector<Vector> pts = {{1, 2, 3}, {1, 2, 3}, {1, 2, 3.0000005f}, {-0.0f, 0, 0}, {0.0f, 0, 0}};
  const OptimizeResult r = OptimizeMesh(pts, {}, Options(0.0f, true, true, true));
  EXPECT_EQ(r.pointMap, (std::vector<int32_t>{0, 0, 1, 2, 2}));
}

TEST(MeshOptimize, CollapsedPolygonsBecomeTrianglesOrGo) {
  const std::vector<Vector> pts = {{0, 0, 0}, {0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {5, 5, 5}};
  const std::vector<Polygon> polys = {
      {0, 1, 2, 3},  // one edge collapses: a triangle remains
      {0, 1, 2, 2},  // a triangle with a collapsed edge: a line, dropped
      {0, 2, 3, 3},  // a proper triangle, untouched
      {0, 1, 1, 0},  // a point, dropped
  };
  const OptimizeResult r = OptimizeMesh(pts, polys, Options(0.001f, true, true, true));
  ASSERT_EQ(r.polygons.size(), 2u);
  EXPECT_EQ(r.polygons[0], (Polygon{0, 1, 2, 2}));
  EXPECT_TRUE(r.polygons[0].IsTriangle());
  EXPECT_EQ(r.polygons[1], (Polygon{0, 1, 2, 2}));
  EXPECT_EQ(r.points.size(), 3u) << "point 4 is unused";
  EXPECT_EQ(r.pointMap[4], -1);

  // Without the polygon switch collapsed polygons stay, re-indexed.
  const OptimizeResult keep = OptimizeMesh(pts, polys, Options(0.001f, true, false, false));
  ASSERT_EQ(keep.polygons.size(), 4u);
  EXPECT_EQ(keep.polygons[3], (Polygon{0, 0, 0, 0}));
  EXPECT_EQ(keep.points.size(), 4u);
}

TEST(MeshOptimize, UnusedPointsAndPolygonlessMeshes) {
  const std::vector<Vector> pts = {{0, 0, 0}, {9, 9, 9}, {1, 0, 0}, {0, 1, 0}};
  const OptimizeResult r = OptimizeMesh(pts, {{0, 2, 3, 3}}, Options(0.01f, true, true, true));
  EXPECT_EQ(r.points.size(), 3u);
  EXPECT_EQ(r.pointMap, (std::vector<int32_t>{0, -1, 1, 2}));
  EXPECT_EQ(r.polygons[0], (Polygon{0, 1, 2, 2}));

  // A spline or point cloud has no polygons: its points are all kept.
  EXPECT_EQ(OptimizeMesh(pts, {}, Options(0.01f, true, true, true)).points.size(), 4u);
}

TEST(MeshOptimize, BadIndicesAndNonFinitePoints) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<Vector> pts = {{nan, 0, 0}, {nan, 0, 0}, {0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  const std::vector<Polygon> polys = {{2, 3, 4, 4}, {2, 3, 9, 9}, {-1, 2, 3, 3}};
  const OptimizeResult r = OptimizeMesh(pts, polys, Options(1e6f, true, false, false));
  EXPECT_EQ(r.polygons.size(), 1u) << "polygons naming missing points are dropped";
  EXPECT_EQ(r.pointMap[0], 0);
  EXPECT_EQ(r.pointMap[1], 1) << "non-finite points never merge";
  EXPECT_EQ(r.pointMap[3], 2) << "within a huge tolerance the finite points merge";
  EXPECT_EQ(r.pointMap[4], 2);
}

// Reference: the same greedy rule, by comparing every pair.
std::vector<int32_t> BruteForceTargets(const std::vector<Vector>& pts, float tol) {
  std::vector<int32_t> target(pts.size());
  for (size_t i = 0; i < pts.size(); ++i) {
    target[i] = static_cast<int32_t>(i);
    for (size_t j = 0; j < i; ++j) {
      if (target[j] != static_cast<int32_t>(j)) continue;
      const double dx = double(pts[i].x) - pts[j].x, dy = double(pts[i].y) - pts[j].y, dz = double(pts[i].z) - pts[j].z;
      if (dx * dx + dy * dy + dz * dz <= double(tol) * tol) {
        target[i] = static_cast<int32_t>(j);
        break;
      }
    }
  }
  return target;
}

TEST(MeshOptimize, SpatialHashMatchesBruteForce) {
  Random r;
  r.Init(8u);
  for (int trial = 0; trial < 10; ++trial) {
    const float tol = 0.05f + 0.2f * r.Get01();
    std::vector<Vector> pts;
    for (int i = 0; i < 600; ++i) {
      // Clusters around a few centres so that many pairs lie near the tolerance.
      const Vector centre(static_cast<float>(i % 7), static_cast<float>(i % 3), 0.0f);
      pts.push_back(centre + test::RandomVector(r, 0.3f));
    }
    const std::vector<int32_t> expected = BruteForceTargets(pts, tol);
    const OptimizeResult res = OptimizeMesh(pts, {}, Options(tol, true, true, true));
    // Map back through the kept points: each point lands on its reference target.
    for (size_t i = 0; i < pts.size(); ++i)
      ASSERT_EQ(res.points[res.pointMap[i]], pts[expected[i]]) << "trial " << trial << " point " << i;
  }
}

// Reference for the cell rule itself: every kept point listed under its own
// cell (one tolerance wide, or the exact bits of the coordinates when the
// tolerance is 0), a point merging into the earliest kept point within the
// tolerance among the 27 cells around its own. The same cell arithmetic as
// the welding, with a plain map instead of its block lists.
std::vector<int32_t> CellReferenceTargets(const std::vector<Vector>& pts, float tolerance) {
  const bool exact = !(tolerance > 0.0f);
  const double tol = exact ? 0.0 : double(tolerance);
  const auto coord = [&](float v) -> int64_t {
    if (exact) {
      const float positiveZero = v + 0.0f;
      int32_t bits;
      std::memcpy(&bits, &positiveZero, sizeof bits);
      return bits;
    }
    const double c = std::floor(double(v) / tol);
    return static_cast<int64_t>(c < -4.0e18 ? -4.0e18 : (c > 4.0e18 ? 4.0e18 : c));
  };
  std::map<std::tuple<int64_t, int64_t, int64_t>, std::vector<int32_t>> cells;
  std::vector<int32_t> target(pts.size());
  const int reach = exact ? 0 : 1;
  for (size_t i = 0; i < pts.size(); ++i) {
    target[i] = static_cast<int32_t>(i);
    const Vector& p = pts[i];
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) continue;
    const int64_t x = coord(p.x), y = coord(p.y), z = coord(p.z);
    int32_t found = -1;
    for (int dx = -reach; dx <= reach; ++dx)
      for (int dy = -reach; dy <= reach; ++dy)
        for (int dz = -reach; dz <= reach; ++dz) {
          const auto it = cells.find({x + dx, y + dy, z + dz});
          if (it == cells.end()) continue;
          for (int32_t j : it->second) {
            const double ex = double(p.x) - pts[j].x, ey = double(p.y) - pts[j].y, ez = double(p.z) - pts[j].z;
            if (ex * ex + ey * ey + ez * ez <= tol * tol && (found < 0 || j < found)) found = j;
          }
        }
    if (found >= 0)
      target[i] = found;
    else
      cells[{x, y, z}].push_back(static_cast<int32_t>(i));
  }
  return target;
}

// The point map OptimizeMesh gives for merge targets on a mesh without polygons.
std::vector<int32_t> PointMapOf(const std::vector<int32_t>& target) {
  std::vector<int32_t> index(target.size(), -1), map(target.size());
  int32_t kept = 0;
  for (size_t i = 0; i < target.size(); ++i)
    if (target[i] == static_cast<int32_t>(i)) index[i] = kept++;
  for (size_t i = 0; i < target.size(); ++i) map[i] = index[target[i]];
  return map;
}

void ExpectCellRule(const std::vector<Vector>& pts, float tol, const char* what) {
  const OptimizeResult r = OptimizeMesh(pts, {}, Options(tol, true, true, true));
  EXPECT_EQ(r.pointMap, PointMapOf(CellReferenceTargets(pts, tol))) << what << ", tolerance " << tol;
}

// Points on cell borders and on the borders of the groups of cells the
// welding looks up together, on both sides of 0, a float step apart.
TEST(MeshOptimize, CellBordersFollowTheCellRule) {
  for (const float tol : {0.25f, 0.1f, 1e-5f * 400.0f}) {
    std::vector<Vector> pts;
    for (int k = -9; k <= 9; ++k) {
      const float at = static_cast<float>(k) * tol;
      for (const float v : {at, std::nextafter(at, -1e9f), std::nextafter(at, 1e9f)}) {
        pts.push_back({v, 0, 0});
        pts.push_back({0, v, -v});
        pts.push_back({v, v, v});
        pts.push_back({-v, 0.5f * tol, v});
      }
    }
    ExpectCellRule(pts, tol, "cell borders");
    std::vector<Vector> reversed(pts.rbegin(), pts.rend());
    ExpectCellRule(reversed, tol, "cell borders, reversed");
  }
}

TEST(MeshOptimize, RandomCloudsFollowTheCellRule) {
  Random r;
  r.Init(21u);
  for (int trial = 0; trial < 8; ++trial) {
    const float tol = 0.02f + 0.3f * r.Get01();
    std::vector<Vector> pts;
    for (int i = 0; i < 3000; ++i) {  // dense enough that blocks hold several kept points
      Vector p = test::RandomVector(r, 2.0f);
      if (i % 5 == 0) p = Vector(std::round(p.x / tol) * tol, std::round(p.y / tol) * tol, p.z);  // on borders
      pts.push_back(p);
    }
    ExpectCellRule(pts, tol, "random cloud");
  }
}

TEST(MeshOptimize, SignedZerosNonFiniteAndHugeCoordinates) {
  const float nan = std::numeric_limits<float>::quiet_NaN(), inf = std::numeric_limits<float>::infinity();
  const float big = 3.0e38f;
  const std::vector<Vector> pts = {{-0.0f, 0, -0.0f}, {nan, 0, 0},  {0.0f, -0.0f, 0}, {inf, 0, 0},
                                   {0, nan, 0},       {big, 0, 0},  {big, 0, 0},      {-big, -big, big},
                                   {-big, -big, big}, {nan, 0, 0},  {0, 0, -inf},     {1e-30f, 0, 0}};
  for (const float tol : {0.0f, 1e-6f, 0.5f}) ExpectCellRule(pts, tol, "zeros, non-finite, huge");

  const OptimizeResult exact = OptimizeMesh(pts, {}, Options(0.0f, true, true, true));
  EXPECT_EQ(exact.pointMap[2], exact.pointMap[0]) << "-0 and +0 are the same place";
  EXPECT_NE(exact.pointMap[9], exact.pointMap[1]) << "NaN points never merge";
  EXPECT_EQ(exact.pointMap[6], exact.pointMap[5]);
  EXPECT_NE(exact.pointMap[11], exact.pointMap[0]) << "exact merging: a tiny offset is another place";
}

}  // namespace
}  // namespace kurvo::geo
