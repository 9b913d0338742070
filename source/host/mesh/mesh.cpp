#include "mesh.h"

#include <cmath>

namespace kurvo::media {

Bounds mesh_bounds(const Mesh& mesh) {
  Bounds b;
  for (const Vector& p : mesh.points) b.add(p);
  return b;
}

std::string check_mesh(const Mesh& mesh) {
  const auto count = static_cast<int64_t>(mesh.points.size());
  for (size_t i = 0; i < mesh.points.size(); ++i) {
    const Vector& p = mesh.points[i];
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z))
      return "mesh '" + mesh.name + "': point " + std::to_string(i) + " is not a finite number";
  }
  for (size_t i = 0; i < mesh.polygons.size(); ++i) {
    const Polygon& q = mesh.polygons[i];
    for (int32_t index : {q.a, q.b, q.c, q.d}) {
      if (index < 0 || index >= count)
        return "mesh '" + mesh.name + "': polygon " + std::to_string(i) + " uses point " +
               std::to_string(index) + " of " + std::to_string(count);
    }
  }
  return {};
}

}  // namespace kurvo::media
