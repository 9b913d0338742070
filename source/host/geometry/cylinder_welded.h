// The cylinder primitive built with its seam and caps already joined.
//
// The cylinder is made of pieces (a grid whose last column lies on its first,
// and caps with rims of their own) that the welding joins. When no two points
// of the grid lie within the welding tolerance except the seam's pairs, what
// the welding does follows from the grid alone: the last column becomes the
// first, the caps' rims become the grid's end rows, nothing else moves. Built
// that way directly, a large cylinder skips the welding's point search and
// its second copy of the mesh.
#ifndef KURVO_GEO_CYLINDER_WELDED_H
#define KURVO_GEO_CYLINDER_WELDED_H

#include <cmath>
#include <cstdint>
#include <optional>

#include "mesh_primitives.h"

namespace kurvo::geo {

// Point i of nr around the rim, at height z; i == nr is the seam's copy of 0.
inline Vector CylinderRimPoint(float radius, int32_t nr, int32_t i, float z) {
  constexpr double kPi = 3.14159265358979323846;
  const double a = 2.0 * kPi * i / nr;
  return Vector(static_cast<float>(radius * std::cos(a)), static_cast<float>(radius * std::sin(a)), z);
}

// Height of row j of nh + 1, from -height/2 to +height/2.
inline float CylinderRowZ(float height, int32_t nh, int32_t j) {
  return height * (static_cast<float>(j) / nh - 0.5f);
}

// Height of the cap on `side` (+1 top, -1 bottom).
inline float CylinderCapZ(float height, float side) { return 0.5f * height * side; }

// The cylinder of nr >= 3 segments around and nh >= 1 along, as welding its
// pieces with `tolerance` would give it; nothing when that cannot be shown
// from the radius, the height, the counts and the tolerance (the caller welds
// the pieces then).
std::optional<Mesh> MakeCylinderWelded(float radius, float height, int32_t nr, int32_t nh, bool caps,
                                       float tolerance);

}  // namespace kurvo::geo

#endif
