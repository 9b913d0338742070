#include "surface_normals.h"

#include <cmath>
#include <cstdint>
#include <optional>

namespace kurvo::media {
namespace {

constexpr float kSameNormal = 1e-6f;

// Twice the area times the unit normal: summing these weights faces by area.
Vector area_normal(const std::vector<Vector>& p, const Polygon& q) {
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

int corners(const Polygon& q) { return q.is_triangle() ? 3 : 4; }

// Polygons around each point, as offsets into one list; only the points
// that `wanted` selects get their faces listed.
struct PointFaces {
  std::vector<uint32_t> start;
  std::vector<uint32_t> faces;
};

template <class Wanted>
PointFaces faces_around_points(const std::vector<Polygon>& polygons, size_t point_count, Wanted&& wanted) {
  PointFaces out;
  out.start.assign(point_count + 1, 0);
  for (const Polygon& q : polygons) {
    const int32_t c[4] = {q.a, q.b, q.c, q.d};
    for (int k = 0; k < corners(q); ++k)
      if (wanted(static_cast<size_t>(c[k]))) ++out.start[static_cast<size_t>(c[k]) + 1];
  }
  for (size_t i = 1; i < out.start.size(); ++i) out.start[i] += out.start[i - 1];
  out.faces.resize(out.start.back());
  std::vector<uint32_t> fill(out.start.begin(), out.start.end() - 1);
  for (size_t f = 0; f < polygons.size(); ++f) {
    const Polygon& q = polygons[f];
    const int32_t c[4] = {q.a, q.b, q.c, q.d};
    for (int k = 0; k < corners(q); ++k)
      if (wanted(static_cast<size_t>(c[k]))) out.faces[fill[static_cast<size_t>(c[k])]++] = static_cast<uint32_t>(f);
  }
  return out;
}

PointFaces faces_around_points(const std::vector<Polygon>& polygons, size_t point_count) {
  return faces_around_points(polygons, point_count, [](size_t) { return true; });
}

// Area-weighted and unit normals of every face.
void face_normals(const std::vector<Vector>& points, const std::vector<Polygon>& polygons,
                  std::vector<Vector>& weighted, std::vector<Vector>& unit) {
  weighted.resize(polygons.size());
  unit.resize(polygons.size());
  for (size_t f = 0; f < polygons.size(); ++f) {
    weighted[f] = area_normal(points, polygons[f]);
    unit[f] = unit_or_up(weighted[f]);
  }
}

const float kCrease = std::cos(kCreaseAngleDegrees * 3.14159265f / 180.0f);

// The normal of face f's corner at `point`.
Vector corner_normal(NormalStyle style, const std::vector<uint32_t>& around_start,
                     const std::vector<uint32_t>& around_faces, const std::vector<Vector>& weighted,
                     const std::vector<Vector>& unit, size_t f, int32_t point) {
  if (style == NormalStyle::flat) return unit[f];
  Vector sum(0.0f, 0.0f, 0.0f);
  const auto p = static_cast<size_t>(point);
  for (uint32_t k = around_start[p]; k < around_start[p + 1]; ++k) {
    const uint32_t g = around_faces[k];
    if (Dot(unit[g], unit[f]) >= kCrease) sum = sum + weighted[g];
  }
  return unit_or_up(sum);
}

// Smooth normals per point where no crease meets the point. When every face
// around a point lies within half the crease angle of the point's first
// face, any two of them lie within the crease angle of each other, so every
// corner of the point sums all its faces, in face order: the corners share
// one normal, made once. The half angle is taken a degree short so that the
// rounding of the dot products cannot tip a pair over the crease. Points
// that fail the test get per-corner normals.
const float kWithinHalfCrease = std::cos((kCreaseAngleDegrees / 2.0f - 1.0f) * 3.14159265f / 180.0f);

enum class PointKind : uint8_t { unused, shared, creased };

struct PointNormals {
  std::vector<Vector> normal;  // per shared point, the normal of all its corners
  std::vector<PointKind> kind;
  bool any_creased = false;
};

// Face normals are made on the way, not kept: a mesh's worth of them costs
// more memory than these per-point arrays.
PointNormals smooth_point_normals(const std::vector<Vector>& points, const std::vector<Polygon>& polygons) {
  PointNormals out;
  out.normal.assign(points.size(), Vector(0.0f, 0.0f, 0.0f));  // the sums, until the end
  out.kind.assign(points.size(), PointKind::unused);
  std::vector<Vector> first(points.size());  // unit normal of each point's first face
  for (const Polygon& q : polygons) {
    const Vector weighted = area_normal(points, q), unit = unit_or_up(weighted);
    const int32_t c[4] = {q.a, q.b, q.c, q.d};
    for (int k = 0; k < corners(q); ++k) {
      const auto p = static_cast<size_t>(c[k]);
      out.normal[p] = out.normal[p] + weighted;
      PointKind& kind = out.kind[p];
      if (kind == PointKind::unused) {
        kind = PointKind::shared;
        first[p] = unit;
      } else if (kind == PointKind::shared && !(Dot(unit, first[p]) >= kWithinHalfCrease)) {
        kind = PointKind::creased;
        out.any_creased = true;
      }
    }
  }
  for (size_t p = 0; p < points.size(); ++p)
    if (out.kind[p] == PointKind::shared) out.normal[p] = unit_or_up(out.normal[p]);
  return out;
}

// The faces around the creased points with their normals, made once: a
// point can have thousands of faces (the middle of a fan), each of whose
// corners looks at all of them. The normals are kept per listed face while
// the lists are shorter than the mesh (a few hard edges), else per face of
// the mesh, so that no mesh needs more than one normal pair per face.
struct CreasedFaces {
  PointFaces around;
  bool per_face = false;
  std::vector<Vector> weighted, unit;
};

CreasedFaces creased_faces(const std::vector<Vector>& points, const std::vector<Polygon>& polygons,
                           const PointNormals& shared) {
  CreasedFaces out;
  out.around = faces_around_points(polygons, points.size(),
                                   [&](size_t p) { return shared.kind[p] == PointKind::creased; });
  const std::vector<uint32_t>& listed = out.around.faces;
  out.per_face = listed.size() > polygons.size();
  if (out.per_face) {
    face_normals(points, polygons, out.weighted, out.unit);
    return out;
  }
  out.weighted.resize(listed.size());
  out.unit.resize(listed.size());
  for (size_t k = 0; k < listed.size(); ++k) {
    out.weighted[k] = area_normal(points, polygons[listed[k]]);
    out.unit[k] = unit_or_up(out.weighted[k]);
  }
  return out;
}

// The normal of a corner at a creased point, as corner_normal makes it.
Vector creased_corner_normal(const CreasedFaces& c, const Vector& own_unit, size_t p) {
  // Plain locals and the choice outside the loop: it runs once per face
  // around the point, for every corner of the point.
  const Vector own = own_unit;
  const float crease = kCrease;
  const Vector* unit = c.unit.data();
  const Vector* weighted = c.weighted.data();
  const uint32_t* faces = c.around.faces.data();
  Vector sum(0.0f, 0.0f, 0.0f);
  const uint32_t begin = c.around.start[p], end = c.around.start[p + 1];
  if (c.per_face) {
    for (uint32_t k = begin; k < end; ++k)
      if (Dot(unit[faces[k]], own) >= crease) sum = sum + weighted[faces[k]];
  } else {
    for (uint32_t k = begin; k < end; ++k)
      if (Dot(unit[k], own) >= crease) sum = sum + weighted[k];
  }
  return unit_or_up(sum);
}

}  // namespace

VertexLayout layout_by_normals(const Mesh& mesh, NormalStyle style) {
  return layout_by_normals(mesh.points, mesh_polygons(mesh), style);
}

VertexLayout layout_by_normals(const std::vector<Vector>& points, const std::vector<Polygon>& polygons,
                               NormalStyle style) {
  VertexLayout out;
  const bool smooth = style == NormalStyle::smooth;
  const PointNormals shared = smooth ? smooth_point_normals(points, polygons) : PointNormals{};
  const CreasedFaces around = shared.any_creased ? creased_faces(points, polygons, shared) : CreasedFaces{};
  if (!smooth || shared.any_creased) out.corner_vertex.assign(polygons.size() * 4, VertexLayout::kPerCorner);

  // Per point, the output vertices made for it so far (usually one), as a
  // list in the order they were made: the first per point, then a link per
  // vertex. Flat arrays: a list object per point costs an allocation each.
  // Points whose corners share one normal need no links.
  constexpr uint32_t kNone = UINT32_MAX;
  std::vector<uint32_t> first_made(points.size(), kNone);
  std::vector<uint32_t> next_made;
  out.normals.reserve(points.size());
  out.source_point.reserve(points.size());
  const auto make_vertex = [&](int32_t point, const Vector& normal) {
    out.source_point.push_back(static_cast<uint32_t>(point));
    out.normals.push_back(normal);
    return static_cast<uint32_t>(out.normals.size() - 1);
  };
  const auto vertex_for = [&](int32_t point, const Vector& normal) {
    uint32_t* link = &first_made[static_cast<size_t>(point)];
    // Faces of one plane differ in their normals' last bits only.
    for (; *link != kNone; link = &next_made[*link]) {
      const Vector d = out.normals[*link] - normal;
      if (std::fabs(d.x) <= kSameNormal && std::fabs(d.y) <= kSameNormal && std::fabs(d.z) <= kSameNormal)
        return *link;
    }
    const uint32_t v = make_vertex(point, normal);
    *link = v;  // before the resize below, which may move next_made
    next_made.resize(v + 1, kNone);
    return v;
  };

  for (size_t f = 0; f < polygons.size(); ++f) {
    const Polygon& q = polygons[f];
    // The face's own unit normal, made only when a corner needs it.
    std::optional<Vector> own;
    const auto own_unit = [&] {
      if (!own) own = unit_or_up(area_normal(points, q));
      return *own;
    };
    const int32_t c[4] = {q.a, q.b, q.c, q.d};
    for (int k = 0; k < corners(q); ++k) {
      const auto p = static_cast<size_t>(c[k]);
      if (smooth && shared.kind[p] == PointKind::shared) {
        if (first_made[p] == kNone) first_made[p] = make_vertex(c[k], shared.normal[p]);
        continue;
      }
      const Vector normal =
          smooth ? creased_corner_normal(around, own_unit(), p) : own_unit();
      out.corner_vertex[f * 4 + static_cast<size_t>(k)] = vertex_for(c[k], normal);
    }
  }
  // Only shared points keep their vertex here; the others have theirs per corner.
  for (size_t p = 0; p < points.size(); ++p)
    if (!smooth || shared.kind[p] != PointKind::shared) first_made[p] = VertexLayout::kPerCorner;
  out.point_vertex = std::move(first_made);
  return out;
}

namespace {

// visit(polygon, corner of it, its point) for every corner in order.
template <class Visit>
void for_each_polygon_corner(const std::vector<Polygon>& polygons, const Visit& visit) {
  for (size_t f = 0; f < polygons.size(); ++f) {
    const Polygon& q = polygons[f];
    const int32_t c[4] = {q.a, q.b, q.c, q.d};
    for (int k = 0; k < corners(q); ++k) visit(f, k, c[k]);
  }
}

// Each polygon corner takes normal_of(mesh corner); corners of one point
// share a vertex when same(corner that made the vertex, corner) says so. A
// point whose corners all share one (inside a smooth surface, the usual
// case) is named once in point_vertex; corner_vertex is made only when some
// point has corners apart. Vertices are numbered in the order their first
// corners come either way.
template <class NormalOf, class Same>
VertexLayout layout_by_corner_normals(size_t point_count, const std::vector<Polygon>& polygons,
                                      const std::vector<uint32_t>& polygon_corners, const NormalOf& normal_of,
                                      const Same& same) {
  VertexLayout out;
  constexpr uint32_t kNone = UINT32_MAX;
  const auto corner_at = [&](size_t f, int k) { return polygon_corners[f * 4 + static_cast<size_t>(k)]; };
  // Per point its first corner, and whether another corner of it parts from that one.
  std::vector<uint32_t> first_corner(point_count, kNone);
  std::vector<uint8_t> parted(point_count, 0);
  bool any_parted = false;
  for_each_polygon_corner(polygons, [&](size_t f, int k, int32_t point) {
    const auto p = static_cast<size_t>(point);
    const uint32_t corner = corner_at(f, k);
    if (first_corner[p] == kNone)
      first_corner[p] = corner;
    else if (!parted[p] && !same(first_corner[p], corner))
      parted[p] = 1, any_parted = true;
  });
  // Most points have one vertex: room for those up front, so the lists are
  // not copied over and over as they grow.
  out.source_point.reserve(point_count);
  out.normals.reserve(point_count);
  out.point_vertex.assign(point_count, VertexLayout::kPerCorner);
  if (any_parted) out.corner_vertex.assign(polygons.size() * 4, VertexLayout::kPerCorner);
  std::vector<uint32_t> first_made(point_count, kNone), next_made, made_by;
  next_made.reserve(point_count);
  made_by.reserve(point_count);
  const auto make = [&](int32_t point, uint32_t corner) {
    out.source_point.push_back(static_cast<uint32_t>(point));
    out.normals.push_back(normal_of(corner));
    made_by.push_back(corner);
    next_made.push_back(kNone);
    return static_cast<uint32_t>(out.normals.size() - 1);
  };
  for_each_polygon_corner(polygons, [&](size_t f, int k, int32_t point) {
    const auto p = static_cast<size_t>(point);
    const uint32_t corner = corner_at(f, k);
    if (!parted[p]) {
      if (out.point_vertex[p] == VertexLayout::kPerCorner) out.point_vertex[p] = make(point, corner);
      return;
    }
    // By index, not by pointer: making a vertex grows next_made.
    uint32_t previous = kNone, v = first_made[p];
    while (v != kNone && !same(made_by[v], corner)) previous = v, v = next_made[v];
    if (v == kNone) {
      v = make(point, corner);
      (previous == kNone ? first_made[p] : next_made[previous]) = v;
    }
    out.corner_vertex[f * 4 + static_cast<size_t>(k)] = v;
  });
  return out;
}

}  // namespace

VertexLayout layout_by_given_normals(size_t point_count, const std::vector<Polygon>& polygons,
                                     const std::vector<uint32_t>& polygon_corners,
                                     const CornerNormals& corner_normals) {
  return layout_by_corner_normals(
      point_count, polygons, polygon_corners, [&](uint32_t corner) { return corner_normals[corner]; },
      [&](uint32_t a, uint32_t b) {
        if (corner_normals.index[a] == corner_normals.index[b]) return true;
        const Vector d = corner_normals[a] - corner_normals[b];
        return std::fabs(d.x) <= kSameNormal && std::fabs(d.y) <= kSameNormal && std::fabs(d.z) <= kSameNormal;
      });
}

VertexLayout layout_by_indexed_normals(size_t point_count, const std::vector<Polygon>& polygons,
                                       const std::vector<uint32_t>& polygon_corners,
                                       const std::vector<Vector>& normals,
                                       const std::vector<uint32_t>& normal_of_corner) {
  return layout_by_corner_normals(
      point_count, polygons, polygon_corners, [&](uint32_t corner) { return normals[normal_of_corner[corner]]; },
      [&](uint32_t a, uint32_t b) { return normal_of_corner[a] == normal_of_corner[b]; });
}

size_t VertexLayout::triangle_indices(const std::vector<Polygon>& polygons) {
  size_t n = 0;
  for (const Polygon& q : polygons) n += q.is_triangle() ? 3 : 6;
  return n;
}

void VertexLayout::append_triangles(const std::vector<Polygon>& polygons, size_t f,
                                    std::vector<uint32_t>& out) const {
  const Polygon& q = polygons[f];
  const auto at = [&](size_t k, int32_t point) {
    const uint32_t v = point_vertex[static_cast<size_t>(point)];
    return v != kPerCorner ? v : corner_vertex[f * 4 + k];
  };
  const uint32_t a = at(0, q.a), c = at(2, q.c);
  out.insert(out.end(), {a, at(1, q.b), c});
  if (!q.is_triangle()) out.insert(out.end(), {a, c, at(3, q.d)});
}

NormalSplit split_by_normals(const Mesh& mesh, NormalStyle style) {
  const std::vector<Polygon> polygons = mesh_polygons(mesh);
  VertexLayout layout = layout_by_normals(mesh.points, polygons, style);
  NormalSplit out;
  out.triangles.reserve(VertexLayout::triangle_indices(polygons));
  for (size_t f = 0; f < polygons.size(); ++f) layout.append_triangles(polygons, f, out.triangles);
  out.source_point = std::move(layout.source_point);
  out.normals = std::move(layout.normals);
  return out;
}

LayoutNormals::LayoutNormals(const std::vector<Polygon>& polygons, size_t point_count, const NormalSplit& layout,
                             NormalStyle style)
    : polygons_(polygons), style_(style), source_point_(layout.source_point) {
  // A vertex is first named by the triangle of the corner that made it
  // (vertices are numbered as corners make them), so walking the triangles
  // in order finds each vertex's face.
  source_face_.assign(layout.source_point.size(), UINT32_MAX);
  size_t t = 0;
  for (size_t f = 0; f < polygons.size(); ++f) {
    const size_t end = t + (polygons[f].is_triangle() ? 3 : 6);
    for (; t < end; ++t) {
      uint32_t& face = source_face_[layout.triangles[t]];
      if (face == UINT32_MAX) face = static_cast<uint32_t>(f);
    }
  }
  if (style == NormalStyle::smooth) {
    PointFaces around = faces_around_points(polygons, point_count);
    around_start_ = std::move(around.start);
    around_faces_ = std::move(around.faces);
  }
}

void LayoutNormals::compute(const std::vector<Vector>& points, std::vector<Vector>& normals) {
  face_normals(points, polygons_, weighted_, unit_);
  normals.resize(source_point_.size());
  for (size_t v = 0; v < normals.size(); ++v)
    normals[v] = corner_normal(style_, around_start_, around_faces_, weighted_, unit_, source_face_[v],
                               static_cast<int32_t>(source_point_[v]));
}

}  // namespace kurvo::media
