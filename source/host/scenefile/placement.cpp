#include "placement.h"

#include <cmath>
#include <numbers>

namespace kurvo::scenefile {

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

KhMatrix readPlacement(const Json& object, const ReadContext& context) {
  const bool hasMatrix = object.contains("matrix");
  const bool hasParts = object.contains("position") || object.contains("rotation") || object.contains("scale");
  if (hasMatrix && hasParts)
    context.fail("matrix", "give either \"matrix\" or \"position\"/\"rotation\"/\"scale\", not both");
  if (hasMatrix) return context.matrix(object["matrix"], "matrix");
  Vector position, rotation, scale(1.0f);
  if (object.contains("position")) position = context.vector(object["position"], "position");
  if (object.contains("rotation")) rotation = context.vector(object["rotation"], "rotation");
  if (object.contains("scale")) {
    const Json& s = object["scale"];
    if (s.is_number())
      scale = Vector(context.number(s, "scale"));
    else if (s.is_array())
      scale = context.vector(s, "scale");
    else
      context.fail("scale", "expected a number or a vector [sx, sy, sz]");
  }
  return composePlacement(position, rotation, scale);
}

Json matrixJson(const KhMatrix& m) {
  auto row = [](const KhVector& v) { return Json::array({jsonFloat(v.x), jsonFloat(v.y), jsonFloat(v.z)}); };
  return Json::array({row(m.off), row(m.v1), row(m.v2), row(m.v3)});
}

bool isIdentity(const KhMatrix& m) {
  auto eq = [](const KhVector& a, float x, float y, float z) { return a.x == x && a.y == y && a.z == z; };
  return eq(m.off, 0, 0, 0) && eq(m.v1, 1, 0, 0) && eq(m.v2, 0, 1, 0) && eq(m.v3, 0, 0, 1);
}

}  // namespace kurvo::scenefile
