#include "cylinder_welded.h"

#include <algorithm>
#include <cfloat>
#include <limits>
#include <vector>

namespace kurvo::geo {

namespace {

constexpr double kPi = 3.14159265358979323846;

// As the welding measures: in double, from the float coordinates.
double DistanceSquared(const Vector& a, const Vector& b) {
  const double dx = static_cast<double>(a.x) - b.x, dy = static_cast<double>(a.y) - b.y,
               dz = static_cast<double>(a.z) - b.z;
  return dx * dx + dy * dy + dz * dz;
}

// Whether welding the pieces joins the seam's pairs and nothing else, so the
// welded mesh is the grid without its last column and the caps' centres.
//  - Rows: their heights rise (or fall) monotonically with j, since every
//    float step of CylinderRowZ is monotonic, so the nearest two rows are
//    neighbours; points of different rows lie at least as far apart as their
//    rows. Neighbouring rows are measured as the welding measures them.
//  - Around: distinct rim positions lie at least the chord 2 r sin(pi / nr)
//    apart on the exact circle; rounding each coordinate to float moves a
//    point by less than |r| 2^-23, a pair by less than |r| 2^-22. The bound
//    keeps a margin of |r| 2^-20 and a relative 2^-20 on the tolerance.
//  - Seam: its copy lies within half the tolerance of the first column, so
//    also within the welding's neighbouring grid cells.
//  - Caps: their rims are the end rows exactly, their centres |r| away from
//    every rim point (less the same rounding).
bool JoinsOnlyTheSeam(float radius, const std::vector<float>& rows, const std::vector<Vector>& ring, int32_t nr,
                      bool caps, float height, double tol) {
  const double tol2 = tol * tol, margin = std::ldexp(1.0, -20);
  for (size_t j = 1; j < rows.size(); ++j) {
    const double dz = static_cast<double>(rows[j]) - rows[j - 1];
    if (!(dz * dz > tol2)) return false;
  }
  const double r = std::fabs(static_cast<double>(radius));
  const double chord = 2.0 * r * std::sin(kPi / nr) - r * margin;
  if (!(chord > 0.0 && chord * chord > tol2 * (1.0 + margin))) return false;
  if (!(4.0 * DistanceSquared(ring[static_cast<size_t>(nr)], ring[0]) <= tol2)) return false;
  if (caps) {
    if (CylinderCapZ(height, 1.0f) != rows.back() || CylinderCapZ(height, -1.0f) != rows.front()) return false;
    const double fromCentre = r * (1.0 - margin);
    if (!(fromCentre * fromCentre > tol2 * (1.0 + margin))) return false;
  }
  return true;
}

}  // namespace

std::optional<Mesh> MakeCylinderWelded(float radius, float height, int32_t nr, int32_t nh, bool caps,
                                       float tolerance) {
  if (nr < 3 || nh < 1) return std::nullopt;
  const int32_t centres = caps ? 2 : 0;
  if (static_cast<double>(nr) * (nh + 1) + centres > std::numeric_limits<int32_t>::max()) return std::nullopt;
  if (!std::isfinite(radius) || !std::isfinite(height) || !std::isfinite(tolerance) || !(tolerance >= FLT_MIN))
    return std::nullopt;
  const double tol = tolerance;
  // Cell coordinates (position / tolerance) of this size are exact enough
  // that points within half a tolerance land in neighbouring cells.
  if (std::max(std::fabs(radius), std::fabs(height)) > std::ldexp(tol, 30)) return std::nullopt;

  std::vector<float> rows(static_cast<size_t>(nh) + 1);
  for (int32_t j = 0; j <= nh; ++j) rows[static_cast<size_t>(j)] = CylinderRowZ(height, nh, j);
  std::vector<Vector> ring(static_cast<size_t>(nr) + 1);
  for (int32_t i = 0; i <= nr; ++i) ring[static_cast<size_t>(i)] = CylinderRimPoint(radius, nr, i, 0.0f);
  if (!JoinsOnlyTheSeam(radius, rows, ring, nr, caps, height, tol)) return std::nullopt;

  Mesh mesh;
  mesh.points.resize(static_cast<size_t>(nr) * (static_cast<size_t>(nh) + 1) + static_cast<size_t>(centres));
  Vector* point = mesh.points.data();
  for (int32_t j = 0; j <= nh; ++j)
    for (int32_t i = 0; i < nr; ++i) {
      const Vector& p = ring[static_cast<size_t>(i)];
      *point++ = Vector(p.x, p.y, rows[static_cast<size_t>(j)]);
    }
  const int32_t top = nr * (nh + 1), bottom = top + 1;
  if (caps) {
    *point++ = Vector(0, 0, CylinderCapZ(height, 1.0f));
    *point++ = Vector(0, 0, CylinderCapZ(height, -1.0f));
  }

  mesh.polygons.resize(static_cast<size_t>(nr) * static_cast<size_t>(nh) + (caps ? 2 * static_cast<size_t>(nr) : 0));
  Polygon* polygon = mesh.polygons.data();
  const auto at = [nr](int32_t i, int32_t j) { return j * nr + (i == nr ? 0 : i); };
  for (int32_t j = 0; j < nh; ++j)
    for (int32_t i = 0; i < nr; ++i) *polygon++ = Polygon{at(i, j), at(i + 1, j), at(i + 1, j + 1), at(i, j + 1)};
  if (caps) {
    // The pieces' cap triangles (centre, rim, rim, rim) on the end rows.
    for (int32_t i = 0; i < nr; ++i) {
      const int32_t a = at(i, nh), b = at(i + 1, nh);
      *polygon++ = Polygon{top, a, b, b};
    }
    for (int32_t i = 0; i < nr; ++i) {
      const int32_t a = at(i, 0), b = at(i + 1, 0);
      *polygon++ = Polygon{bottom, b, a, a};
    }
  }
  return mesh;
}

}  // namespace kurvo::geo
