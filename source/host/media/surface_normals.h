// Vertex normals for writers whose formats carry them (glTF).
//
// Smooth: each corner of a polygon takes the area-weighted mean of the face
// normals around its point, counting only faces that meet the corner's own
// face at less than the crease angle, so a cylinder's side is round while its
// rim and a cube's edges stay sharp. Flat: every corner takes its face's
// normal. Corners of one point that end up with the same normal share one
// output vertex; the others become vertices of their own.
#ifndef KURVO_MEDIA_SURFACE_NORMALS_H
#define KURVO_MEDIA_SURFACE_NORMALS_H

#include <cstdint>
#include <vector>

#include "mesh.h"

namespace kurvo::media {

enum class NormalStyle { smooth, flat };

// Faces meeting at more than this many degrees keep a hard edge.
constexpr float kCreaseAngleDegrees = 40.0f;

struct NormalSplit {
  std::vector<uint32_t> source_point;  // per output vertex, the mesh point it copies
  std::vector<Vector> normals;         // per output vertex, unit length
  std::vector<uint32_t> triangles;     // output vertex indices, three per triangle
};

// Triangles (quads cut along a-c) and per-vertex normals of the mesh's
// polygons, with the winding the mesh gives. Unused points are left out.
NormalSplit split_by_normals(const Mesh& mesh, NormalStyle style);

}  // namespace kurvo::media

#endif
