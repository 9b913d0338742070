// The per-point mapping of the deformer: a point's Z in the deformer's space
// becomes a position along the path, its X and Y become offsets across the
// path in the path frame, shaped by the profile, scale and twist curves, the
// roll and the point's weight.
//
// PointMapper holds everything that does not depend on the point; the run
// fills it once (deformation_run.cpp) and maps the points block by block
// (MapBlock, the same as MapPoint for each point). Mapping allocates nothing
// and reads no container.
#pragma once

#include <cmath>
#include <numbers>

#include "deformer/path_frame.h"
#include "kurvo_api.h"

// One of the deformer's three curves. A container that lacks the curve (an
// old or hand-edited scene) reads as the curve's flat default instead of
// failing.
struct CurveLookup {
  const SplineData* curve = nullptr;
  Real flat = 0;
  Real At(Real x) const { return curve ? curve->GetPoint(x).y : flat; }
};

struct PointMapper {
  // Matrices.
  Matrix toDeformer;  // inverse(deformer global) x object global
  Matrix toObject;    // inverse(object global) x path global: path space to object space

  // Path.
  FrameSetup frame;
  Real length = 0;       // path length L, not 0 (a zero-length path is not mapped)
  bool closed = false;
  Real offset = 0;       // KURVO_OFFSET, plus 1000 on a closed path
  Real step = 0;         // L / 1000
  bool stretch = false;  // KURVO_STRETCH (any non-zero value)
  Real stretchFactor = 0;

  // Profile over the object's own Z extent.
  Vector objectPosition;  // G: the object's global position
  Real zLow = 0;
  Real zScale = 0;        // 1 / (2 h.z); 0 for an object without Z extent
  CurveLookup profile{nullptr, 1};
  Real profileStrength = 1;

  // Scale, twist and roll.
  CurveLookup scale{nullptr, 1};
  Real scaleStrength = 1;
  CurveLookup twist{nullptr, 0};
  Real twistStrength = 0;
  Real random = 0;        // r: one draw per run times KURVO_RANDOM
  Real rotation = 0;      // KURVO_ROTATION
  Real rotationCos = 1;   // cos and sin of the roll when the twist is idle
  Real rotationSin = 0;

  const Real* weights = nullptr;

  bool needsTangent = false;  // the up mode yields a frame

  // Call once after filling the fields above.
  void Prepare() {
    rotationCos = std::cos(rotation);
    rotationSin = std::sin(rotation);
    needsTangent = FrameNeedsTangent(frame);
  }

  Real PathPosition(Real u) const {
    const Real along = stretch ? (stretchFactor * u) * step + offset : offset + u;
    if (!closed) return along;
    return static_cast<Real>(std::fmod(static_cast<double>(along), 1.0));
  }

  // What one point needs after the curve and path look-ups: the rest of its
  // mapping is plain arithmetic, done for a block of points at a time so
  // that the square roots and divisions of neighbouring points overlap.
  struct Pending {
    Vector rest;       // the point as it was
    Vector pathPoint;  // P
    Vector tangent;    // T (with a frame)
    Vector up;         // N (with a frame)
    Real a, b;         // offsets across the path
    Real s;            // scale
    Real c, sn;        // cosine and sine of the roll
  };

  void Gather(const Vector& p, Pending& out) const {
    const Vector q = toDeformer * p;
    const Real u = q.z / length;

    const Real t = ((q.z - objectPosition.z) - zLow) * zScale;
    const Real k = profileStrength * profile.At(t);
    out.a = objectPosition.x + (q.x - objectPosition.x) * k;
    out.b = objectPosition.y + (q.y - objectPosition.y) * k;

    const Real pos = PathPosition(u);
    out.s = scaleStrength * scale.At(pos);

    // The twist acts only through the random value: with r = 0 the roll is
    // KURVO_ROTATION alone, so the twist curve is not even looked up.
    Real tw = 0;
    if (twistStrength != 0.0f && random != 0.0f) tw = twistStrength * twist.At(pos);

    if (needsTangent) {
      PointAndTangentAt(*frame.path, pos, out.pathPoint, out.tangent);
      out.up = UpDirection(pos, out.pathPoint, frame);
    } else {
      out.pathPoint = PointAt(*frame.path, pos);
    }

    out.c = rotationCos;
    out.sn = rotationSin;
    if (tw != 0.0f) {
      const Real tr = static_cast<Real>(static_cast<double>(tw) * std::numbers::pi / 180.0);
      const Real angle = tr * random + rotation;
      out.c = std::cos(angle);
      out.sn = std::sin(angle);
    }
    out.rest = p;
  }

  Vector Finish(int32 index, const Pending& in) const {
    PathFrame axes;
    if (needsTangent) CrossSectionAxes(in.tangent, in.up, axes);
    Vector x = axes.x * in.c - axes.y * in.sn;
    Vector y = axes.x * in.sn + axes.y * in.c;
    if (in.s != 1.0f) {
      x = x * in.s;
      y = y * in.s;
    }
    const Vector n = toObject * (in.pathPoint + x * in.a + y * in.b);
    if (!weights) return n;
    const Real w = weights[index];
    return n * w + in.rest * (1.0f - w);
  }

  // The new position of point `index`, now at p, in the object's own
  // coordinates.
  Vector MapPoint(int32 index, const Vector& p) const {
    Pending pending;
    Gather(p, pending);
    return Finish(index, pending);
  }

  // Maps points [first, first + count) in place; count <= kBlock.
  static constexpr int32 kBlock = 64;
  void MapBlock(Vector* points, int32 first, int32 count) const {
    Pending pending[kBlock];
    for (int32 i = 0; i < count; ++i) Gather(points[first + i], pending[i]);
    for (int32 i = 0; i < count; ++i) points[first + i] = Finish(first + i, pending[i]);
  }
};
