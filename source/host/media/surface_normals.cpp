#include "surface_normals.h"

#include <cmath>
#include <cstdint>

namespace kurvo::media {
namespace {

constexpr float kSameNormal = 1e-6f;

// Twice the area times the unit normal: summing these weights faces by area.
Vector area_normal(const Mesh& mesh, const Polygon& q) {
  const std::vector<Vector>& p = mesh.points;
  const auto at = [&](int32_t i) { return p[static_cast<size_t>(i)]; };
  Vector n = Cross(at(q.b) - at(q.a), at(q.c) - at(q.a));
  if (!q.is_triangle()) n = n + Cross(at(q.c) - at(q.a), at(q.d) - at(q.a));
  return n;
}

Vector unit_or_up(const Vector& v) {
  const float length = std::sqrt(Dot(v, v));
  if (!(length > 0.0f) || !std::isfinite(length)) return Vector(0.0f, 1.0f, 0.0f);  // a degenerate face
  return v * (1.0f / length);
}

// Polygons around each point, as offsets into one list.
struct PointFaces {
  std::vector<uint32_t> start;
  std::vector<uint32_t> faces;
};

PointFaces faces_around_points(const Mesh& mesh) {
  PointFaces out;
  out.start.assign(mesh.points.size() + 1, 0);
  const auto corners = [](const Polygon& q) { return q.is_triangle() ? 3 : 4; };
  for (const Polygon& q : mesh.polygons) {
    const int32_t c[4] = {q.a, q.b, q.c, q.d};
    for (int k = 0; k < corners(q); ++k) ++out.start[static_cast<size_t>(c[k]) + 1];
  }
  for (size_t i = 1; i < out.start.size(); ++i) out.start[i] += out.start[i - 1];
  out.faces.resize(out.start.back());
  std::vector<uint32_t> fill(out.start.begin(), out.start.end() - 1);
  for (size_t f = 0; f < mesh.polygons.size(); ++f) {
    const Polygon& q = mesh.polygons[f];
    const int32_t c[4] = {q.a, q.b, q.c, q.d};
    for (int k = 0; k < corners(q); ++k) out.faces[fill[static_cast<size_t>(c[k])]++] = static_cast<uint32_t>(f);
  }
  return out;
}

}  // namespace

NormalSplit split_by_normals(const Mesh& mesh, NormalStyle style) {
  NormalSplit out;
  std::vector<Vector> weighted(mesh.polygons.size()), unit(mesh.polygons.size());
  for (size_t f = 0; f < mesh.polygons.size(); ++f) {
    weighted[f] = area_normal(mesh, mesh.polygons[f]);
    unit[f] = unit_or_up(weighted[f]);
  }
  const PointFaces around = style == NormalStyle::smooth ? faces_around_points(mesh) : PointFaces{};
  const float crease = std::cos(kCreaseAngleDegrees * 3.14159265f / 180.0f);

  // Per point, the output vertices made for it so far (usually one), as a
  // list in the order they were made: the first per point, then a link per
  // vertex. Flat arrays: a list object per point costs an allocation each.
  constexpr uint32_t kNone = UINT32_MAX;
  std::vector<uint32_t> first_made(mesh.points.size(), kNone);
  std::vector<uint32_t> next_made;
  next_made.reserve(mesh.points.size());
  out.normals.reserve(mesh.points.size());
  out.source_point.reserve(mesh.points.size());
  const auto vertex_for = [&](int32_t point, const Vector& normal) {
    uint32_t* link = &first_made[static_cast<size_t>(point)];
    // Faces of one plane differ in their normals' last bits only.
    for (; *link != kNone; link = &next_made[*link]) {
      const Vector d = out.normals[*link] - normal;
      if (std::fabs(d.x) <= kSameNormal && std::fabs(d.y) <= kSameNormal && std::fabs(d.z) <= kSameNormal)
        return *link;
    }
    const auto v = static_cast<uint32_t>(out.normals.size());
    out.source_point.push_back(static_cast<uint32_t>(point));
    out.normals.push_back(normal);
    *link = v;  // before the push below, which may move next_made
    next_made.push_back(kNone);
    return v;
  };
  const auto corner_normal = [&](size_t f, int32_t point) {
    if (style == NormalStyle::flat) return unit[f];
    Vector sum(0.0f, 0.0f, 0.0f);
    const auto p = static_cast<size_t>(point);
    for (uint32_t k = around.start[p]; k < around.start[p + 1]; ++k) {
      const uint32_t g = around.faces[k];
      if (Dot(unit[g], unit[f]) >= crease) sum = sum + weighted[g];
    }
    return unit_or_up(sum);
  };

  out.triangles.reserve(mesh.polygons.size() * 6);
  for (size_t f = 0; f < mesh.polygons.size(); ++f) {
    const Polygon& q = mesh.polygons[f];
    const uint32_t a = vertex_for(q.a, corner_normal(f, q.a)), b = vertex_for(q.b, corner_normal(f, q.b)),
                   c = vertex_for(q.c, corner_normal(f, q.c));
    out.triangles.insert(out.triangles.end(), {a, b, c});
    if (!q.is_triangle()) out.triangles.insert(out.triangles.end(), {a, c, vertex_for(q.d, corner_normal(f, q.d))});
  }
  return out;
}

}  // namespace kurvo::media
