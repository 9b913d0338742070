// Mesh: the plain polygon mesh that the tool reads, writes and draws.
//
// Points are in one coordinate system (the importer's or the caller's world).
// A polygon is a quad of point indices; a triangle repeats its third corner
// (c == d). Winding is kept as the source gave it.
#ifndef KURVO_MEDIA_MESH_H
#define KURVO_MEDIA_MESH_H

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "vector.h"

namespace kurvo::media {

struct Polygon {
  int32_t a, b, c, d;
  bool is_triangle() const { return c == d; }
};

inline Polygon make_triangle(int32_t a, int32_t b, int32_t c) { return Polygon{a, b, c, c}; }

struct Mesh {
  std::string name;
  std::vector<Vector> points;
  std::vector<Polygon> polygons;
  // Base colour, red/green/blue in 0..1; none: the reader or viewer picks one.
  std::optional<Vector> colour;
};

// Axis-aligned bounds; empty until a point is added.
struct Bounds {
  Vector min{0.0f, 0.0f, 0.0f};
  Vector max{0.0f, 0.0f, 0.0f};
  bool empty = true;

  void add(const Vector& p) {
    if (empty) {
      min = max = p;
      empty = false;
      return;
    }
    min = Vector(p.x < min.x ? p.x : min.x, p.y < min.y ? p.y : min.y, p.z < min.z ? p.z : min.z);
    max = Vector(p.x > max.x ? p.x : max.x, p.y > max.y ? p.y : max.y, p.z > max.z ? p.z : max.z);
  }
  void add(const Bounds& b) {
    if (!b.empty) {
      add(b.min);
      add(b.max);
    }
  }
};

// Bounds of all the mesh's points.
Bounds mesh_bounds(const Mesh& mesh);

// First problem found (index out of range, non-finite point) as a message
// naming the mesh, or an empty string for a sound mesh.
std::string check_mesh(const Mesh& mesh);

}  // namespace kurvo::media

#endif
