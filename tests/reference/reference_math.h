// Double-precision vectors and affine matrices for the reference deformation.
// Written for the tests alone: nothing here comes from the module's or the
// host's own numeric types, so a fault there cannot hide in both.
#pragma once

#include <cmath>

namespace kurvo::reference {

struct DVec3 {
  double x = 0, y = 0, z = 0;
  DVec3() = default;
  DVec3(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
};

inline DVec3 operator+(DVec3 a, DVec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline DVec3 operator-(DVec3 a, DVec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline DVec3 operator-(DVec3 a) { return {-a.x, -a.y, -a.z}; }
inline DVec3 operator*(DVec3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline DVec3 operator*(double s, DVec3 a) { return a * s; }
inline double Dot(DVec3 a, DVec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline DVec3 Cross(DVec3 a, DVec3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
inline double Length(DVec3 a) { return std::sqrt(Dot(a, a)); }
// Unit vector along a; the zero vector stays zero.
inline DVec3 Unit(DVec3 a) {
  const double l = Length(a);
  return l > 0 ? a * (1.0 / l) : DVec3();
}

// Affine map p -> off + ax p.x + ay p.y + az p.z.
struct DMat {
  DVec3 off, ax{1, 0, 0}, ay{0, 1, 0}, az{0, 0, 1};
};

inline DVec3 Apply(const DMat &m, DVec3 p) { return m.off + m.ax * p.x + m.ay * p.y + m.az * p.z; }
inline DVec3 ApplyDirection(const DMat &m, DVec3 d) { return m.ax * d.x + m.ay * d.y + m.az * d.z; }
inline DMat Compose(const DMat &a, const DMat &b) {  // (a b) p = a (b p)
  return {Apply(a, b.off), ApplyDirection(a, b.ax), ApplyDirection(a, b.ay), ApplyDirection(a, b.az)};
}
inline double Determinant(const DMat &m) { return Dot(m.ax, Cross(m.ay, m.az)); }
// Inverse of an affine map; a singular one inverts to the identity.
inline DMat Inverse(const DMat &m) {
  const double det = Determinant(m);
  if (det == 0) return DMat{};
  // Rows of the inverse 3x3 are the cross products of the columns / det.
  const DVec3 r0 = Cross(m.ay, m.az) * (1 / det), r1 = Cross(m.az, m.ax) * (1 / det),
              r2 = Cross(m.ax, m.ay) * (1 / det);
  DMat inv;
  inv.ax = {r0.x, r1.x, r2.x};
  inv.ay = {r0.y, r1.y, r2.y};
  inv.az = {r0.z, r1.z, r2.z};
  inv.off = -ApplyDirection(inv, m.off);
  return inv;
}
// Largest stretch of a direction by m (the largest column length, a bound
// good enough for tolerances).
inline double Stretch(const DMat &m) { return std::fmax(Length(m.ax), std::fmax(Length(m.ay), Length(m.az))); }

}  // namespace kurvo::reference
