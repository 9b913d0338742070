#include "spline_primitives.h"

#include <algorithm>
#include <cmath>

namespace kurvo::geo {

namespace {

constexpr double kPi = 3.14159265358979323846;

Vector OnCircle(double radius, double angle) {
  return Vector(static_cast<float>(radius * std::cos(angle)), static_cast<float>(radius * std::sin(angle)), 0.0f);
}

// Counter-clockwise unit direction of travel at an angle.
Vector Travel(double angle) { return Vector(static_cast<float>(-std::sin(angle)), static_cast<float>(std::cos(angle)), 0.0f); }

// Bezier points at `count` angles spaced by `step` from `start`.
Spline BezierArc(double radius, double start, double step, int32_t count, bool closed) {
  Spline s;
  s.interpolation = Interpolation::Bezier;
  s.closed = closed;
  const double handle = 4.0 / 3.0 * std::tan(step / 4.0) * radius;
  for (int32_t i = 0; i < count; ++i) {
    const double angle = start + step * i;
    const Vector dir = Travel(angle) * static_cast<float>(handle);
    s.points.push_back(OnCircle(radius, angle));
    s.tangentsIn.push_back(-dir);
    s.tangentsOut.push_back(dir);
  }
  if (!closed && count > 0) {
    s.tangentsIn.front() = Vector();  // open ends have nothing beyond them
    s.tangentsOut.back() = Vector();
  }
  return s;
}

}  // namespace

Spline MakeLine(float length) {
  Spline s;
  s.points = {Vector(0.0f, 0.0f, 0.0f), Vector(0.0f, 0.0f, length)};
  return s;
}

Spline MakeCircle(float radius) { return BezierArc(radius, 0.0, 2.0 * kPi / 8.0, 8, true); }

Spline MakeArc(float radius, float startAngle, float endAngle) {
  const double sweep = static_cast<double>(endAngle) - startAngle;
  if (sweep == 0.0 || !std::isfinite(sweep)) return BezierArc(radius, startAngle, 0.0, 1, false);
  const int32_t spans = static_cast<int32_t>(std::clamp(std::ceil(std::fabs(sweep) / (kPi / 4.0) - 1e-9), 1.0, 4096.0));
  return BezierArc(radius, startAngle, sweep / spans, spans + 1, false);
}

Spline MakeRectangle(float width, float height) {
  Spline s;
  s.closed = true;
  const float w = width * 0.5f, h = height * 0.5f;
  s.points = {Vector(w, -h, 0.0f), Vector(w, h, 0.0f), Vector(-w, h, 0.0f), Vector(-w, -h, 0.0f)};
  return s;
}

Spline MakeHelix(float startRadius, float endRadius, float height, float turns, int32_t pointsPerTurn) {
  Spline s;
  s.interpolation = Interpolation::Cubic;
  const int32_t perTurn = std::max<int32_t>(pointsPerTurn, 3);
  const double t = std::isfinite(turns) ? std::fabs(static_cast<double>(turns)) : 0.0;
  const int32_t spans = static_cast<int32_t>(std::min(std::ceil(t * perTurn - 1e-9), 1.0e6));
  if (spans <= 0) {
    s.points.push_back(Vector(startRadius, 0.0f, 0.0f));
    return s;
  }
  const double sweep = 2.0 * kPi * turns;
  for (int32_t i = 0; i <= spans; ++i) {
    const double f = static_cast<double>(i) / spans;
    Vector p = OnCircle(startRadius + (endRadius - startRadius) * f, sweep * f);
    p.z = static_cast<float>(height * f);
    s.points.push_back(p);
  }
  return s;
}

}  // namespace kurvo::geo
