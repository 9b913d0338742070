#include "node_transform.h"

#include <cmath>

namespace kurvo::media {
namespace {

struct D3 {
  double x, y, z;
};

D3 operator*(const D3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double dot(const D3& a, const D3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
D3 cross(const D3& a, const D3& b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }

// The mirror S applied to a host vector, in double precision.
D3 mirrored(const Vector& v, bool mirror) { return {v.x, v.y, mirror ? -double(v.z) : double(v.z)}; }

// The unit quaternion of a rotation given by its columns (the images of the
// axes), by the largest of the four candidate denominators for accuracy.
std::array<double, 4> quaternion(const D3& c0, const D3& c1, const D3& c2) {
  const double m00 = c0.x, m10 = c0.y, m20 = c0.z;
  const double m01 = c1.x, m11 = c1.y, m21 = c1.z;
  const double m02 = c2.x, m12 = c2.y, m22 = c2.z;
  const double trace = m00 + m11 + m22;
  std::array<double, 4> q;  // x, y, z, w
  if (trace > 0.0) {
    const double s = 2.0 * std::sqrt(1.0 + trace);
    q = {(m21 - m12) / s, (m02 - m20) / s, (m10 - m01) / s, 0.25 * s};
  } else if (m00 > m11 && m00 > m22) {
    const double s = 2.0 * std::sqrt(1.0 + m00 - m11 - m22);
    q = {0.25 * s, (m01 + m10) / s, (m02 + m20) / s, (m21 - m12) / s};
  } else if (m11 > m22) {
    const double s = 2.0 * std::sqrt(1.0 + m11 - m00 - m22);
    q = {(m01 + m10) / s, 0.25 * s, (m12 + m21) / s, (m02 - m20) / s};
  } else {
    const double s = 2.0 * std::sqrt(1.0 + m22 - m00 - m11);
    q = {(m02 + m20) / s, (m12 + m21) / s, 0.25 * s, (m10 - m01) / s};
  }
  const double length = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
  for (double& c : q) c /= length;
  return q;
}

bool fits_float(double v) { return std::isfinite(v) && std::fabs(v) <= 3.4e38; }

}  // namespace

std::optional<NodeTransform> node_transform(const Matrix& placement, bool mirror, float scale) {
  // Columns of S M S: S applied to each axis, and the Z axis negated once more
  // for the S on the right.
  const D3 axes[3] = {mirrored(placement.v1, mirror), mirrored(placement.v2, mirror),
                      mirrored(placement.v3, mirror) * (mirror ? -1.0 : 1.0)};
  double length[3];
  for (int i = 0; i < 3; ++i) {
    length[i] = std::sqrt(dot(axes[i], axes[i]));
    if (!(length[i] > 0.0) || !fits_float(length[i])) return std::nullopt;
  }
  for (int i = 0; i < 3; ++i) {
    const int j = (i + 1) % 3;
    if (std::fabs(dot(axes[i], axes[j])) > kShearTolerance * length[i] * length[j]) return std::nullopt;
  }
  if (!(dot(axes[0], cross(axes[1], axes[2])) > 0.0)) return std::nullopt;  // mirrored

  NodeTransform out;
  const D3 t = mirrored(placement.off, mirror) * double(scale);
  if (!fits_float(t.x) || !fits_float(t.y) || !fits_float(t.z)) return std::nullopt;
  // Adding 0 turns a -0 into 0, so files do not show "-0".
  out.translation = Vector(float(t.x) + 0.0f, float(t.y) + 0.0f, float(t.z) + 0.0f);
  out.scale = Vector(float(length[0]), float(length[1]), float(length[2]));
  const std::array<double, 4> q =
      quaternion(axes[0] * (1.0 / length[0]), axes[1] * (1.0 / length[1]), axes[2] * (1.0 / length[2]));
  for (int i = 0; i < 4; ++i) out.rotation[size_t(i)] = float(q[size_t(i)]) + 0.0f;
  return out;
}

}  // namespace kurvo::media
