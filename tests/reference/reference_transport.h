// The reference's rotation-minimising frame: the up vector carried along an
// arc-length path by many small minimal rotations (each turns the previous
// tangent onto the next about their common normal), in double precision,
// on 256 samples per span (so that every join between spans is a sample). A different method from the module's double
// reflection on coarser samples; both converge on the same frame.
#pragma once

#include <vector>

#include "reference_math.h"
#include "reference_spline.h"

namespace kurvo::reference {

class Transport {
 public:
  // `up` is projected square to the start tangent; parallel (or zero), the
  // axis of the path's own coordinates least aligned with the tangent is used
  // (X, then Y, then Z on a tie). A closed path spreads its closing angle evenly over its length.
  Transport(const ArcPath& path, bool closed, DVec3 up);
  // The transported up direction at arc-length fraction u (held past the
  // ends), unit and square to the tangent there.
  DVec3 UpAt(double u) const;

 private:
  std::vector<double> fractions_;
  std::vector<DVec3> ups_;
};

}  // namespace kurvo::reference
