#include "mesh.h"

#include <algorithm>
#include <cmath>

#include "core/task_pool.h"
#include "polygon_split.h"

namespace kurvo::media {

CornerNormals CornerNormals::per_corner(std::vector<Vector> normals) {
  CornerNormals out;
  out.index.resize(normals.size());
  for (size_t c = 0; c < normals.size(); ++c) out.index[c] = static_cast<int32_t>(c);
  out.values = std::move(normals);
  return out;
}

std::vector<Vector> CornerNormals::per_corner_list() const {
  std::vector<Vector> out;
  out.reserve(index.size());
  for (const int32_t i : index) out.push_back(values[size_t(i)]);
  return out;
}

void Mesh::clear_faces() {
  corners.clear();
  face_start.assign(1, 0);
  uv_sets.clear();
  corner_normals.clear();
  keep_corner_normals = false;
  face_material.clear();
  face_smooth_group.clear();
  face_group.clear();
}

bool same_material(const Material& a, const Material& b) {
  const bool same_image = a.base_colour_image == b.base_colour_image ||
                          (a.base_colour_image && b.base_colour_image && *a.base_colour_image == *b.base_colour_image);
  return a.name == b.name && a.base_colour == b.base_colour && a.opacity == b.opacity &&
         a.base_colour_texture == b.base_colour_texture && same_image && a.metallic == b.metallic &&
         a.roughness == b.roughness;
}

void reverse_faces(Mesh& mesh) {
  // Runs of faces at once on the host's task pool.
  constexpr size_t kFacesPerTask = 65536;
  const size_t faces = mesh.face_count();
  host::TaskPool::shared().forEach((faces + kFacesPerTask - 1) / kFacesPerTask, [&](size_t task) {
    const size_t first = task * kFacesPerTask, last = std::min(faces, first + kFacesPerTask);
    const auto reverse = [&](auto& list) {
      for (size_t f = first; f < last; ++f)
        std::reverse(list.begin() + mesh.face_start[f] + 1, list.begin() + mesh.face_start[f + 1]);
    };
    reverse(mesh.corners);
    for (UvSet& set : mesh.uv_sets) reverse(set.uvs);
    if (!mesh.corner_normals.empty()) reverse(mesh.corner_normals.index);
  });
}

DerivedPolygons derive_polygons(const Mesh& mesh) {
  DerivedPolygons out;
  const size_t faces = mesh.face_count();
  out.polygons.reserve(faces);
  out.face.reserve(faces);
  out.corners.reserve(4 * faces);
  std::vector<uint32_t> triangles;
  for (size_t f = 0; f < faces; ++f) {
    const uint32_t first = mesh.face_start[f];
    const std::span<const int32_t> c = mesh.face(f);
    const auto face = static_cast<uint32_t>(f);
    if (c.size() == 3 || c.size() == 4) {
      const bool quad = c.size() == 4;
      out.polygons.push_back(Polygon{c[0], c[1], c[2], quad ? c[3] : c[2]});
      out.face.push_back(face);
      out.corners.insert(out.corners.end(), {first, first + 1, first + 2, first + (quad ? 3u : 2u)});
      continue;
    }
    triangles.clear();
    if (!triangulate_face(mesh.points, c, triangles)) continue;
    for (size_t t = 0; t < triangles.size(); t += 3) {
      const uint32_t a = triangles[t], b = triangles[t + 1], d = triangles[t + 2];
      out.polygons.push_back(make_triangle(c[a], c[b], c[d]));
      out.face.push_back(face);
      out.corners.insert(out.corners.end(), {first + a, first + b, first + d, first + d});
    }
  }
  return out;
}

std::vector<Polygon> mesh_polygons(const Mesh& mesh) {
  if (faces_are_polygons(mesh)) {
    std::vector<Polygon> out;
    out.reserve(mesh.face_count());
    for (size_t f = 0; f < mesh.face_count(); ++f) {
      const std::span<const int32_t> c = mesh.face(f);
      if (c.size() == 3) out.push_back(make_triangle(c[0], c[1], c[2]));
      else if (c.size() == 4) out.push_back(Polygon{c[0], c[1], c[2], c[3]});
    }
    return out;
  }
  return derive_polygons(mesh).polygons;
}

bool faces_are_polygons(const Mesh& mesh) {
  for (size_t f = 0; f < mesh.face_count(); ++f)
    if (mesh.face_size(f) > 4) return false;
  return true;
}

Bounds mesh_bounds(const Mesh& mesh) {
  Bounds b;
  for (const Vector& p : mesh.points) b.add(p);
  return b;
}

std::string check_mesh(const Mesh& mesh) {
  const std::string who = "mesh '" + mesh.name + "': ";
  const auto count = static_cast<int64_t>(mesh.points.size());
  for (size_t i = 0; i < mesh.points.size(); ++i) {
    const Vector& p = mesh.points[i];
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
      return who + "point " + std::to_string(i) + " is not a finite number";
  }
  if (mesh.face_start.empty() || mesh.face_start.front() != 0 || mesh.face_start.back() != mesh.corners.size())
    return who + "the face list does not cover its corners";
  const size_t faces = mesh.face_count();
  for (size_t f = 0; f < faces; ++f) {
    if (mesh.face_start[f + 1] < mesh.face_start[f] + 3)
      return who + "face " + std::to_string(f) + " has fewer than three corners";
    for (int32_t index : mesh.face(f))
      if (index < 0 || index >= count)
        return who + "polygon " + std::to_string(f) + " uses point " + std::to_string(index) + " of " +
               std::to_string(count);
  }
  const size_t corners = mesh.corners.size();
  for (const UvSet& set : mesh.uv_sets)
    if (set.uvs.size() != corners) return who + "UV set '" + set.name + "' does not have one UV per corner";
  if (!mesh.corner_normals.empty() && mesh.corner_normals.size() != corners)
    return who + "normals do not have one per corner";
  for (const int32_t n : mesh.corner_normals.index)
    if (n < 0 || size_t(n) >= mesh.corner_normals.values.size())
      return who + "a corner names normal " + std::to_string(n) + " of " + std::to_string(mesh.corner_normals.values.size());
  if (!mesh.point_colours.empty() && mesh.point_colours.size() != mesh.points.size())
    return who + "colours do not have one per point";
  auto per_face = [&](const std::vector<uint32_t>& list, size_t limit, const char* what) -> std::string {
    if (list.empty()) return {};
    if (list.size() != faces) return who + what + " do not have one per face";
    for (size_t f = 0; f < faces; ++f)
      if (limit && list[f] >= limit)
        return who + "face " + std::to_string(f) + " names " + what + " " + std::to_string(list[f]) + " of " +
               std::to_string(limit);
    return {};
  };
  if (!mesh.face_material.empty() && mesh.materials.empty()) return who + "faces name materials but there are none";
  if (!mesh.face_group.empty() && mesh.group_names.empty()) return who + "faces name groups but there are none";
  for (std::string problem : {per_face(mesh.face_material, mesh.materials.size(), "materials"),
                              per_face(mesh.face_smooth_group, 0, "smoothing groups"),
                              per_face(mesh.face_group, mesh.group_names.size(), "groups")})
    if (!problem.empty()) return problem;
  return {};
}

}  // namespace kurvo::media
