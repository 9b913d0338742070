// The reference deformation: where every point of a differential-test scene
// should land, computed straight from the deformer's formulas in double
// precision with this folder's own splines, curves, matrices and random
// generator.
//
// Each expected point carries a tolerance: the error that float arithmetic
// in the module and the host may honestly make there, in world units. It is
// the sum of
//  - 2e-6 of the sizes involved (positions, path length, offsets): float
//    rounding through a few dozen operations and the host's arc-length table,
//    which is right to a millionth of the length;
//  - the rounding of the path position (half a float step of the position
//    sum, which on a closed path carries the extra 1000 and so is coarse,
//    plus a few steps of the fraction) times how fast the point moves with
//    the position;
//  - for the frame, 64 float steps times the frame's condition number
//    (1 / sin of the angle between tangent and up direction; in up mode 1 the
//    same for the two path positions it crosses) times the offset across the
//    path.
// A point whose tolerance exceeds 1e-4 of the path's length in world units
// is ill-conditioned (near a sharp corner, or with a frame that float
// precision barely defines, as up mode 1's often is): it is still compared
// against its own tolerance, which catches gross faults, and counted apart.
#pragma once

#include <vector>

#include "reference_scene.h"

namespace kurvo::reference {

struct ExpectedPoint {
  DVec3 position;        // object coordinates
  double tolerance = 0;  // world units
  bool tight = true;     // false: ill-conditioned, see above
};

struct Expected {
  std::vector<ExpectedPoint> points;
  double pathLength = 0;       // in the path's own coordinates
  double worldPathLength = 0;  // bound of its length in world units
  DMat objectMatrix;           // the object's global matrix
};

Expected ReferenceDeformation(const Scene &scene);

}  // namespace kurvo::reference
