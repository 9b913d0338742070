// An object's placement in a scene file: either "matrix" (translation, then
// the X, Y and Z axes, local to the parent) or "position", "rotation" and
// "scale". Rotation is in degrees about the parent's X, then Y, then Z axis
// (M = T * Rz * Ry * Rx * S); scale is [sx, sy, sz] or one number.
#pragma once

#include "json_text.h"
#include "kh_types.h"
#include "placement_parts.h"
#include "read_context.h"

namespace kurvo::scenefile {

// The local matrix an object entry asks for (identity when it gives none).
KhMatrix readPlacement(const Json& object, const ReadContext& context);

// The matrix as written by the writer.
Json matrixJson(const KhMatrix& m);
bool isIdentity(const KhMatrix& m);

// The position, rotation and scale an entry gives (defaults for those it
// leaves out); not for entries that give "matrix".
animation::PlacementParts readPlacementParts(const Json& object, const ReadContext& context);

// The matrix of position, rotation (degrees) and scale.
inline KhMatrix composePlacement(const Vector& position, const Vector& rotationDegrees, const Vector& scale) {
  return animation::composePlacement(position, rotationDegrees, scale);
}

}  // namespace kurvo::scenefile
