#include <gtest/gtest.h>

#include <cmath>
#include <limits>
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

}  // namespace
}  // namespace kurvo::geo
