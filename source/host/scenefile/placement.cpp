#include "placement.h"

namespace kurvo::scenefile {

KhMatrix readPlacement(const Json& object, const ReadContext& context) {
  const bool hasMatrix = object.contains("matrix");
  const bool hasParts = object.contains("position") || object.contains("rotation") || object.contains("scale");
  if (hasMatrix && hasParts)
    context.fail("matrix", "give either \"matrix\" or \"position\"/\"rotation\"/\"scale\", not both");
  if (hasMatrix) return context.matrix(object["matrix"], "matrix");
  return animation::composePlacement(readPlacementParts(object, context));
}

animation::PlacementParts readPlacementParts(const Json& object, const ReadContext& context) {
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
  return {position, rotation, scale};
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
