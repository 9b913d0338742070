// Polygon mesh primitives for scenes: plane, cube, cylinder and sphere.
//
// Placement: every primitive is centred on the origin. The plane lies in the
// XZ plane facing +Y; the cylinder and the sphere have their axis along Z
// (the axis the deformer bends along), the cylinder running from -height/2 to
// +height/2. Polygons are quads (a, b, c, d) whose corners run
// counter-clockwise seen from outside, so (b - a) x (c - a) points outwards;
// triangles (caps, sphere poles) repeat their last corner (c == d). Closed
// primitives share their seam and pole points: every edge belongs to exactly
// two polygons. Segment counts below the minimum are raised to it.
#ifndef KURVO_GEO_MESH_PRIMITIVES_H
#define KURVO_GEO_MESH_PRIMITIVES_H

#include <cstdint>
#include <vector>

#include "mesh_optimize.h"
#include "vector.h"

namespace kurvo::geo {

struct Mesh {
  std::vector<Vector> points;
  std::vector<Polygon> polygons;
};

// width along X, depth along Z; at least 1 segment each way.
Mesh MakePlane(float width, float depth, int32_t widthSegments, int32_t depthSegments);

// Box of the given size; `segments` per axis (x, y, z), at least 1 each.
Mesh MakeCube(const Vector& size, int32_t xSegments, int32_t ySegments, int32_t zSegments);

// At least 3 segments around and 1 along the height. Without caps the
// cylinder is an open tube.
Mesh MakeCylinder(float radius, float height, int32_t rotationSegments, int32_t heightSegments, bool caps);

// At least 3 segments around and 2 from pole to pole.
Mesh MakeSphere(float radius, int32_t rotationSegments, int32_t ringSegments);

// The welding behind the closed primitives: their pieces (grids whose seams
// and poles lie on each other, caps with rims of their own) are joined by
// OptimizeMesh with a tolerance of 1e-5 of the primitive's size (`scale`),
// which also turns quads that collapsed at a pole into triangles.
float WeldTolerance(float scale);
Mesh Weld(const Mesh& pieces, float scale);

// The cylinder's pieces before welding. MakeCylinder welds them, or builds
// the welded result directly when it can show that is what the welding gives.
Mesh MakeCylinderPieces(float radius, float height, int32_t rotationSegments, int32_t heightSegments, bool caps);

}  // namespace kurvo::geo

#endif
