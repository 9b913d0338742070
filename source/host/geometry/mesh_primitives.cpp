#include "mesh_primitives.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "cylinder_welded.h"

namespace kurvo::geo {

namespace {

constexpr double kPi = 3.14159265358979323846;

// Appends a grid of (nu + 1) x (nv + 1) points at point(i, j), with quads whose
// normal follows the directions of increasing i and then j.
template <class PointAt>
void AddGrid(Mesh& mesh, int32_t nu, int32_t nv, PointAt point) {
  const auto base = static_cast<int32_t>(mesh.points.size());
  for (int32_t j = 0; j <= nv; ++j)
    for (int32_t i = 0; i <= nu; ++i) mesh.points.push_back(point(i, j));
  const auto at = [&](int32_t i, int32_t j) { return base + j * (nu + 1) + i; };
  for (int32_t j = 0; j < nv; ++j)
    for (int32_t i = 0; i < nu; ++i) mesh.polygons.push_back(Polygon{at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)});
}

}  // namespace

float WeldTolerance(float scale) { return 1e-5f * (scale > 0.0f ? scale : 1.0f); }

Mesh Weld(const Mesh& pieces, float scale) {
  OptimizeOptions options;
  options.tolerance = WeldTolerance(scale);
  OptimizeResult r = OptimizeMesh(pieces.points, pieces.polygons, options);
  return Mesh{std::move(r.points), std::move(r.polygons)};
}

Mesh MakePlane(float width, float depth, int32_t widthSegments, int32_t depthSegments) {
  const int32_t nx = std::max<int32_t>(widthSegments, 1), nz = std::max<int32_t>(depthSegments, 1);
  Mesh mesh;
  // i runs along +Z and j along +X, so the quads face +Y.
  AddGrid(mesh, nz, nx, [&](int32_t i, int32_t j) {
    return Vector(width * (static_cast<float>(j) / nx - 0.5f), 0.0f, depth * (static_cast<float>(i) / nz - 0.5f));
  });
  return mesh;
}

Mesh MakeCube(const Vector& size, int32_t xSegments, int32_t ySegments, int32_t zSegments) {
  const int32_t n[3] = {std::max<int32_t>(xSegments, 1), std::max<int32_t>(ySegments, 1), std::max<int32_t>(zSegments, 1)};
  const Vector h = size * 0.5f;
  Mesh mesh;
  // One face: corner, the two edge vectors (u x v points outwards) and their segment counts.
  const auto face = [&](const Vector& corner, const Vector& u, int32_t nu, const Vector& v, int32_t nv) {
    AddGrid(mesh, nu, nv, [&](int32_t i, int32_t j) {
      return corner + u * (static_cast<float>(i) / nu) + v * (static_cast<float>(j) / nv);
    });
  };
  const Vector x(size.x, 0, 0), y(0, size.y, 0), z(0, 0, size.z);
  const Vector low = -h;
  face(Vector(h.x, -h.y, -h.z), y, n[1], z, n[2]);   // +X
  face(low, z, n[2], y, n[1]);                       // -X
  face(Vector(-h.x, h.y, -h.z), z, n[2], x, n[0]);   // +Y
  face(low, x, n[0], z, n[2]);                       // -Y
  face(Vector(-h.x, -h.y, h.z), x, n[0], y, n[1]);   // +Z
  face(low, y, n[1], x, n[0]);                       // -Z
  return Weld(mesh, std::max({std::fabs(size.x), std::fabs(size.y), std::fabs(size.z)}));
}

Mesh MakeCylinderPieces(float radius, float height, int32_t rotationSegments, int32_t heightSegments, bool caps) {
  const int32_t nr = std::max<int32_t>(rotationSegments, 3), nh = std::max<int32_t>(heightSegments, 1);
  Mesh mesh;
  AddGrid(mesh, nr, nh, [&](int32_t i, int32_t j) { return CylinderRimPoint(radius, nr, i, CylinderRowZ(height, nh, j)); });
  if (caps) {
    for (const float side : {1.0f, -1.0f}) {
      const float z = CylinderCapZ(height, side);
      const auto centre = static_cast<int32_t>(mesh.points.size());
      mesh.points.push_back(Vector(0, 0, z));
      for (int32_t i = 0; i <= nr; ++i) mesh.points.push_back(CylinderRimPoint(radius, nr, i, z));
      for (int32_t i = 0; i < nr; ++i) {
        const int32_t a = centre + 1 + i, b = centre + 2 + i;
        mesh.polygons.push_back(side > 0 ? Polygon{centre, a, b, b} : Polygon{centre, b, a, a});
      }
    }
  }
  return mesh;
}

Mesh MakeCylinder(float radius, float height, int32_t rotationSegments, int32_t heightSegments, bool caps) {
  const int32_t nr = std::max<int32_t>(rotationSegments, 3), nh = std::max<int32_t>(heightSegments, 1);
  const float scale = std::max(std::fabs(radius), std::fabs(height));
  if (std::optional<Mesh> welded = MakeCylinderWelded(radius, height, nr, nh, caps, WeldTolerance(scale)))
    return std::move(*welded);
  return Weld(MakeCylinderPieces(radius, height, nr, nh, caps), scale);
}

Mesh MakeSphere(float radius, int32_t rotationSegments, int32_t ringSegments) {
  const int32_t nr = std::max<int32_t>(rotationSegments, 3), nv = std::max<int32_t>(ringSegments, 2);
  Mesh mesh;
  AddGrid(mesh, nr, nv, [&](int32_t i, int32_t j) {
    if (j == 0) return Vector(0, 0, -radius);  // exact poles, so the welding finds them
    if (j == nv) return Vector(0, 0, radius);
    const double around = 2.0 * kPi * i / nr;
    const double up = kPi * (static_cast<double>(j) / nv - 0.5);
    return Vector(static_cast<float>(radius * std::cos(up) * std::cos(around)),
                  static_cast<float>(radius * std::cos(up) * std::sin(around)),
                  static_cast<float>(radius * std::sin(up)));
  });
  return Weld(mesh, std::fabs(radius));
}

}  // namespace kurvo::geo
