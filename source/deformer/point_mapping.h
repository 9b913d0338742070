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
// positions, the look-ups of each curve in turn, the path points and
// tangents (asked of the host for the whole block in one call where the host
// answers many positions at once), the up directions, and last the
// arithmetic that places each point. Every point still gets exactly the
// values it would get on its own (the host's evaluations depend only on
// their arguments, and its batched answers have the bits of its
// per-position ones); running one kind of work for many points in a row
// lets the processor overlap it.
#pragma once

#include <cmath>
#include <cstring>
#include <numbers>

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

#include "deformer/path_frame.h"
#include "deformer/roll_sin_cos.h"
#include "kurvo_api.h"

// MapBlock's stages run as plain loops over the block; where the loader can
// pick a function's variant at load time, MapBlock also comes compiled for
// processors with eight-float vectors (AVX2, without fused multiply-add, so
// that every operation stays the IEEE operation it is written as and each
// point keeps its bits), chosen when the processor has them.
// Not under ThreadSanitizer: it instruments the variant picker too, which the
// loader runs before the sanitizer's runtime is up, and the program dies
// before main.
#if defined(__x86_64__) && defined(__linux__) && defined(__GNUC__) && !defined(__clang__) && \
    !defined(__SANITIZE_THREAD__)
#define KURVO_BLOCK_VARIANTS [[gnu::target_clones("avx2", "default")]]
#else
#define KURVO_BLOCK_VARIANTS
#endif

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
  // At(x[i]) into y[i] for i < count, in one host call where it can.
  void AtMany(const Real* x, int32 count, Real* y) const {
    if (present) return curve.Ys(x, count, y);
    for (int32 i = 0; i < count; ++i) y[i] = flat;
  }
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

  // A block's values between the stages, one array per component, so that
  // the stages write where the placing arithmetic reads and the compiler can
  // run the plain loops on several points per instruction.
  struct Block {
    alignas(16) Real a[kBlock], b[kBlock];  // offsets across the path
    alignas(16) Real profileAt[kBlock];     // position on the profile curve
    alignas(16) Real pos[kBlock];           // position on the path
    alignas(16) Real s[kBlock];             // scale
    alignas(16) Real c[kBlock], sn[kBlock]; // cosine and sine of the roll
    alignas(16) Real px[kBlock], py[kBlock], pz[kBlock];  // P
    alignas(16) Real tx[kBlock], ty[kBlock], tz[kBlock];  // T (zero without a frame)
    alignas(16) Real ux[kBlock], uy[kBlock], uz[kBlock];  // N (zero without a frame)
    // True when point i sits at the same path position as the point before
    // it, to the bit. Everything looked up by position (curves, path point,
    // tangent, up direction) is then copied rather than asked again: every
    // evaluation depends only on its arguments, so the copy is what the call
    // would have answered. Meshes made of rings or rows across the path
    // (tubes, lathes, extrusions, grids) have runs of such points.
    bool same[kBlock];
    // The same for the profile position, and the number of runs of each
    // kind: a block whose points all differ (points in no particular order)
    // skips gathering and spreading the runs.
    bool sameProfile[kBlock];
    int32 runs = 0, profileRuns = 0;
  };

  // Point 0 of a block never copies (the test on i keeps that visible to the
  // compiler, which otherwise sees index -1 in the copies).
  static bool Same(const Block& block, int32 i) { return i > 0 && block.same[i]; }

  static bool SameBits(Real x, Real y) {
    uint32 a, b;
    std::memcpy(&a, &x, sizeof a);
    std::memcpy(&b, &y, sizeof b);
    return a == b;
  }

  // Positions in [0, 1] (and not-a-number ones) are evaluated by the host;
  // the others lie on the straight extensions past the ends (path_frame.h).
  static bool OnPath(Real pos) { return !(pos > 1.0f) && !(pos < 0.0f); }

  // Deformer-space position, profile position and path position of each
  // point.
  [[gnu::always_inline]] void Place(const Vector* points, int32 count, Block& block) const {
    // The points' coordinates side by side first (a point is stored as three
    // floats), so that the arithmetic runs on several points per
    // instruction: m * p term by term, as Matrix's operator gives it.
    alignas(16) Real x[kBlock], y[kBlock], z[kBlock];
    for (int32 i = 0; i < count; ++i) x[i] = points[i].x, y[i] = points[i].y, z[i] = points[i].z;
    const Matrix& m = toDeformer;
    for (int32 i = 0; i < count; ++i) {
      const Real qx = m.off.x + m.v1.x * x[i] + m.v2.x * y[i] + m.v3.x * z[i];
      const Real qy = m.off.y + m.v1.y * x[i] + m.v2.y * y[i] + m.v3.y * z[i];
      const Real qz = m.off.z + m.v1.z * x[i] + m.v2.z * y[i] + m.v3.z * z[i];
      block.a[i] = qx;  // across-path offsets before the profile (Shape)
      block.b[i] = qy;
      block.profileAt[i] = ((qz - objectPosition.z) - zLow) * zScale;
      // The path position (the offset added, or the stretch); on a closed
      // path its remainder of 1 below.
      const Real u = qz / length;
      block.pos[i] = stretch ? (stretchFactor * u) * step + offset : offset + u;
    }
    if (closed)
      for (int32 i = 0; i < count; ++i)
        block.pos[i] = static_cast<Real>(std::fmod(static_cast<double>(block.pos[i]), 1.0));
    block.same[0] = block.sameProfile[0] = false;
    int32 repeats = 0, profileRepeats = 0;
    for (int32 i = 1; i < count; ++i) {
      const bool same = SameBits(block.pos[i], block.pos[i - 1]);
      block.same[i] = same;
      repeats += same;
    }
    for (int32 i = 1; i < count; ++i) {
      const bool same = SameBits(block.profileAt[i], block.profileAt[i - 1]);
      block.sameProfile[i] = same;
      profileRepeats += same;
    }
    block.runs = count - repeats;
    block.profileRuns = count - profileRepeats;
  }

  // Place for a single point, written point-wise (Matrix's operator, the
  // path position as a function): the values Place gives, by another road.
  void PlaceOne(const Vector& p, Block& block) const {
    const Vector q = toDeformer * p;
    block.a[0] = q.x;
    block.b[0] = q.y;
    block.profileAt[0] = ((q.z - objectPosition.z) - zLow) * zScale;
    block.pos[0] = PathPosition(q.z / length);
    block.same[0] = block.sameProfile[0] = false;
    block.runs = block.profileRuns = 1;
  }
  Real PathPosition(Real u) const {
    const Real along = stretch ? (stretchFactor * u) * step + offset : offset + u;
    if (!closed) return along;
    return static_cast<Real>(std::fmod(static_cast<double>(along), 1.0));
  }

  // The curve look-ups and the roll of every point of a block, one curve at a
  // time.
  [[gnu::always_inline]] void Shape(Block& block, int32 count) const {
    // The profile's factor depends on the deformer-space Z alone, as the
    // path position does: a point at the previous point's Z takes its factor.
    // Each curve is asked once per run, for all runs of the block at once.
    alignas(16) Real at[kBlock], value[kBlock];
    if (block.profileRuns == count) {
      profile.AtMany(block.profileAt, count, value);
      for (int32 i = 0; i < count; ++i) {
        const Real f = profileStrength * value[i];
        block.a[i] = objectPosition.x + (block.a[i] - objectPosition.x) * f;
        block.b[i] = objectPosition.y + (block.b[i] - objectPosition.y) * f;
      }
    } else if (block.profileRuns * 4 <= count) {
      // Long runs (rings): one look-up per run, the branch predicted.
      Real f = 0;
      for (int32 i = 0; i < count; ++i) {
        if (i == 0 || !block.sameProfile[i]) f = profileStrength * profile.At(block.profileAt[i]);
        block.a[i] = objectPosition.x + (block.a[i] - objectPosition.x) * f;
        block.b[i] = objectPosition.y + (block.b[i] - objectPosition.y) * f;
      }
    } else {
      // Short runs: the runs' positions gathered, asked at once, spread.
      int32 runs = 0;
      for (int32 i = 0; i < count; ++i) {
        at[runs] = block.profileAt[i];
        runs += i > 0 && block.sameProfile[i] ? 0 : 1;
      }
      profile.AtMany(at, runs, value);
      for (int32 i = 0, k = -1; i < count; ++i) {
        k += i > 0 && block.sameProfile[i] ? 0 : 1;
        const Real f = profileStrength * value[k];
        block.a[i] = objectPosition.x + (block.a[i] - objectPosition.x) * f;
        block.b[i] = objectPosition.y + (block.b[i] - objectPosition.y) * f;
      }
    }
    if (block.runs == count) {
      scale.AtMany(block.pos, count, value);
      for (int32 i = 0; i < count; ++i) block.s[i] = scaleStrength * value[i];
    } else if (block.runs * 4 <= count) {
      // Copies come from a value held in a register, not from the array
      // just written: reading back the previous element would chain every
      // point of a run to its neighbour's store.
      Real scaleNow = 0;
      for (int32 i = 0; i < count; ++i) {
        if (!Same(block, i)) scaleNow = scaleStrength * scale.At(block.pos[i]);
        block.s[i] = scaleNow;
      }
    } else {
      int32 runs = 0;
      for (int32 i = 0; i < count; ++i) {
        at[runs] = block.pos[i];
        runs += Same(block, i) ? 0 : 1;
      }
      scale.AtMany(at, runs, value);
      for (int32 i = 0, k = -1; i < count; ++i) {
        k += Same(block, i) ? 0 : 1;
        block.s[i] = scaleStrength * value[k];
      }
    }

    // The twist acts only through the random value: with r = 0 the roll is
    // KURVO_ROTATION alone, so the twist curve is not even looked up.
    if (twistStrength == 0.0f || random == 0.0f) {
      for (int32 i = 0; i < count; ++i) {
        block.c[i] = rotationCos;
        block.sn[i] = rotationSin;
      }
      return;
    }
    // Long runs: one look-up per run as the run starts. Short runs: the
    // runs' positions asked at once (as for the scale), then the rolls of
    // all runs at once, written straight into the block when every point is
    // its own run.
    if (block.runs * 4 <= count) {
      Real cosNow = rotationCos, sinNow = rotationSin;
      for (int32 i = 0; i < count; ++i) {
        if (!Same(block, i)) {
          const Real tw = twistStrength * twist.At(block.pos[i]);
          cosNow = rotationCos, sinNow = rotationSin;
          if (tw != 0.0f) kurvo_roll::SinCos(RollAngle(tw), cosNow, sinNow);
        }
        block.c[i] = cosNow;
        block.sn[i] = sinNow;
      }
      return;
    }
    const bool alone = block.runs == count;
    const Real* runPos = block.pos;
    if (!alone) {
      int32 runs = 0;
      for (int32 i = 0; i < count; ++i) {
        at[runs] = block.pos[i];
        runs += Same(block, i) ? 0 : 1;
      }
      runPos = at;
    }
    const int32 runs = block.runs;
    twist.AtMany(runPos, runs, value);
    alignas(16) Real angle[kBlock] = {};  // (cleared: the compiler cannot see that runs >= 1)
    alignas(16) Real runCos[kBlock], runSin[kBlock];
    for (int32 k = 0; k < runs; ++k) angle[k] = RollAngle(twistStrength * value[k]);
    kurvo_roll::SinCosMany(angle, runs, runCos, runSin);
    // A twist of 0 leaves the roll at KURVO_ROTATION's own cosine and sine.
    // (The fields in locals: the stores below could otherwise change them.)
    const Real strength = twistStrength, idleCos = rotationCos, idleSin = rotationSin;
    if (alone) {
      for (int32 i = 0; i < count; ++i) {
        const bool idle = strength * value[i] == 0.0f;
        block.c[i] = idle ? idleCos : runCos[i];
        block.sn[i] = idle ? idleSin : runSin[i];
      }
      return;
    }
    for (int32 i = 0, k = -1; i < count; ++i) {
      k += Same(block, i) ? 0 : 1;
      const bool idle = strength * value[k] == 0.0f;
      block.c[i] = idle ? idleCos : runCos[k];
      block.sn[i] = idle ? idleSin : runSin[k];
    }
  }

  // The roll angle of a twist of tw degrees: in radians, times the random
  // value, plus KURVO_ROTATION.
  Real RollAngle(Real tw) const {
    const Real tr = static_cast<Real>(static_cast<double>(tw) * std::numbers::pi / 180.0);
    return tr * random + rotation;
  }

  // Positions one PathPoints call takes: a block's, twice over.
  static constexpr int32 kMostPositions = 2 * kBlock;

  // Points of `rec` at n <= kMostPositions positions pos[k], on the path or
  // past its ends, as PointAt gives them, into x, y, z; and the tangents as
  // TangentAt gives them into tx, ty, tz unless tx is null. The positions on
  // the path go to the host together (SplineEvaluator::UniformPoints), the
  // others follow the straight extensions.
  [[gnu::always_inline]] static void PathPoints(const PathRecord& rec, const Real* pos, int32 n, Real* x, Real* y,
                                                Real* z, Real* tx, Real* ty, Real* tz) {
    const SplineEvaluator spline(rec.spline);
    int32 on = 0;
    for (int32 k = 0; k < n; ++k) on += OnPath(pos[k]) ? 1 : 0;
    // Every position on the path (the usual case): the answers go straight
    // where they belong.
    if (on == n) return spline.UniformPoints(pos, n, x, y, z, tx, ty, tz);
    alignas(16) Real u[kMostPositions];
    alignas(16) Real hx[kMostPositions], hy[kMostPositions], hz[kMostPositions];
    alignas(16) Real htx[kMostPositions], hty[kMostPositions], htz[kMostPositions];
    on = 0;
    for (int32 k = 0; k < n; ++k) {
      u[on] = pos[k];
      on += OnPath(pos[k]) ? 1 : 0;
    }
    spline.UniformPoints(u, on, hx, hy, hz, tx ? htx : nullptr, hty, htz);
    for (int32 k = 0, h = 0; k < n; ++k) {
      if (OnPath(pos[k])) {
        x[k] = hx[h], y[k] = hy[h], z[k] = hz[h];
        if (tx) tx[k] = htx[h], ty[k] = hty[h], tz[k] = htz[h];
        ++h;
        continue;
      }
      const Vector p = PointAt(rec, pos[k]);
      x[k] = p.x, y[k] = p.y, z[k] = p.z;
      if (!tx) continue;
      const Vector t = TangentAt(rec, pos[k]);
      tx[k] = t.x, ty[k] = t.y, tz[k] = t.z;
    }
  }

  // Four floats side by side, for the rail's up directions of four runs at
  // once: each operation is the IEEE operation of each lane, as in the
  // Vector code it stands for.
  typedef Real Four __attribute__((vector_size(16)));
  static Four Load(const Real* from) {
    Four v;
    std::memcpy(&v, from, sizeof v);
    return v;
  }
  // Normalize of four vectors (x[j], y[j], z[j]) into ox, oy, oz: the
  // square root of the squared length, each component divided by it, and
  // the zero vector for a zero length.
  static void NormalizeFour(Four x, Four y, Four z, Real* ox, Real* oy, Real* oz) {
    const Four square = x * x + y * y + z * z;
#if defined(__SSE__)
    const auto len = static_cast<Four>(_mm_sqrt_ps(static_cast<__m128>(square)));
#else
    const Four len = {std::sqrt(square[0]), std::sqrt(square[1]), std::sqrt(square[2]), std::sqrt(square[3])};
#endif
    const Four zero = {};
    const auto none = len == zero;
    const Four divisor = none ? zero + 1.0f : len;
    const Four nx = none ? zero : x / divisor, ny = none ? zero : y / divisor, nz = none ? zero : z / divisor;
    std::memcpy(ox, &nx, sizeof nx);
    std::memcpy(oy, &ny, sizeof ny);
    std::memcpy(oz, &nz, sizeof nz);
  }

  // Path point, tangent and up direction of every point of a block. Only
  // the first point of each run at one path position is looked up; the run
  // copies its values.
  [[gnu::always_inline]] void LookUpPath(Block& block, int32 count) const {
    // Every point its own run (points in no particular order): the values
    // go straight into the block, with nothing to gather or spread.
    const bool alone = block.runs == count;
    // The runs' positions, side by side.
    alignas(16) Real runPos[kBlock];
    const int32 runs = block.runs;
    if (!alone)
      for (int32 i = 0, k = 0; i < count; ++i) {
        runPos[k] = block.pos[i];
        k += Same(block, i) ? 0 : 1;
      }
    const Real* pos = alone ? block.pos : runPos;
    alignas(16) Real runValues[9][kBlock];
    Real* px = alone ? block.px : runValues[0];
    Real* py = alone ? block.py : runValues[1];
    Real* pz = alone ? block.pz : runValues[2];
    Real* tx = alone ? block.tx : runValues[3];
    Real* ty = alone ? block.ty : runValues[4];
    Real* tz = alone ? block.tz : runValues[5];
    Real* ux = alone ? block.ux : runValues[6];
    Real* uy = alone ? block.uy : runValues[7];
    Real* uz = alone ? block.uz : runValues[8];
    PathPoints(*frame.path, pos, runs, px, py, pz, needsTangent ? tx : nullptr, ty, tz);
    if (!needsTangent) {
      // Without a frame both axes are zero: a zero tangent gives exactly that.
      for (int32 k = 0; k < runs; ++k) tx[k] = ty[k] = tz[k] = ux[k] = uy[k] = uz[k] = 0;
    } else if (frame.upMode == KURVO_UP_MODE_VECTOR) {
      // The up vector is the same for every position.
      for (int32 k = 0; k < runs; ++k) ux[k] = frame.upNormal.x, uy[k] = frame.upNormal.y, uz[k] = frame.upNormal.z;
    } else if (frame.upMode == KURVO_UP_MODE_PATH) {
      // Cross(A, C) of the path points just ahead (UpDirection): the offsets
      // are added in double precision, then rounded to the evaluated float.
      // Both sets of positions go to the host in one call, A's first.
      alignas(16) Real ahead[2 * kBlock] = {};  // (cleared: the compiler cannot see that runs >= 1)
      alignas(16) Real ax[2 * kBlock], ay[2 * kBlock], az[2 * kBlock];
      for (int32 k = 0; k < runs; ++k) {
        ahead[k] = static_cast<Real>(static_cast<double>(pos[k]) + 0.0001);
        ahead[runs + k] = static_cast<Real>(static_cast<double>(pos[k]) + 0.0002);
      }
      PathPoints(*frame.path, ahead, 2 * runs, ax, ay, az, nullptr, nullptr, nullptr);
      const Real* cx = ax + runs;
      const Real* cy = ay + runs;
      const Real* cz = az + runs;
      for (int32 k = 0; k < runs; ++k) {
        const Vector u = Normalize(Cross(Vector(ax[k], ay[k], az[k]), Vector(cx[k], cy[k], cz[k])));
        ux[k] = u.x, uy[k] = u.y, uz[k] = u.z;
      }
    } else if (frame.upMode == KURVO_UP_MODE_RAIL) {
      // The rail point in world space, less the path point in path space
      // (UpDirection).
      alignas(16) Real rx[kBlock], ry[kBlock], rz[kBlock];
      PathPoints(*frame.rail, pos, runs, rx, ry, rz, nullptr, nullptr, nullptr);
      const Matrix& m = frame.railMatrix;
      int32 k = 0;
      for (; k + 4 <= runs; k += 4) {
        // m * p term by term, as Matrix's operator gives it.
        const Four x = Load(rx + k), y = Load(ry + k), z = Load(rz + k);
        const Four wx = m.off.x + m.v1.x * x + m.v2.x * y + m.v3.x * z;
        const Four wy = m.off.y + m.v1.y * x + m.v2.y * y + m.v3.y * z;
        const Four wz = m.off.z + m.v1.z * x + m.v2.z * y + m.v3.z * z;
        NormalizeFour(wx - Load(px + k), wy - Load(py + k), wz - Load(pz + k), ux + k, uy + k, uz + k);
      }
      for (; k < runs; ++k) {
        const Vector railPoint = m * Vector(rx[k], ry[k], rz[k]);
        const Vector u = Normalize(railPoint - Vector(px[k], py[k], pz[k]));
        ux[k] = u.x, uy[k] = u.y, uz[k] = u.z;
      }
    } else {
      for (int32 k = 0; k < runs; ++k) {
        const Vector u = UpDirection(pos[k], Vector(px[k], py[k], pz[k]), frame);
        ux[k] = u.x, uy[k] = u.y, uz[k] = u.z;
      }
    }
    if (alone) return;
    // Each run's values over the run.
    for (int32 i = 0, k = -1; i < count; ++i) {
      k += Same(block, i) ? 0 : 1;
      block.px[i] = px[k], block.py[i] = py[k], block.pz[i] = pz[k];
      block.tx[i] = tx[k], block.ty[i] = ty[k], block.tz[i] = tz[k];
      block.ux[i] = ux[k], block.uy[i] = uy[k], block.uz[i] = uz[k];
    }
  }

  // Cross-section axes (CrossSectionAxes), rolled by the angle of cosine c
  // and sine sn, then scaled by s: X' and Y'. A scale of 1 changes nothing,
  // so it is always applied.
  static void RolledAxes(Real tx, Real ty, Real tz, Real ux, Real uy, Real uz, Real c, Real sn, Real s, Real& rx,
                         Real& ry, Real& rz, Real& vx, Real& vy, Real& vz) {
    Real xx, xy, xz, yx, yy, yz;
    CrossSectionAxes(tx, ty, tz, ux, uy, uz, xx, xy, xz, yx, yy, yz);
    rx = (xx * c - yx * sn) * s, ry = (xy * c - yy * sn) * s, rz = (xz * c - yz * sn) * s;
    vx = (xx * sn + yx * c) * s, vy = (xy * sn + yy * c) * s, vz = (xz * sn + yz * c) * s;
  }

  // The placing arithmetic of a block: the rolled and scaled axes
  // (RolledAxes), once for each run of points at one path position (they
  // depend on nothing else) when the block has long runs; then for every
  // point the
  // offsets across the path, the way back to object space and the weight.
  // Each point gets exactly the operations, in the same order, that it
  // would get alone; the loops run on several points per instruction.
  // out[i] is the new position of point firstIndex + i, rest[i] where it was
  // (out and rest may be the same array).
  [[gnu::always_inline]] void FinishBlock(const Block& block, int32 count, int32 firstIndex, const Vector* rest,
                                          Vector* out) const {
    // The rolled and scaled axes X' and Y' of every point.
    alignas(16) Real prx[kBlock], pry[kBlock], prz[kBlock], pvx[kBlock], pvy[kBlock], pvz[kBlock];
    if (block.runs * 2 > count) {
      // Short runs (points in no particular order): every point on its own.
      for (int32 i = 0; i < count; ++i)
        RolledAxes(block.tx[i], block.ty[i], block.tz[i], block.ux[i], block.uy[i], block.uz[i], block.c[i],
                   block.sn[i], block.s[i], prx[i], pry[i], prz[i], pvx[i], pvy[i], pvz[i]);
    } else {
      // Each run's inputs side by side, its axes, then spread over the run.
      int32 heads[kBlock + 1];  // the first point of each run
      int32 runs = 0;
      for (int32 i = 0; i < count; ++i)
        if (!Same(block, i)) heads[runs++] = i;
      heads[runs] = count;
      alignas(16) Real tx[kBlock], ty[kBlock], tz[kBlock], ux[kBlock], uy[kBlock], uz[kBlock];
      alignas(16) Real c[kBlock], sn[kBlock], s[kBlock];
      for (int32 k = 0; k < runs; ++k) {
        const int32 i = heads[k];
        tx[k] = block.tx[i], ty[k] = block.ty[i], tz[k] = block.tz[i];
        ux[k] = block.ux[i], uy[k] = block.uy[i], uz[k] = block.uz[i];
        c[k] = block.c[i], sn[k] = block.sn[i], s[k] = block.s[i];
      }
      alignas(16) Real rx[kBlock], ry[kBlock], rz[kBlock], vx[kBlock], vy[kBlock], vz[kBlock];
      for (int32 k = 0; k < runs; ++k)
        RolledAxes(tx[k], ty[k], tz[k], ux[k], uy[k], uz[k], c[k], sn[k], s[k], rx[k], ry[k], rz[k], vx[k], vy[k],
                   vz[k]);
      for (int32 k = 0; k < runs; ++k)
        for (int32 i = heads[k]; i < heads[k + 1]; ++i) {
          prx[i] = rx[k], pry[i] = ry[k], prz[i] = rz[k];
          pvx[i] = vx[k], pvy[i] = vy[k], pvz[i] = vz[k];
        }
    }
    alignas(16) Real ox[kBlock], oy[kBlock], oz[kBlock];
    const Matrix& m = toObject;
    const Real* __restrict a = block.a;
    const Real* __restrict b = block.b;
    for (int32 i = 0; i < count; ++i) {
      // Q = P + X' a + Y' b in path space, then into object space.
      const Real qx = block.px[i] + prx[i] * a[i] + pvx[i] * b[i];
      const Real qy = block.py[i] + pry[i] * a[i] + pvy[i] * b[i];
      const Real qz = block.pz[i] + prz[i] * a[i] + pvz[i] * b[i];
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
      out[i] = n * w + rest[i] * (1.0f - w);
    }
  }

  // The new position of point `index`, now at p, in the object's own
  // coordinates.
  Vector MapPoint(int32 index, const Vector& p) const {
    Block block;
    PlaceOne(p, block);
    Shape(block, 1);
    LookUpPath(block, 1);
    Vector out;
    FinishBlock(block, 1, index, &p, &out);
    return out;
  }

  // Maps points [first, first + count) in place; count <= kBlock. The
  // stages are inlined here (always_inline), so that each variant of
  // MapBlock (KURVO_BLOCK_VARIANTS) runs its own compilation of them.
  KURVO_BLOCK_VARIANTS void MapBlock(Vector* points, int32 first, int32 count) const {
    Block block;
    Place(points + first, count, block);
    Shape(block, count);
    LookUpPath(block, count);
    FinishBlock(block, count, first, points + first, points + first);
  }
};
