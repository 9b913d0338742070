#include "reference_deformation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <optional>

#include "reference_transport.h"

namespace kurvo::reference {

namespace {

constexpr double kFloatStep = 1.0 / 16777216.0;  // 2^-24, float rounding

// A spline evaluated at any position: inside [0, 1] by arc length, past
// either end along the end tangent.
class Track {
 public:
  explicit Track(const SplineShape &shape) : path_(shape) {
    end_ = path_.Point(1), endTangent_ = path_.Tangent(1);
    start_ = path_.Point(0), startTangent_ = path_.Tangent(0);
  }
  double Length() const { return path_.Length(); }
  DVec3 Point(double p) const {
    if (p > 1) return end_ + endTangent_ * ((p - 1) * Length());
    if (p < 0) return start_ + startTangent_ * (p * Length());
    return path_.Point(p);
  }
  DVec3 Tangent(double p) const {
    if (p > 1) return endTangent_;
    if (p < 0) return startTangent_;
    return path_.Tangent(p);
  }
  // Bound of the tangent's float error at p (radians), and of the point's
  // error that it causes on the straight continuation past an end.
  double TangentError(double p) const { return path_.TangentError(std::clamp(p, 0.0, 1.0)); }
  const std::vector<double> &Joins() const { return path_.Joins(); }
  double ExtensionError(double p) const {
    const double beyond = p > 1 ? p - 1 : p < 0 ? -p : 0;
    return beyond > 0 ? beyond * Length() * TangentError(p) : 0;
  }

 private:
  ArcPath path_;
  DVec3 end_, endTangent_, start_, startTangent_;
};

double HalfFloatStep(double v) {
  const float f = static_cast<float>(std::fabs(v));
  return 0.5 * (std::nextafter(f, INFINITY) - f);
}

}  // namespace

Expected ReferenceDeformation(const Scene &scene) {
  Expected out;
  const DMat objectG = LocalMatrix(scene.objectPlacement);
  const DMat deformerG = Compose(objectG, LocalMatrix(scene.deformerPlacement));
  DMat pathG = LocalMatrix(scene.pathPlacement);
  if (scene.pathParent) pathG = Compose(LocalMatrix(*scene.pathParent), pathG);
  const DMat railG = LocalMatrix(scene.railPlacement);
  out.objectMatrix = objectG;

  const Track path(scene.path.Shape());
  std::optional<Track> rail;
  if (scene.rail) rail.emplace(scene.rail->Shape());
  const double L = path.Length();
  out.pathLength = L;
  out.worldPathLength = L * Stretch(pathG);

  auto unchanged = [&] {
    // Unchanged, but a file written in shortest float form reads back as the
    // nearest double: allow a float step.
    for (const Float3 &p : scene.objectPoints)
      out.points.push_back({p.d(), 1e-6 * (1 + Length(Apply(objectG, p.d()))), true});
    return out;
  };
  if (!scene.deformOn || L == 0) return unchanged();

  const DeformerSettings &d = scene.deformer;
  const DMat M = Compose(Inverse(deformerG), objectG);
  const DMat toObject = Inverse(objectG);
  const bool closed = scene.path.closed;
  const double O = d.offset + (closed ? 1000.0 : 0.0);
  const double step = L / 1000;

  DVec3 G = objectG.off;
  // Another bend axis: the deformer's axes in the order (across X, across Y,
  // along), a negative axis turned half round about its across Y.
  const int axis = d.bendAxis ? *d.bendAxis : 0;
  const int order[6][3] = {{0, 1, 2}, {1, 2, 0}, {2, 0, 1}, {1, 2, 0}, {2, 0, 1}, {0, 1, 2}};
  const int *o = order[axis >= 0 && axis <= 5 ? axis : 0];
  const double flip = axis >= 3 && axis <= 5 ? -1.0 : 1.0;
  auto component = [](DVec3 v, int i) { return i == 0 ? v.x : (i == 1 ? v.y : v.z); };
  auto turn = [&](DVec3 v) { return DVec3(flip * component(v, o[0]), component(v, o[1]), flip * component(v, o[2])); };
  G = turn(G);
  DVec3 lo(INFINITY, INFINITY, INFINITY), hi(-INFINITY, -INFINITY, -INFINITY);
  for (const Float3 &p : scene.objectPoints) {
    lo = {std::fmin(lo.x, p.x), std::fmin(lo.y, p.y), std::fmin(lo.z, p.z)};
    hi = {std::fmax(hi.x, p.x), std::fmax(hi.y, p.y), std::fmax(hi.z, p.z)};
  }
  const DVec3 centre = turn((lo + hi) * 0.5), half = turn((hi - lo) * 0.5);
  const double halfZ = std::fabs(half.z);
  const double zLow = centre.z - halfZ;
  const double zScale = halfZ != 0 ? 1 / (2 * halfZ) : 0;

  RefRandom random;
  if (d.random != 0 && scene.tagIndex) random.seed = static_cast<uint32_t>(*scene.tagIndex) * 7123u;
  const double r = random.Get01() * d.random;

  const auto flat = [](double v) { return RefCurve({{0, v, true}}, 0); };
  const RefCurve profile = d.profileCurve ? d.profileCurve->Curve() : flat(1);
  const RefCurve scale = d.scaleCurve ? d.scaleCurve->Curve() : flat(1);
  const RefCurve twist = d.twistCurve ? d.twistCurve->Curve() : flat(0);
  const DVec3 up = Unit(d.upVector.d());
  std::optional<Transport> transport;
  if (d.upMode == 3) transport.emplace(ArcPath(scene.path.Shape()), closed, d.upVector.d());
  const double pathStretch = Stretch(pathG);

  // A point placed at path position pos with cross-section offsets (a, b):
  // its world position, and what float arithmetic may make of it.
  struct Placed {
    DVec3 world;
    double frameError = 0;      // radians the frame may turn by
    double extensionError = 0;  // world units, from the end tangents
    double offsetSize = 0;      // world length of the offsets across the path
  };
  auto place = [&](double pos, double a, double b) {
    Placed out;
    const double s = d.scaleStrength * scale(pos);
    const double tw = d.twistStrength != 0 ? d.twistStrength * twist(pos) : 0;
    const DVec3 P = path.Point(pos);
    DVec3 T, N;
    double upCondition = 1;  // how much rounding the up direction amplifies
    double sampling = 0;     // mode 3: what the module's table may stray by
    bool framed = true;
    if (d.upMode == 0) {
      T = path.Tangent(pos);
      N = up;
    } else if (d.upMode == 1) {
      T = path.Tangent(pos);
      const float pf = static_cast<float>(pos);
      const DVec3 A = path.Point(static_cast<float>(double(pf) + 0.0001));
      const DVec3 C = path.Point(static_cast<float>(double(pf) + 0.0002));
      const DVec3 AC = Cross(A, C);
      N = Unit(AC);
      upCondition = Length(AC) > 0 ? Length(A) * Length(C) / Length(AC) : INFINITY;
      out.extensionError += path.ExtensionError(double(pf) + 0.0002) * pathStretch * upCondition;
    } else if (d.upMode == 3) {
      T = path.Tangent(pos);
      N = transport->UpAt(pos);
      // The module interpolates between samples 1 / (64 spans) apart (at
      // least 1024, at most 65536 intervals); between two, the frame may stray
      // by about the square of the tangent's turn there.
      const double spans = static_cast<double>(scene.path.points.size() - (closed ? 0 : 1));
      const double du = 1.0 / std::clamp(64 * std::max(spans, 1.0), 1024.0, 65536.0);
      // The module samples both sides of every join where the tangent jumps
      // (a corner), so the turn that counts stops at the nearest corners.
      double lo = pos - du, hi = pos + du;
      for (double j : path.Joins()) {
        if (j <= lo || j >= hi) continue;
        const double jump = std::acos(std::clamp(Dot(path.Tangent(j - 1e-9), path.Tangent(j + 1e-9)), -1.0, 1.0));
        if (jump < 2e-4) continue;  // smooth enough to be blended over
        (j > pos ? hi : lo) = j + (j > pos ? -1e-9 : 1e-9);
      }
      const double turn = std::acos(std::clamp(Dot(path.Tangent(lo), path.Tangent(hi)), -1.0, 1.0));
      sampling = 1e-4 + turn * turn / 4;
    } else if (d.upMode == 2 && rail) {
      T = path.Tangent(pos);
      const DVec3 W = Apply(railG, rail->Point(pos));
      N = Unit(W - P);
      upCondition = Length(W - P) > 0 ? (Length(W) + Length(P)) / Length(W - P) : INFINITY;
      out.extensionError += rail->ExtensionError(pos) * Stretch(railG) * pathStretch * upCondition;
    } else {
      framed = false;  // no frame: both axes are zero
    }
    DVec3 X, Y;
    const DVec3 C = Cross(T, N);
    if (Length(C) > 0) {
      const DVec3 Cn = Unit(C);
      X = -Cn;
      Y = Unit(Cross(Cn, T));
    }
    if (framed) {
      // |T| = |N| = 1, so |C| is the sine of their angle.
      const double sine = Length(C);
      out.frameError = sine > 0 ? (upCondition * 16 * kFloatStep + path.TangentError(pos)) / sine + sampling : INFINITY;
    }
    const double angle = tw != 0 ? tw * std::numbers::pi / 180 * r + d.rotation : d.rotation;
    const double c = std::cos(angle), sn = std::sin(angle);
    const DVec3 Xr = (X * c - Y * sn) * s, Yr = (X * sn + Y * c) * s;
    out.offsetSize = std::hypot(a, b) * std::fabs(s) * pathStretch;
    out.extensionError += path.ExtensionError(pos) * pathStretch;
    out.world = Apply(pathG, P + Xr * a + Yr * b);
    return out;
  };

  for (size_t i = 0; i < scene.objectPoints.size(); ++i) {
    const DVec3 p = scene.objectPoints[i].d();
    const DVec3 q = turn(Apply(M, p));
    const double u = q.z / L;
    const double t = ((q.z - G.z) - zLow) * zScale;
    const double k = d.profileStrength * profile(t);
    const double a = G.x + (q.x - G.x) * k, b = G.y + (q.y - G.y) * k;
    const double along = d.stretch ? (d.stretchFactor * u) * step + O : O + u;
    const double pos = closed ? std::fmod(along, 1.0) : along;

    const Placed placed = place(pos, a, b);
    DVec3 n = Apply(toObject, placed.world);
    if (!scene.weights.empty()) {
      const double w = scene.weights[i];
      n = n * w + p * (1 - w);
    }

    // The position may be off by a float step of its sum (on a closed path
    // the sum carries the extra 1000 twice rounded) and a few of the
    // fraction, plus the host's length table; the point may be wherever it
    // lands within that reach (sampled, so that a corner of the path within
    // reach shows as the jump it is).
    const double posError = 2 * HalfFloatStep(along) + 8 * kFloatStep * std::fmax(1.0, std::fabs(u)) + 2e-6;
    double spread = 0;  // how far the point moves within that reach
    // On a closed path the reach wraps around its start.
    auto sample = [&](double at) {
      if (closed) at -= std::floor(at);
      spread = std::fmax(spread, Length(place(at, a, b).world - placed.world));
    };
    sample(pos - posError);
    sample(pos + posError);
    // Either side of every join within reach (up mode 1 also looks 0.0002
    // ahead), where the path may turn at once.
    const double reachEnd = pos + posError + (d.upMode == 1 ? 0.0002 : 0.0);
    for (double join0 : path.Joins())
      for (double lap : {-1.0, 0.0, 1.0}) {
        const double join = join0 + (closed ? lap : 0.0);
        if ((!closed && lap != 0.0) || join < pos - posError || join > reachEnd) continue;
        for (double side : {-1e-9, 1e-9}) {
          const double at = join + side - (join > pos + posError ? 0.0002 : 0.0);
          if (at > pos - posError && at < pos + posError) sample(at);
        }
      }
    const double size = Length(placed.world) + out.worldPathLength + placed.offsetSize + Length(Apply(objectG, p));
    double tolerance = 2e-6 * size + spread + placed.extensionError;
    if (placed.offsetSize > 0) tolerance += placed.frameError * placed.offsetSize;
    const bool tight = tolerance <= 1e-4 * out.worldPathLength;
    if (const char *v = std::getenv("KURVO_REF_DEBUG"); v && std::atoi(v) == int(i))
      std::printf(
          "reference point %zu: u %.9g pos %.9g a %.6g b %.6g spread "
          "%.6g posError %.3g frameError %.3g "
          "extensionError %.3g offsetSize %.4g tolerance %.4g\n",
          i, u, pos, a, b, spread, posError, placed.frameError, placed.extensionError, placed.offsetSize, tolerance);
    if (const char *v = std::getenv("KURVO_REF_DEBUG"); v && std::atoi(v) == int(i))
      for (double dp = -3e-4; dp <= 3e-4; dp += 3e-5) {
        const DVec3 w = place(pos + dp, a, b).world;
        std::printf("  pos %+.6f: world (%.5f, %.5f, %.5f)\n", dp, w.x, w.y, w.z);
      }
    out.points.push_back({n, tolerance, tight});
  }
  return out;
}

}  // namespace kurvo::reference
