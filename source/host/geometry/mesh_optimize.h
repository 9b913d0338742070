// Mesh clean-up behind the host's optimize command: merge points that lie
// within a tolerance of each other, drop polygons that collapsed, drop points
// that no polygon uses.
//
// Polygons are quads of point indices (a, b, c, d); a triangle repeats its
// third corner (c == d).
//
// Rules, applied in this order:
//  1. Merging (mergePoints): points are visited in index order; a point within
//     `tolerance` (distance <= tolerance, so 0 merges exact duplicates) of an
//     earlier kept point becomes that point, which keeps its position. Points
//     with a non-finite coordinate are never merged. Neighbours are found
//     through grid cells one tolerance wide: a point's candidates are the kept
//     points of the 27 cells around its own (of its own cell when exact).
//  2. Polygons (dropDegenerate): after re-indexing, a polygon whose corners
//     name fewer than three distinct points is dropped; a quad with exactly
//     three distinct corners becomes the triangle of them, in order (a, b, c, c).
//     Without this switch polygons are only re-indexed.
//  3. Unused points (dropUnused): points that no remaining polygon names are
//     dropped. A mesh without polygons (a spline, a point cloud) keeps all its
//     points: its points are the object.
// Polygons naming a point index outside the point array are dropped whatever
// the switches, so the result never holds a dangling index.
// The result is deterministic: kept points and polygons stay in their order.
#ifndef KURVO_GEO_MESH_OPTIMIZE_H
#define KURVO_GEO_MESH_OPTIMIZE_H

#include <cstdint>
#include <vector>

#include "vector.h"

namespace kurvo::geo {

struct Polygon {
  int32_t a = 0, b = 0, c = 0, d = 0;
  bool IsTriangle() const { return c == d; }
  bool operator==(const Polygon&) const = default;
};

struct OptimizeOptions {
  float tolerance = 0.01f;
  bool mergePoints = true;
  bool dropDegenerate = true;
  bool dropUnused = true;
};

struct OptimizeResult {
  std::vector<Vector> points;
  std::vector<Polygon> polygons;
  // For every old point, its index in `points`, or -1 when it was dropped.
  std::vector<int32_t> pointMap;
};

OptimizeResult OptimizeMesh(const std::vector<Vector>& points, const std::vector<Polygon>& polygons,
                            const OptimizeOptions& options);

}  // namespace kurvo::geo

#endif
