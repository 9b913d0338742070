// split_by_normals against the rule written out plainly: every corner of a
// face sums the area normals of all faces at its point (found by scanning
// every face, in face order) whose unit normal lies within the crease angle
// of its own face's, and corners of one point whose normals agree within
// 1e-6 share a vertex. The reference does the same float operations in the
// same order as the rule prescribes, so vertices, triangles and normals must
// agree exactly, on meshes with and without creases, cones whose opposite
// faces crease though neighbours do not, faces close to the crease test's
// margins, degenerate faces, unused points, split n-gons and extreme scales.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

#include "polygon_split.h"
#include "surface_normals.h"

using namespace kurvo::media;

namespace {

constexpr float kPi = 3.14159265f;

Vector reference_area_normal(const Mesh& m, const Polygon& q) {
  const Vector a = m.points[size_t(q.a)], b = m.points[size_t(q.b)], c = m.points[size_t(q.c)];
  Vector n = Cross(b - a, c - a);
  if (q.c != q.d) n = n + Cross(c - a, m.points[size_t(q.d)] - a);
  return n;
}

Vector reference_unit(const Vector& v) {
  const float length = std::sqrt(Dot(v, v));
  if (!(length > 0.0f) || !std::isfinite(length)) return Vector(0.0f, 1.0f, 0.0f);
  return v * (1.0f / length);
}

std::vector<int32_t> corner_points(const Polygon& q) {
  if (q.c == q.d) return {q.a, q.b, q.c};
  return {q.a, q.b, q.c, q.d};
}

NormalSplit reference_split(const Mesh& m, NormalStyle style) {
  const std::vector<Polygon> polygons = mesh_polygons(m);
  const float crease = std::cos(kCreaseAngleDegrees * kPi / 180.0f);
  const auto corner_normal = [&](size_t f, int32_t point) {
    const Vector own = reference_unit(reference_area_normal(m, polygons[f]));
    if (style == NormalStyle::flat) return own;
    Vector sum(0.0f, 0.0f, 0.0f);
    for (const Polygon& g : polygons)
      for (int32_t p : corner_points(g))
        if (p == point && Dot(reference_unit(reference_area_normal(m, g)), own) >= crease)
          sum = sum + reference_area_normal(m, g);
    return reference_unit(sum);
  };
  NormalSplit out;
  std::vector<std::vector<uint32_t>> made(m.points.size());
  const auto vertex = [&](size_t f, int32_t point) {
    const Vector n = corner_normal(f, point);
    for (uint32_t v : made[size_t(point)]) {
      const Vector d = out.normals[v] - n;
      if (std::fabs(d.x) <= 1e-6f && std::fabs(d.y) <= 1e-6f && std::fabs(d.z) <= 1e-6f) return v;
    }
    out.source_point.push_back(uint32_t(point));
    out.normals.push_back(n);
    made[size_t(point)].push_back(uint32_t(out.normals.size() - 1));
    return uint32_t(out.normals.size() - 1);
  };
  for (size_t f = 0; f < polygons.size(); ++f) {
    const Polygon& q = polygons[f];
    const uint32_t a = vertex(f, q.a), b = vertex(f, q.b), c = vertex(f, q.c);
    out.triangles.insert(out.triangles.end(), {a, b, c});
    if (q.c != q.d) out.triangles.insert(out.triangles.end(), {a, c, vertex(f, q.d)});
  }
  return out;
}

bool same_bits(const Vector& a, const Vector& b) {
  return std::bit_cast<uint32_t>(a.x) == std::bit_cast<uint32_t>(b.x) &&
         std::bit_cast<uint32_t>(a.y) == std::bit_cast<uint32_t>(b.y) &&
         std::bit_cast<uint32_t>(a.z) == std::bit_cast<uint32_t>(b.z);
}

// Both styles against the reference; smooth normals also against the normals
// LayoutNormals gives for the same positions, which it computes per corner.
void expect_as_reference(const Mesh& m) {
  for (NormalStyle style : {NormalStyle::smooth, NormalStyle::flat}) {
    SCOPED_TRACE(style == NormalStyle::smooth ? "smooth" : "flat");
    const NormalSplit got = split_by_normals(m, style);
    const NormalSplit want = reference_split(m, style);
    ASSERT_EQ(got.source_point, want.source_point);
    ASSERT_EQ(got.triangles, want.triangles);
    ASSERT_EQ(got.normals.size(), want.normals.size());
    for (size_t v = 0; v < got.normals.size(); ++v)
      ASSERT_TRUE(same_bits(got.normals[v], want.normals[v]))
          << "vertex " << v << ": " << got.normals[v] << " vs " << want.normals[v];
    const std::vector<Polygon> polygons = mesh_polygons(m);
    LayoutNormals layout(polygons, m.points.size(), got, style);
    std::vector<Vector> again;
    layout.compute(m.points, again);
    for (size_t v = 0; v < again.size(); ++v)
      ASSERT_TRUE(same_bits(again[v], got.normals[v])) << "vertex " << v;
  }
}

// A gently rolling height field of quads with a triangle strip along one
// edge: no crease anywhere.
Mesh rolling_grid(int n) {
  Mesh m;
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i)
      m.points.push_back({float(i), 0.3f * std::sin(0.5f * float(i)) * std::cos(0.4f * float(j)), float(j)});
  const auto at = [&](int i, int j) { return int32_t(j * (n + 1) + i); };
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      if (i == 0) {
        m.add_polygon(make_triangle(at(i, j), at(i, j + 1), at(i + 1, j + 1)));
        m.add_polygon(make_triangle(at(i, j), at(i + 1, j + 1), at(i + 1, j)));
      } else {
        m.add_polygon({at(i, j), at(i, j + 1), at(i + 1, j + 1), at(i + 1, j)});
      }
    }
  return m;
}

// A closed cylinder: round side, hard rims, caps as triangle fans.
Mesh capped_cylinder(int segments) {
  Mesh m;
  for (int ring = 0; ring < 2; ++ring)
    for (int s = 0; s < segments; ++s) {
      const float a = 2.0f * kPi * float(s) / float(segments);
      m.points.push_back({std::cos(a), std::sin(a), float(ring)});
    }
  for (int s = 0; s < segments; ++s) {
    const int n = (s + 1) % segments;
    m.add_polygon({s, n, segments + n, segments + s});
  }
  for (int s = 1; s + 1 < segments; ++s) {
    m.add_polygon(make_triangle(0, s + 1, s));
    m.add_polygon(make_triangle(segments, segments + s, segments + s + 1));
  }
  return m;
}

// A fan of triangles around an apex, each leaning `tilts[k]` degrees from
// the first face's normal (about the fan's axis), so the crease test's
// margins can be placed exactly.
Mesh leaning_fan(const std::vector<float>& tilts) {
  Mesh m;
  m.points.push_back({0, 0, 0});
  for (size_t k = 0; k < tilts.size(); ++k) {
    // Face k spans two rim points in a plane through the apex whose normal
    // leans tilts[k] degrees away from +z, towards a direction of its own.
    const float around = 2.0f * kPi * float(k) / float(tilts.size());
    const float lean = tilts[k] * kPi / 180.0f;
    const Vector normal(std::sin(lean) * std::cos(around), std::sin(lean) * std::sin(around), std::cos(lean));
    const Vector side = Cross(Vector(0, 0, 1), Vector(std::cos(around), std::sin(around), 0));
    const Vector ahead = Cross(normal, side);
    const auto base = int32_t(m.points.size());
    m.points.push_back(side * -1.0f + ahead);
    m.points.push_back(side + ahead);
    m.add_polygon(make_triangle(0, base, base + 1));
  }
  return m;
}

// A cone whose apex has many faces: neighbours meet at a few degrees, faces
// across the apex at twice the half-angle.
Mesh cone(int segments, float height) {
  Mesh m;
  m.points.push_back({0, 0, height});
  for (int s = 0; s < segments; ++s) {
    const float a = 2.0f * kPi * float(s) / float(segments);
    m.points.push_back({std::cos(a), std::sin(a), 0});
  }
  for (int s = 0; s < segments; ++s) m.add_polygon(make_triangle(0, 1 + s, 1 + (s + 1) % segments));
  return m;
}

TEST(SplitByNormals, SmoothSurfacesCreasesAndConesAgreeWithThePerCornerRule) {
  {
    SCOPED_TRACE("rolling grid");
    expect_as_reference(rolling_grid(12));
  }
  {
    SCOPED_TRACE("capped cylinder");
    expect_as_reference(capped_cylinder(24));
  }
  for (float height : {0.1f, 0.5f, 1.0f, 3.0f}) {
    SCOPED_TRACE("cone of height " + std::to_string(height));
    expect_as_reference(cone(32, height));
  }
}

TEST(SplitByNormals, FacesNearTheCreaseTestsMarginsAgreeWithThePerCornerRule) {
  // Around the half crease angle (19 to 20 degrees) and around the crease
  // angle itself, between faces on opposite sides of the first.
  for (float t : {18.5f, 18.99f, 19.01f, 19.5f, 20.0f, 20.5f, 21.0f, 25.0f}) {
    SCOPED_TRACE("tilt " + std::to_string(t));
    expect_as_reference(leaning_fan({0.0f, t, t, t, t, t}));
    expect_as_reference(leaning_fan({t, 0.0f, t, 0.0f}));
  }
  for (float t : {39.0f, 39.99f, 40.0f, 40.01f, 41.0f}) {
    SCOPED_TRACE("tilt " + std::to_string(t));
    expect_as_reference(leaning_fan({0.0f, t, 0.0f, t}));
    expect_as_reference(leaning_fan({t / 2.0f, 0.0f, t / 2.0f, t}));
  }
}

TEST(SplitByNormals, DegenerateFacesUnusedPointsSplitNgonsAndExtremeScalesAgreeWithThePerCornerRule) {
  Mesh m = rolling_grid(4);
  const auto n = int32_t(m.points.size());
  m.points.push_back({100, 100, 100});                  // unused
  m.add_polygon(make_triangle(0, 1, 2));         // collinear: zero area
  m.add_polygon(make_triangle(3, 3, 3));         // one point thrice
  m.add_polygon({5, 6, 5, 11});                  // a quad through one point twice
  m.add_polygon({7, 8, 13, 12});                 // a second face over existing ones
  m.points.push_back({2, 5, 2});
  m.points.push_back({2, 5, 2});                        // coincident points
  m.add_polygon(make_triangle(n + 1, n + 2, 0));
  // An L-shaped outline cut by the polygon splitter, and a pentagon.
  const int32_t l[] = {0, 1, 2, 7, 6, 11, 10, 5};
  m.add_face(l);
  const int32_t five[] = {13, 14, 19, 23, 17};
  m.add_face(five);
  {
    SCOPED_TRACE("degenerate, unused, n-gons");
    expect_as_reference(m);
  }
  for (float scale : {1e-30f, 1e-18f, 1e18f, 1e30f}) {
    SCOPED_TRACE("scaled by " + std::to_string(scale));
    Mesh scaled = m;
    for (Vector& p : scaled.points) p = p * scale;
    expect_as_reference(scaled);
  }
}

TEST(SplitByNormals, RandomMeshesAgreeWithThePerCornerRule) {
  std::mt19937 random(20261209);
  std::uniform_real_distribution<float> coordinate(-1.0f, 1.0f), bump(-0.05f, 0.05f);
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    // A grid with small random bumps (mostly smooth) or large ones (creased
    // everywhere), and random faces across it.
    Mesh m = rolling_grid(6);
    const float size = round % 2 == 0 ? 1.0f : 20.0f;
    for (Vector& p : m.points) p = p + Vector(bump(random), bump(random), bump(random)) * size;
    std::uniform_int_distribution<int32_t> point(0, int32_t(m.points.size()) - 1);
    for (int extra = 0; extra < round % 5; ++extra) {
      const int32_t a = point(random), b = point(random), c = point(random), d = point(random);
      m.add_polygon(extra % 2 == 0 ? make_triangle(a, b, c) : Polygon{a, b, c, d});
    }
    m.points.push_back({coordinate(random), coordinate(random), coordinate(random)});  // unused
    expect_as_reference(m);
  }
}

}  // namespace
