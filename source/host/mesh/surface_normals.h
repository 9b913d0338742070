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
// polygons (mesh_polygons()), with the winding the mesh gives. Unused points are left out.
NormalSplit split_by_normals(const Mesh& mesh, NormalStyle style);

// The same vertices without the triangle list (at three or six indices a
// polygon, the largest part), for a writer that makes the triangles as it
// writes them.
struct VertexLayout {
  static constexpr uint32_t kPerCorner = UINT32_MAX;
  std::vector<uint32_t> source_point;  // as NormalSplit
  std::vector<Vector> normals;         // as NormalSplit
  // Per point, the one vertex all its corners use, or kPerCorner when its
  // corners have vertices of their own: those are in corner_vertex, four
  // per polygon (a, b, c, d), which is empty when no point needs it.
  std::vector<uint32_t> point_vertex;
  std::vector<uint32_t> corner_vertex;

  static size_t triangle_indices(const std::vector<Polygon>& polygons);
  // Appends polygon f's triangles, three or six vertex indices, as
  // NormalSplit::triangles has them.
  void append_triangles(const std::vector<Polygon>& polygons, size_t f, std::vector<uint32_t>& out) const;
};

VertexLayout layout_by_normals(const Mesh& mesh, NormalStyle style);
// For the given quads and triangles of the points (mesh_polygons()).
VertexLayout layout_by_normals(const std::vector<Vector>& points, const std::vector<Polygon>& polygons,
                               NormalStyle style);

// For normals given per corner (a mesh's carried normals): `polygon_corners`
// names, four per polygon (DerivedPolygons::corners), the mesh corner whose
// normal in `corner_normals` each polygon corner takes. Corners of one point with the
// same normal share a vertex.
VertexLayout layout_by_given_normals(size_t point_count, const std::vector<Polygon>& polygons,
                                     const std::vector<uint32_t>& polygon_corners,
                                     const CornerNormals& corner_normals);
// For normals made per corner as a list without repeats (the renewed
// normals of a mesh with smoothing groups or authored normals):
// `normal_of_corner` names, per mesh corner, its entry of `normals`; corners
// of one point with the same entry share a vertex.
VertexLayout layout_by_indexed_normals(size_t point_count, const std::vector<Polygon>& polygons,
                                       const std::vector<uint32_t>& polygon_corners,
                                       const std::vector<Vector>& normals,
                                       const std::vector<uint32_t>& normal_of_corner);

// The normals of a layout made by split_by_normals, for new positions of the
// same polygons' points (the later frames of an animation, whose vertices
// must stay those of the first). Each vertex takes the normal that the
// corner which made it gets at the new positions; for the positions the
// layout was made from, that is exactly the layout's own normal.
class LayoutNormals {
 public:
  LayoutNormals(const std::vector<Polygon>& polygons, size_t point_count, const NormalSplit& layout,
                NormalStyle style);
  // `normals` gets one entry per layout vertex.
  void compute(const std::vector<Vector>& points, std::vector<Vector>& normals);

 private:
  const std::vector<Polygon>& polygons_;
  NormalStyle style_;
  std::vector<uint32_t> source_point_, source_face_;  // per vertex
  std::vector<uint32_t> around_start_, around_faces_;  // faces around each point
  std::vector<Vector> weighted_, unit_;                 // per face, reused
};

}  // namespace kurvo::media

#endif
