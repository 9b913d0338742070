// An object's placement as the parts a user animates: position, rotation in
// degrees about the parent's X, then Y, then Z axis, and scale
// (M = T * Rz * Ry * Rx * S).
#pragma once

#include "kh_types.h"
#include "vector.h"

namespace kurvo::animation {

struct PlacementParts {
  Vector position;
  Vector rotation;  // degrees
  Vector scale{1.0f, 1.0f, 1.0f};
};

KhMatrix composePlacement(const Vector& position, const Vector& rotationDegrees, const Vector& scale);
inline KhMatrix composePlacement(const PlacementParts& p) { return composePlacement(p.position, p.rotation, p.scale); }

}  // namespace kurvo::animation
