// The per-point mapping of the deformer: a point's Z in the deformer's space
// becomes a position along the path, its X and Y become offsets across the
// path in the path frame, shaped by the profile, scale and twist curves, the
// roll and the point's weight.
//
// PointMapper holds everything that does not depend on the point; the run
// fills it once (deformation_run.cpp) and maps the points block by block
// (MapBlock, the same as MapPoint for each point). Mapping allocates nothing
// and reads no container.
//
// A block is mapped in stages, each a loop over the block's points: the
// positions, the look-ups of each curve in turn, the arc-length conversions,
// the path points, the tangents and up directions, and last the arithmetic
// that places each point. Every
// point still gets exactly the calls and values it would get on its own (the
// host's evaluations depend only on their arguments); running one kind of
// call for many points in a row lets the processor overlap their work.
#pragma once

#include <cmath>
#include <cstring>
#include <numbers>

#include "deformer/path_frame.h"
#include "kurvo_api.h"

// One of the deformer's three curves. A container that lacks the curve (an
// old or hand-edited scene) reads as the curve's flat default instead of
// failing. The host's curve library is resolved once per run.
struct CurveLookup {
  CurveEvaluator curve;
  bool present = false;
  Real flat = 0;
  CurveLookup() = default;
  CurveLookup(const SplineData* data, Real flatValue)
      : curve(data ? data->Evaluator() : CurveEvaluator()), present(data != nullptr), flat(flatValue) {}
  Real At(Real x) const { return present ? curve.Y(x) : flat; }
};

struct PointMapper {
  // Points mapped together (MapBlock).
  static constexpr int32 kBlock = 64;

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

  // What one point needs between the stages; the rest of its mapping is
  // plain arithmetic.
  struct Pending {
    Vector rest;       // the point as it was
    Vector pathPoint;  // P
    Vector tangent;    // T (with a frame)
    Vector up;         // N (with a frame)
    Real profileAt;    // position on the profile curve
    Real pos;          // position on the path
    Real natural;      // the spline's own parameter at pos (on the path only)
    Real a, b;         // offsets across the path
    Real s;            // scale
    Real c, sn;        // cosine and sine of the roll
  };

  // True when point i of a block sits at the same path position as the point
  // before it, to the bit. Everything looked up by position (curves, path
  // point, tangent, up direction) is then copied rather than asked again:
  // every evaluation depends only on its arguments, so the copy is what the
  // call would have answered. Meshes made of rings or rows across the path
  // (tubes, lathes, extrusions, grids) have runs of such points.
  static bool SamePosition(const Pending* pending, int32 i) {
    return i > 0 && SameBits(pending[i].pos, pending[i - 1].pos);
  }
  static bool SameBits(Real x, Real y) {
    uint32 a, b;
    std::memcpy(&a, &x, sizeof a);
    std::memcpy(&b, &y, sizeof b);
    return a == b;
  }

  // Positions in [0, 1] (and not-a-number ones) are evaluated by the host;
  // the others lie on the straight extensions past the ends (path_frame.h).
  static bool OnPath(Real pos) { return !(pos > 1.0f) && !(pos < 0.0f); }

  // Deformer-space position, profile position and path position of a point.
  void Place(const Vector& p, Pending& out) const {
    const Vector q = toDeformer * p;
    out.rest = p;
    out.a = q.x;  // across-path offsets before the profile (Shape)
    out.b = q.y;
    out.profileAt = ((q.z - objectPosition.z) - zLow) * zScale;
    out.pos = PathPosition(q.z / length);
  }

  // The curve look-ups and the roll of every point of a block, one curve at a
  // time.
  void Shape(Pending* pending, int32 count) const {
    // The profile's factor depends on the deformer-space Z alone, as the
    // path position does: a point at the previous point's Z takes its factor.
    Real k = 0;
    for (int32 i = 0; i < count; ++i) {
      Pending& p = pending[i];
      if (i == 0 || !SameBits(p.profileAt, pending[i - 1].profileAt))
        k = profileStrength * profile.At(p.profileAt);
      p.a = objectPosition.x + (p.a - objectPosition.x) * k;
      p.b = objectPosition.y + (p.b - objectPosition.y) * k;
    }
    for (int32 i = 0; i < count; ++i)
      pending[i].s = SamePosition(pending, i) ? pending[i - 1].s : scaleStrength * scale.At(pending[i].pos);

    for (int32 i = 0; i < count; ++i) {
      pending[i].c = rotationCos;
      pending[i].sn = rotationSin;
    }
    // The twist acts only through the random value: with r = 0 the roll is
    // KURVO_ROTATION alone, so the twist curve is not even looked up.
    if (twistStrength == 0.0f || random == 0.0f) return;
    for (int32 i = 0; i < count; ++i) {
      Pending& p = pending[i];
      if (SamePosition(pending, i)) {
        p.c = pending[i - 1].c;
        p.sn = pending[i - 1].sn;
        continue;
      }
      const Real tw = twistStrength * twist.At(p.pos);
      if (tw == 0.0f) continue;
      const Real tr = static_cast<Real>(static_cast<double>(tw) * std::numbers::pi / 180.0);
      const Real angle = tr * random + rotation;
      p.c = std::cos(angle);
      p.sn = std::sin(angle);
    }
  }

  // Path point, tangent and up direction of every point of a block: one
  // arc-length conversion per point serves both the point and the tangent.
  void LookUpPath(Pending* pending, int32 count) const {
    const PathRecord& path = *frame.path;
    const SplineEvaluator spline(path.spline);
    for (int32 i = 0; i < count; ++i)
      if (OnPath(pending[i].pos) && !SamePosition(pending, i))
        pending[i].natural = spline.UniformToNatural(pending[i].pos);
    for (int32 i = 0; i < count; ++i) {
      Pending& p = pending[i];
      if (SamePosition(pending, i))
        p.pathPoint = pending[i - 1].pathPoint;
      else if (OnPath(p.pos))
        spline.Point(p.natural, p.pathPoint);
      else
        p.pathPoint = PointAt(path, p.pos);
    }
    if (!needsTangent) return;
    for (int32 i = 0; i < count; ++i) {
      Pending& p = pending[i];
      if (SamePosition(pending, i))
        p.tangent = pending[i - 1].tangent;
      else if (OnPath(p.pos))
        spline.Tangent(p.natural, p.tangent);
      else
        p.tangent = TangentAt(path, p.pos);
    }
    for (int32 i = 0; i < count; ++i)
      pending[i].up = SamePosition(pending, i) ? pending[i - 1].up
                                               : UpDirection(pending[i].pos, pending[i].pathPoint, frame);
  }

  // The placing arithmetic of a block: cross-section axes
  // (CrossSectionAxes), roll, scale, the
  // offsets across the path, the way back to object space and the weight.
  // The values are first laid out one array per component, so that the
  // compiler can run the loop on several points per instruction; each point
  // still gets exactly the operations, in the same order, that it would get
  // alone. out[i] is the new position of point firstIndex + i.
  void FinishBlock(const Pending* pending, int32 count, int32 firstIndex, Vector* out) const {
    alignas(16) Real tx[kBlock], ty[kBlock], tz[kBlock], ux[kBlock], uy[kBlock], uz[kBlock];
    alignas(16) Real px[kBlock], py[kBlock], pz[kBlock], a[kBlock], b[kBlock], s[kBlock];
    alignas(16) Real c[kBlock], sn[kBlock], ox[kBlock], oy[kBlock], oz[kBlock];
    for (int32 i = 0; i < count; ++i) {
      const Pending& p = pending[i];
      // Without a frame both axes are zero: a zero tangent gives exactly that.
      const Vector t = needsTangent ? p.tangent : Vector();
      const Vector u = needsTangent ? p.up : Vector();
      tx[i] = t.x, ty[i] = t.y, tz[i] = t.z;
      ux[i] = u.x, uy[i] = u.y, uz[i] = u.z;
      px[i] = p.pathPoint.x, py[i] = p.pathPoint.y, pz[i] = p.pathPoint.z;
      a[i] = p.a, b[i] = p.b, s[i] = p.s, c[i] = p.c, sn[i] = p.sn;
    }
    const Matrix& m = toObject;
    for (int32 i = 0; i < count; ++i) {
      Real xx, xy, xz, yx, yy, yz;
      CrossSectionAxes(tx[i], ty[i], tz[i], ux[i], uy[i], uz[i], xx, xy, xz, yx, yy, yz);
      // Roll, then scale (a factor of 1 changes nothing, so it is always applied).
      const Real rx = (xx * c[i] - yx * sn[i]) * s[i], ry = (xy * c[i] - yy * sn[i]) * s[i],
                 rz = (xz * c[i] - yz * sn[i]) * s[i];
      const Real vx = (xx * sn[i] + yx * c[i]) * s[i], vy = (xy * sn[i] + yy * c[i]) * s[i],
                 vz = (xz * sn[i] + yz * c[i]) * s[i];
      // Q = P + X a + Y b in path space, then into object space.
      const Real qx = px[i] + rx * a[i] + vx * b[i];
      const Real qy = py[i] + ry * a[i] + vy * b[i];
      const Real qz = pz[i] + rz * a[i] + vz * b[i];
      ox[i] = m.off.x + m.v1.x * qx + m.v2.x * qy + m.v3.x * qz;
      oy[i] = m.off.y + m.v1.y * qx + m.v2.y * qy + m.v3.y * qz;
      oz[i] = m.off.z + m.v1.z * qx + m.v2.z * qy + m.v3.z * qz;
    }
    if (!weights) {
      for (int32 i = 0; i < count; ++i) out[i] = Vector(ox[i], oy[i], oz[i]);
      return;
    }
    for (int32 i = 0; i < count; ++i) {
      const Real w = weights[firstIndex + i];
      const Vector n(ox[i], oy[i], oz[i]);
      out[i] = n * w + pending[i].rest * (1.0f - w);
    }
  }

  // The new position of point `index`, now at p, in the object's own
  // coordinates.
  Vector MapPoint(int32 index, const Vector& p) const {
    Pending pending;
    Place(p, pending);
    Shape(&pending, 1);
    LookUpPath(&pending, 1);
    Vector out;
    FinishBlock(&pending, 1, index, &out);
    return out;
  }

  // Maps points [first, first + count) in place; count <= kBlock.
  void MapBlock(Vector* points, int32 first, int32 count) const {
    Pending pending[kBlock];
    for (int32 i = 0; i < count; ++i) Place(points[first + i], pending[i]);
    Shape(pending, count);
    LookUpPath(pending, count);
    FinishBlock(pending, count, first, points + first);
  }
};
