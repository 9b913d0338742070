// Vertices for formats that store one UV and one normal per vertex (PLY,
// COLLADA as the import library writes it), made from a mesh that stores them
// per corner.
//
// Corners that share a point and agree on its UV and normal share one
// vertex; a point whose corners disagree (a UV seam, a hard edge) becomes
// one vertex per distinct pair. Point p keeps vertex index p for the first
// pair its corners have, so a mesh without seams keeps its points in order
// and unchanged; the extra vertices follow all the points. A point no face
// uses keeps its vertex, with no UV and no normal (kNone).
#ifndef KURVO_MEDIA_CORNER_VERTICES_H
#define KURVO_MEDIA_CORNER_VERTICES_H

#include <cstdint>
#include <vector>

#include "mesh.h"
#include "normal_renewal.h"
#include "surface_normals.h"

namespace kurvo::media {

struct CornerVertices {
  static constexpr uint32_t kNone = UINT32_MAX;
  std::vector<uint32_t> point;          // per vertex, the mesh point it copies
  std::vector<uint32_t> uv;             // per vertex, index into uvs.values, or kNone
  std::vector<uint32_t> normal;         // per vertex, index into normals.normals, or kNone
  std::vector<uint32_t> corner_vertex;  // per corner of the mesh, its vertex
};

// Either list may be empty (the mesh has no UVs, or no normals are written);
// otherwise each has one entry per corner of the mesh.
CornerVertices split_corner_vertices(const Mesh& mesh, const std::vector<uint32_t>& uv_of_corner,
                                     const std::vector<uint32_t>& normal_of_corner);

// The normals a writer gives the mesh's corners: made again from its points
// keeping its smooth/hard split, or every face's own normal for flat.
IndexedNormals writer_normals(const Mesh& mesh, NormalStyle style);

}  // namespace kurvo::media

#endif
