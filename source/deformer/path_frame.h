// Evaluation of the path (and rail) at any position, and the cross-section
// frame at a position.
//
// A position is an arc-length fraction: 0 is the start of the spline's first
// segment, 1 its end. Past either end the path continues as a straight line
// along its end tangent. Everything here is called per deformed point, so it
// stays inline, allocation-free and reads only what the run prepared.
#pragma once

#include <cmath>

#include "deformer/kurvo_params.h"
#include "kurvo_api.h"

// One spline as the deformation run prepared it: its length table is built
// (InitLength) for as long as the record is used.
struct PathRecord {
  SplineObject* spline = nullptr;  // null: no spline; every value below is zero
  Real length = 0;
  Vector endPoint, endTangent;      // at position 1
  Vector startPoint, startTangent;  // at position 0
};

// Host evaluation inside [0, 1]: one conversion to the spline's own parameter
// serves both the point and the tangent.
inline Vector HostPointAt(const PathRecord& rec, Real p) {
  return rec.spline->GetSplinePoint(rec.spline->UniformToNatural(p), 0, nullptr);
}
inline Vector HostTangentAt(const PathRecord& rec, Real p) {
  return rec.spline->GetSplineTangent(rec.spline->UniformToNatural(p), 0, nullptr);
}

// Fills the end values of a record whose spline and length are set: point and
// tangent at 1, then point and tangent at 0.
inline void ReadEndValues(PathRecord& rec) {
  rec.endPoint = HostPointAt(rec, 1.0f);
  rec.endTangent = HostTangentAt(rec, 1.0f);
  rec.startPoint = HostPointAt(rec, 0.0f);
  rec.startTangent = HostTangentAt(rec, 0.0f);
}

inline Vector PointAt(const PathRecord& rec, Real p) {
  if (p > 1.0f) return rec.endPoint + rec.endTangent * ((p - 1.0f) * rec.length);
  if (p < 0.0f) return rec.startPoint + rec.startTangent * (p * rec.length);
  return HostPointAt(rec, p);
}

inline Vector TangentAt(const PathRecord& rec, Real p) {
  if (p > 1.0f) return rec.endTangent;
  if (p < 0.0f) return rec.startTangent;
  return HostTangentAt(rec, p);
}

// Point and tangent together; inside [0, 1] the natural parameter is looked up
// once for both.
inline void PointAndTangentAt(const PathRecord& rec, Real p, Vector& point, Vector& tangent) {
  if (p > 1.0f) {
    point = rec.endPoint + rec.endTangent * ((p - 1.0f) * rec.length);
    tangent = rec.endTangent;
  } else if (p < 0.0f) {
    point = rec.startPoint + rec.startTangent * (p * rec.length);
    tangent = rec.startTangent;
  } else {
    const Real t = rec.spline->UniformToNatural(p);
    point = rec.spline->GetSplinePoint(t, 0, nullptr);
    tangent = rec.spline->GetSplineTangent(t, 0, nullptr);
  }
}

// Per-run inputs of the frame.
struct FrameSetup {
  int32 upMode = 0;                  // raw KURVO_UP_MODE
  Vector upNormal;                   // normalised KURVO_UP_VECTOR (mode 0)
  const PathRecord* path = nullptr;
  const PathRecord* rail = nullptr;  // null unless the rail resolved to a spline
  Matrix railMatrix;                 // the rail object's global matrix
};

// Tangent and the two cross-section axes at a position. X = normalise(N x T),
// Y is perpendicular to X and T; both are unit length, and both are zero when
// T and N are parallel or either is zero.
struct PathFrame {
  Vector tangent, x, y;
};

// Cross-section axes from tangent T and up direction N: with C = T x N,
// X = -C / |C| and Y = (C x T) / (|C| |T|). C is perpendicular to T, so
// |C x T| = |C| |T| and both axes come out unit length; one division serves
// both. Written without a branch (the zero case is a choice between values),
// so that a block of points inlines it and runs several points per
// instruction. Every code path that places points goes through here.
inline void CrossSectionAxes(Real tx, Real ty, Real tz, Real nx, Real ny, Real nz, Real& xx, Real& xy, Real& xz,
                             Real& yx, Real& yy, Real& yz) {
  const Real cx = ty * nz - tz * ny;
  const Real cy = tz * nx - tx * nz;
  const Real cz = tx * ny - ty * nx;
  const Real c2 = cx * cx + cy * cy + cz * cz;
  const Real lenC = std::sqrt(c2);
  const Real lenT = std::sqrt(tx * tx + ty * ty + tz * tz);
  const Real inv = 1.0f / (lenC * lenT);
  const bool none = c2 == 0.0f;
  const Real kx = -lenT * inv;
  const Real xx0 = cx * kx, xy0 = cy * kx, xz0 = cz * kx;
  const Real yx0 = (cy * tz - cz * ty) * inv;
  const Real yy0 = (cz * tx - cx * tz) * inv;
  const Real yz0 = (cx * ty - cy * tx) * inv;
  xx = none ? 0.0f : xx0, xy = none ? 0.0f : xy0, xz = none ? 0.0f : xz0;
  yx = none ? 0.0f : yx0, yy = none ? 0.0f : yy0, yz = none ? 0.0f : yz0;
}

inline void CrossSectionAxes(const Vector& t, const Vector& n, PathFrame& frame) {
  CrossSectionAxes(t.x, t.y, t.z, n.x, n.y, n.z, frame.x.x, frame.x.y, frame.x.z, frame.y.x, frame.y.y, frame.y.z);
}

// Up direction N at position p for the modes that yield a frame, given the
// path point P = PointAt(path, p). Only valid when FrameNeedsTangent(setup).
inline Vector UpDirection(Real p, const Vector& pathPoint, const FrameSetup& setup) {
  if (setup.upMode == KURVO_UP_MODE_VECTOR) return setup.upNormal;
  if (setup.upMode == KURVO_UP_MODE_RAIL) {
    // The rail point is taken to world space while the path point stays in
    // the path object's space; the difference is used as it stands.
    const Vector railPoint = setup.railMatrix * PointAt(*setup.rail, p);
    return Normalize(railPoint - pathPoint);
  }
  // Path shape: the offsets are added in double precision, then rounded to
  // the float position that is evaluated.
  const Vector a = PointAt(*setup.path, static_cast<Real>(static_cast<double>(p) + 0.0001));
  const Vector c = PointAt(*setup.path, static_cast<Real>(static_cast<double>(p) + 0.0002));
  return Normalize(Cross(a, c));
}

// True when the mode uses the tangent (every mode that yields a frame).
inline bool FrameNeedsTangent(const FrameSetup& setup) {
  return setup.upMode == KURVO_UP_MODE_VECTOR || setup.upMode == KURVO_UP_MODE_PATH ||
         (setup.upMode == KURVO_UP_MODE_RAIL && setup.rail != nullptr);
}

// Frame at position p, given the path point P = PointAt(path, p). Mode 2
// without a rail spline, or an unknown mode, gives an all-zero frame.
inline PathFrame BuildFrame(Real p, const Vector& pathPoint, const FrameSetup& setup) {
  PathFrame frame;
  if (!FrameNeedsTangent(setup)) return frame;
  frame.tangent = TangentAt(*setup.path, p);
  CrossSectionAxes(frame.tangent, UpDirection(p, pathPoint, setup), frame);
  return frame;
}
