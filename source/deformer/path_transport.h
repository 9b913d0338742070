// Up mode 3, "follow the path": the up direction carried along the path by
// parallel transport, so the cross-section turns with the path but never
// spins about it (a rotation-minimising frame).
//
// The run builds a table once: the path sampled at evenly spaced arc-length
// positions, and at each sample the transported up direction, square to the
// tangent there. Transport from one sample to the next is the double
// reflection of Wang, Juettler, Zheng and Liu (2008): exact for rigid motions
// and for the corners of a polyline; where the tangent turns sharply between
// two samples (a corner of a curved path) the frame takes the shortest turn
// that carries the one tangent onto the other instead. It starts from the up vector projected
// square to the start tangent (if the two are parallel, from the world axis
// least aligned with the tangent). On a closed path the angle by which the
// transported frame comes back turned is spread evenly along the path, so
// the seam does not jump. Per point the up direction is interpolated between
// the two nearest samples; past either end it is that of the end.
#pragma once

#include "kurvo_api.h"

struct PathRecord;

class PathTransport {
 public:
  PathTransport() = default;
  PathTransport(const PathTransport&) = delete;
  PathTransport& operator=(const PathTransport&) = delete;
  ~PathTransport() { Free(); }

  // Samples of a path of `controlPoints` points: 64 per span, at least 1025
  // and at most 65537 (about 0.8 MB and a few milliseconds per run).
  static int32 SampleCount(int32 controlPoints);

  // Builds the table for a path whose length table is in use. False when
  // memory is short; the table is then empty and UpAt answers zero, which
  // gives the zero frame of a mode without a frame.
  bool Build(const PathRecord& path, int32 controlPoints, bool closed, const Vector& up);
  void Free();

  // The transported up direction at arc-length position pos.
  Vector UpAt(Real pos) const {
    if (count_ == 0) return Vector();
    if (!(pos > 0.0f)) return ups_[0];  // also NaN
    if (pos >= 1.0f) return ups_[count_ - 1];
    const Real f = pos * last_;
    int32 i = static_cast<int32>(f);
    if (i >= count_ - 1) i = count_ - 2;
    const Real w = f - static_cast<Real>(i);
    return ups_[i] + (ups_[i + 1] - ups_[i]) * w;
  }

 private:
  Vector* ups_ = nullptr;
  int32 count_ = 0;
  Real last_ = 0;  // count_ - 1
};
