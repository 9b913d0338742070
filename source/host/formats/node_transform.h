// A placement as a glTF node's translation, rotation and scale.
//
// A node composes T * R * S: a rotation times a positive scale along the
// object's own axes. A placement of that form (axes at right angles, none
// of zero length, not mirrored) is taken apart into those three; any other
// (sheared, flat or mirrored) has no such form, and its object must be
// written with the placement applied to its points instead.
//
// The placement is brought into the file's frame first: with the mirror
// of axis_convention.h, S = diag(1, 1, -1), the file sees S * M * S for the
// host's M, so that node(S p) = S (M p). Translations are multiplied by
// the export scale; the object's points are expected in file units too
// (S p * scale), so the node's own scale stays that of the object.
#ifndef KURVO_MEDIA_NODE_TRANSFORM_H
#define KURVO_MEDIA_NODE_TRANSFORM_H

#include <array>
#include <optional>

#include "matrix.h"
#include "vector.h"

namespace kurvo::media {

struct NodeTransform {
  Vector translation;
  std::array<float, 4> rotation{0.0f, 0.0f, 0.0f, 1.0f};  // unit quaternion x, y, z, w
  Vector scale{1.0f, 1.0f, 1.0f};
};

// Axes at right angles within this fraction of their lengths count as
// unsheared; float products of rotations stay far inside it.
constexpr double kShearTolerance = 1e-5;

// None when the placement is not a rotation times a positive scale, or a
// value does not fit a float.
std::optional<NodeTransform> node_transform(const Matrix& placement, bool mirror, float scale);

}  // namespace kurvo::media

#endif
