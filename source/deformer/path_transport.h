// Up mode 3, "follow the path": the up direction carried along the path by
// parallel transport, so the cross-section turns with the path but never
// spins about it (a rotation-minimising frame).
//
// The table: the path sampled at evenly spaced arc-length positions, and at
// each sample the transported up direction, square to the tangent there.
// Transport from one sample to the next is the double reflection of Wang,
// Juettler, Zheng and Liu (2008): exact for rigid motions, very accurate
// while the tangent turns little; where the tangent turns sharply between two
// samples the interval is halved, down to the shortest turn that carries the
// one tangent onto the other. Every span join where the tangent jumps (the
// corners of a linear path, broken Bezier tangents) is a sample of its own
// with both sides: the frame turns there by the shortest turn from the
// incoming tangent onto the outgoing one, at the corner itself, and is never
// blended across it.
//
// It starts from the up vector projected square to the start tangent. If the
// two are parallel (or up is zero), it starts from whichever axis of the path
// object's own coordinates (the ones the up vector is given in) is least
// aligned with the start tangent, X before Y before Z on a tie. On a closed
// path the angle by which the transported frame comes back turned is spread
// evenly along the path, so the seam does not jump. Per point the up
// direction is interpolated between the two nearest samples; past either end
// it is that of the end.
//
// A run keeps its table in the deformer (PathTransportCache) and builds it
// again only when the path changed.
#pragma once

#include <atomic>

#include "kurvo_api.h"

struct PathRecord;

class PathTransport {
 public:
  PathTransport() = default;
  PathTransport(const PathTransport&) = delete;
  PathTransport& operator=(const PathTransport&) = delete;
  ~PathTransport() { Free(); }

  // Samples of a path of `controlPoints` points: 64 per span, at least 1025
  // and at most 65537 (about 1 MB and a few milliseconds to build).
  static int32 SampleCount(int32 controlPoints);

  // Builds the table for a path whose length table is in use. False when
  // memory is short; the table is then empty and UpAt answers zero, which
  // gives the zero frame of a mode without a frame.
  bool Build(const PathRecord& path, int32 controlPoints, bool closed, const Vector& up);
  void Free();
  bool Empty() const { return count_ == 0; }
  // Span joins at which the tangent jumps (for tests and diagnostics).
  int32 CornerCount() const { return cornerCount_; }

  // The transported up direction at arc-length position pos.
  Vector UpAt(Real pos) const {
    if (count_ == 0) return Vector();
    if (!(pos > 0.0f)) return entries_[0].up;  // also NaN
    if (pos >= 1.0f) return entries_[count_ - 1].up;
    const Real f = pos * last_;
    int32 i = static_cast<int32>(f);
    if (i >= count_ - 1) i = count_ - 2;
    const Real w = f - static_cast<Real>(i);
    const Entry& a = entries_[i];
    if (a.corner >= 0) return UpNearCorners(pos, i, w);
    return a.up + (entries_[i + 1].up - a.up) * w;
  }

 private:
  // A sample, and the first corner within the interval that starts at it
  // (-1: none).
  struct Entry {
    Vector up;
    int32 corner;
  };
  // A span join where the tangent jumps: its position, where it lies within
  // its interval (0 to 1) and the up direction on either side of it.
  struct Corner {
    Real pos;
    Real within;
    int32 interval;
    Vector before, after;
  };
  Vector UpNearCorners(Real pos, int32 interval, Real w) const;

  Entry* entries_ = nullptr;
  int32 count_ = 0;
  Real last_ = 0;  // count_ - 1
  Corner* corners_ = nullptr;
  int32 cornerCount_ = 0;
};

// The table a deformer keeps from run to run. It is used again while the
// path object, its change counter, the path's points, length, point count,
// closedness and the up vector are those it was built for, and built again as
// soon as any of them moves (the points are compared as well as the counter,
// because a point array can be written in place without the counter moving).
// One run at a time holds it; a run that finds it held builds a table of its
// own, so no run waits and none changes a table another is reading.
class PathTransportCache {
 public:
  PathTransportCache() = default;
  PathTransportCache(const PathTransportCache&) = delete;
  PathTransportCache& operator=(const PathTransportCache&) = delete;
  ~PathTransportCache() { _GeFree(points_); }

  // Tables built so far (for tests and diagnostics).
  int32 Builds() const { return builds_.load(std::memory_order_relaxed); }

  // The table for one run, released when the use ends. When memory was short
  // for it, Get() is an empty table (whose up direction is zero).
  class Use {
   public:
    Use(PathTransportCache& cache, BaseObject* pathObject, SplineObject* pathSpline, const PathRecord& path,
        bool closed, const Vector& up);
    ~Use();
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    const PathTransport* Get() const { return table_; }

   private:
    PathTransportCache* held_ = nullptr;
    PathTransport own_;
    const PathTransport* table_ = &own_;
  };

 private:
  bool Matches(BaseObject* pathObject, uint32 counter, const Vector* points, int32 count, bool closed,
               const Vector& up, Real length) const;
  bool Keep(BaseObject* pathObject, uint32 counter, const Vector* points, int32 count, bool closed, const Vector& up,
            Real length);

  std::atomic<bool> busy_{false};
  std::atomic<int32> builds_{0};
  PathTransport table_;
  bool valid_ = false;
  BaseObject* pathObject_ = nullptr;
  uint32 counter_ = 0;
  Vector* points_ = nullptr;
  int32 pointCount_ = 0;
  bool closed_ = false;
  Vector up_;
  Real length_ = 0;
};
