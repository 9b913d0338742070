#include "placement_parts.h"

#include <cmath>
#include <numbers>

namespace kurvo::animation {

KhMatrix composePlacement(const Vector& position, const Vector& rotationDegrees, const Vector& scale) {
  // Angles in double precision so that quarter turns give exact zeros.
  const double k = std::numbers::pi / 180.0;
  const double rx = rotationDegrees.x * k, ry = rotationDegrees.y * k, rz = rotationDegrees.z * k;
  auto clean = [](double v) { return std::abs(v) < 1e-12 ? 0.0 : v; };
  const double cx = clean(std::cos(rx)), sx = clean(std::sin(rx));
  const double cy = clean(std::cos(ry)), sy = clean(std::sin(ry));
  const double cz = clean(std::cos(rz)), sz = clean(std::sin(rz));
  // Columns of Rz * Ry * Rx.
  const double r[3][3] = {
      {cz * cy, sz * cy, -sy},
      {cz * sy * sx - sz * cx, sz * sy * sx + cz * cx, cy * sx},
      {cz * sy * cx + sz * sx, sz * sy * cx - cz * sx, cy * cx},
  };
  auto axis = [&](int i, float s) {
    // Adding 0 turns -0 into 0, so files do not show "-0.0".
    return KhVector{static_cast<float>(r[i][0] * s) + 0.0f, static_cast<float>(r[i][1] * s) + 0.0f,
                    static_cast<float>(r[i][2] * s) + 0.0f};
  };
  return KhMatrix{ToKh(position), axis(0, scale.x), axis(1, scale.y), axis(2, scale.z)};
}

}  // namespace kurvo::animation
