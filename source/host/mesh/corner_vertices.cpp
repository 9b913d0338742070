#include "corner_vertices.h"

#include "flat_normals.h"

namespace kurvo::media {

CornerVertices split_corner_vertices(const Mesh& mesh, const std::vector<uint32_t>& uv_of_corner,
                                     const std::vector<uint32_t>& normal_of_corner) {
  constexpr uint32_t kNone = CornerVertices::kNone;
  const size_t points = mesh.points.size();
  CornerVertices out;
  out.point.resize(points);
  for (size_t p = 0; p < points; ++p) out.point[p] = uint32_t(p);
  out.uv.assign(points, kNone);
  out.normal.assign(points, kNone);
  out.corner_vertex.resize(mesh.corners.size());
  std::vector<bool> taken(points, false);
  // Extra vertices of a point, chained from the point: next[v - points].
  std::vector<uint32_t> first_extra(points, kNone), next;
  for (size_t c = 0; c < mesh.corners.size(); ++c) {
    const auto p = uint32_t(mesh.corners[c]);
    const uint32_t uv = uv_of_corner.empty() ? kNone : uv_of_corner[c];
    const uint32_t normal = normal_of_corner.empty() ? kNone : normal_of_corner[c];
    if (!taken[p]) {
      taken[p] = true;
      out.uv[p] = uv;
      out.normal[p] = normal;
      out.corner_vertex[c] = p;
      continue;
    }
    if (out.uv[p] == uv && out.normal[p] == normal) {
      out.corner_vertex[c] = p;
      continue;
    }
    uint32_t previous = kNone, vertex = first_extra[p];
    while (vertex != kNone && !(out.uv[vertex] == uv && out.normal[vertex] == normal)) {
      previous = vertex;
      vertex = next[vertex - points];
    }
    if (vertex == kNone) {
      vertex = uint32_t(out.point.size());
      (previous == kNone ? first_extra[p] : next[previous - points]) = vertex;
      out.point.push_back(p);
      out.uv.push_back(uv);
      out.normal.push_back(normal);
      next.push_back(kNone);
    }
    out.corner_vertex[c] = vertex;
  }
  return out;
}

IndexedNormals writer_normals(const Mesh& mesh, NormalStyle style) {
  if (style != NormalStyle::flat && mesh.keep_corner_normals && mesh.corner_normals.size() == mesh.corners.size())
    return shared_corner_normals(mesh);
  if (style != NormalStyle::flat) return renew_normals(mesh);
  return flat_normals(mesh);
}

}  // namespace kurvo::media
