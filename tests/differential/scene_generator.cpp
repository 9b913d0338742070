#include "scene_generator.h"

#include <cmath>
#include <numbers>
#include <random>

namespace kurvo::differential {

using reference::DMat;
using reference::DVec3;
using reference::Float3;
using reference::Kind;
using reference::Placement;
using reference::Scene;
using reference::SplineInput;

namespace {

constexpr double kPi = std::numbers::pi;

class Draw {
 public:
  Draw(uint64_t seed, uint64_t index) : engine_(seed * 0x9E3779B97F4A7C15ull ^ (index + 1) * 0xD1B54A32D192ED03ull) {}
  double Unit() { return static_cast<double>(engine_() >> 11) * 0x1p-53; }  // [0, 1)
  double Range(double lo, double hi) { return lo + (hi - lo) * Unit(); }
  int Int(int lo, int hi) { return lo + static_cast<int>(Unit() * (hi - lo + 1)); }  // [lo, hi]
  bool Chance(double p) { return Unit() < p; }
  // Count between lo and hi, small counts as likely as large ones.
  int LogCount(int lo, int hi) { return static_cast<int>(std::lround(std::exp(Range(std::log(lo), std::log(hi))))); }
  DVec3 Direction() {
    const double z = Range(-1, 1), a = Range(0, 2 * kPi), r = std::sqrt(1 - z * z);
    return {r * std::cos(a), r * std::sin(a), z};
  }

 private:
  std::mt19937_64 engine_;
};

Float3 F(DVec3 v) { return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)}; }

// A direction perpendicular to the unit vector d.
DVec3 Perpendicular(DVec3 d, Draw &draw) {
  for (;;) {
    const DVec3 c = reference::Cross(d, draw.Direction());
    if (reference::Length(c) > 0.1) return reference::Unit(c);
  }
}

Placement RandomPlacement(Draw &draw, double reach) {
  Placement p;
  const bool rotate = draw.Chance(0.8);
  const Float3 rotation =
      rotate ? Float3{float(draw.Range(-180, 180)), float(draw.Range(-180, 180)), float(draw.Range(-180, 180))}
             : Float3{};
  Float3 scale{1, 1, 1};
  if (draw.Chance(0.6)) {
    if (draw.Chance(0.5)) {
      const float s = float(draw.Range(0.5, 2));
      scale = {s, s, s};
    } else {
      scale = {float(draw.Range(0.5, 2)), float(draw.Range(0.5, 2)), float(draw.Range(0.5, 2))};
    }
  }
  const Float3 position = draw.Chance(0.8) ? F(draw.Direction() * draw.Range(0, reach)) : Float3{};
  if (draw.Chance(0.3)) {
    // The same placement given as a matrix.
    Placement parts;
    parts.position = position, parts.rotation = rotation, parts.scale = scale;
    const DMat m = reference::LocalMatrix(parts);
    p.asMatrix = true;
    p.off = F(m.off), p.ax = F(m.ax), p.ay = F(m.ay), p.az = F(m.az);
    return p;
  }
  p.position = position, p.rotation = rotation, p.scale = scale;
  return p;
}

// Control points of an open path: a walk in 3D whose steps turn by at most
// about 100 degrees, so that no span doubles back on itself.
std::vector<DVec3> OpenWalk(Draw &draw, int count) {
  std::vector<DVec3> points{draw.Direction() * draw.Range(0, 200)};
  DVec3 heading = draw.Direction();
  for (int i = 1; i < count; ++i) {
    heading = reference::Unit(heading + draw.Direction() * draw.Range(0, 1.2));
    points.push_back(points.back() + heading * draw.Range(20, 120));
  }
  return points;
}

// Control points of a closed path: a tilted, wavy loop.
std::vector<DVec3> ClosedLoop(Draw &draw, int count) {
  const DVec3 e1 = draw.Direction(), e2 = Perpendicular(e1, draw), e3 = reference::Cross(e1, e2);
  const double r1 = draw.Range(60, 300), r2 = draw.Range(60, 300), h = draw.Range(0, 100);
  const int waves = draw.Int(1, 4);
  const DVec3 centre = draw.Direction() * draw.Range(0, 200);
  const double wobble = count > 12 ? 0.0 : 0.15;  // few points: uneven spacing
  std::vector<DVec3> points;
  for (int i = 0; i < count; ++i) {
    const double a = 2 * kPi * (i + draw.Range(-wobble, wobble)) / count;
    points.push_back(centre + e1 * (r1 * std::cos(a)) + e2 * (r2 * std::sin(a)) + e3 * (h * std::sin(waves * a)));
  }
  return points;
}

SplineInput RandomSpline(Draw &draw) {
  SplineInput s;
  s.kind = static_cast<Kind>(draw.Int(0, 2));
  s.closed = draw.Chance(0.3);
  const int count = s.closed ? std::max(3, draw.LogCount(3, 1000)) : draw.LogCount(2, 1000);
  const std::vector<DVec3> points = s.closed ? ClosedLoop(draw, count) : OpenWalk(draw, count);
  for (const DVec3 &p : points) s.points.push_back(F(p));
  if (s.kind == Kind::Bezier) {
    // Tangents along the neighbours' chord, a fraction of the span long;
    // corners (in and out unrelated) now and then. Never zero, so the curve
    // has no stationary points.
    const int n = static_cast<int>(points.size());
    for (int i = 0; i < n; ++i) {
      const DVec3 prev = i > 0 ? points[i - 1] : (s.closed ? points[n - 1] : points[i] * 2.0 - points[i + 1]);
      const DVec3 next = i + 1 < n ? points[i + 1] : (s.closed ? points[0] : points[i] * 2.0 - points[i - 1]);
      const DVec3 chord = next - prev;
      const double span = reference::Length(chord) / 2;
      DVec3 out = reference::Unit(chord + draw.Direction() * (0.3 * span)) * (span * draw.Range(0.1, 0.4));
      DVec3 in = out * -draw.Range(0.5, 1.5);
      if (draw.Chance(0.15))
        in = reference::Unit(prev - points[i] + draw.Direction() * (0.3 * span)) * (span * draw.Range(0.1, 0.4));
      s.tangentsOut.push_back(F(out));
      s.tangentsIn.push_back(F(in));
    }
  }
  return s;
}

reference::CurveInput RandomCurve(Draw &draw, double lo, double hi) {
  reference::CurveInput c;
  const int knots = draw.Int(2, 6);
  double x = 0;
  for (int i = 0; i < knots; ++i) {
    x = i == 0 ? (draw.Chance(0.5) ? 0.0 : draw.Range(0, 0.3)) : x + draw.Range(0.05, 0.4);
    c.knots.push_back({float(std::fmin(x, 1.0)), float(draw.Range(lo, hi))});
    if (x >= 1) break;
  }
  c.smooth = draw.Chance(0.6);
  if (c.smooth) {
    if (draw.Chance(0.5)) c.round = float(draw.Chance(0.2) ? draw.Range(-0.5, 1.5) : draw.Range(0, 1));
    if (draw.Chance(0.2))
      for (size_t i = 0; i < c.knots.size(); ++i) c.linearKnots.push_back(draw.Chance(0.3));
  }
  return c;
}

}  // namespace

Scene GenerateScene(uint64_t seed, uint64_t index) {
  Draw draw(seed, index);
  Scene scene;
  scene.path = RandomSpline(draw);
  scene.pathPlacement = RandomPlacement(draw, 300);
  if (draw.Chance(0.3)) scene.pathParent = RandomPlacement(draw, 200);

  // The path's rough length and a tangent, for sizing the object and aiming
  // the up vector.
  const reference::ArcPath shape(scene.path.Shape());
  const double length = shape.Length();

  auto &d = scene.deformer;
  const double mode = draw.Unit();
  d.upMode = mode < 0.45 ? 0 : mode < 0.65 ? 1 : mode < 0.95 ? 2 : (draw.Chance(0.5) ? 7 : -1);
  if (draw.Chance(0.15)) {
    // Up nearly along the tangent somewhere on the path.
    const DVec3 t = shape.Tangent(draw.Unit());
    d.upVector = F((t + Perpendicular(t, draw) * std::tan(draw.Range(0.01, 0.1))) * draw.Range(0.5, 2));
  } else {
    d.upVector = F(draw.Direction() * draw.Range(0.5, 2));
  }
  if (d.upMode == 2 && draw.Chance(0.85)) {
    // A rail beside the path, offset in any direction, with its own placement.
    SplineInput rail = scene.path;
    const DVec3 shift = draw.Direction() * draw.Range(10, 150);
    for (Float3 &p : rail.points) p = F(p.d() + shift + draw.Direction() * draw.Range(0, 5));
    if (draw.Chance(0.3)) rail = RandomSpline(draw);
    scene.rail = rail;
    scene.railPlacement = draw.Chance(0.5) ? RandomPlacement(draw, 100) : Placement{};
  }

  d.offset = draw.Chance(0.5) ? 0.0f : float(scene.path.closed ? draw.Range(-2, 2) : draw.Range(-0.5, 0.5));
  d.rotation = draw.Chance(0.5) ? 0.0f : float(draw.Range(-kPi, kPi));
  d.stretch = draw.Chance(0.2);
  d.stretchFactor = float(draw.Range(0.5, 2) * 1000 / std::fmax(length, 1.0));
  if (draw.Chance(0.4)) d.scaleCurve = RandomCurve(draw, 0, 2);
  if (draw.Chance(0.4)) d.profileCurve = RandomCurve(draw, 0, 2);
  if (draw.Chance(0.4)) d.twistCurve = RandomCurve(draw, -180, 180);
  d.scaleStrength = draw.Chance(0.5) ? 1.0f : float(draw.Range(0.2, 2));
  d.profileStrength = draw.Chance(0.5) ? 1.0f : float(draw.Range(0.2, 2));
  d.twistStrength = draw.Chance(0.3) ? 1.0f : draw.Chance(0.2) ? 0.0f : float(draw.Range(-2, 2));
  if (draw.Chance(0.4)) d.random = float(draw.Range(0.1, 2));
  if (draw.Chance(0.5)) scene.tagIndex = draw.Chance(0.3) ? draw.Int(-1000000, 1000000) : draw.Int(0, 50);

  // The object: points laid out in the deformer's space (Z along the path,
  // reaching past both ends), then carried into the object's own space.
  scene.objectPlacement = RandomPlacement(draw, 300);
  scene.deformerPlacement = draw.Chance(0.7) ? RandomPlacement(draw, 100) : Placement{};
  const DMat deformerLocal = reference::LocalMatrix(scene.deformerPlacement);
  const int count = draw.Chance(0.05) ? 2000 : draw.LogCount(1, 400);
  // Cross-sections up to a few spans wide: wider than the path's bends are
  // round, a bent shape folds over itself.
  const double meanSpan = length / std::max<size_t>(1, scene.path.points.size() - (scene.path.closed ? 0 : 1));
  const double radius = std::fmin(length, 3 * meanSpan) * draw.Range(0.02, 0.25);
  const double z0 = length * draw.Range(-0.3, 0.5), z1 = length * draw.Range(0.5, 1.3);
  for (int i = 0; i < count; ++i) {
    const bool onAxis = draw.Chance(0.05);
    const DVec3 q(onAxis ? 0 : draw.Range(-radius, radius), onAxis ? 0 : draw.Range(-radius, radius),
                  draw.Range(z0, z1));
    scene.objectPoints.push_back(F(reference::Apply(deformerLocal, q)));
  }
  for (int i = 0; i + 2 < count; i += 3) scene.triangles.push_back({i, i + 1, i + 2});
  if (draw.Chance(0.2))
    for (int i = 0; i < count; ++i)
      scene.weights.push_back(draw.Chance(0.2) ? float(draw.Int(0, 1)) : float(draw.Unit()));
  scene.deformOn = !draw.Chance(0.03);
  return scene;
}

}  // namespace kurvo::differential
