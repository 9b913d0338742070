#include "reference_spline.h"

#include <algorithm>

namespace kurvo::reference {

namespace {

// 10-point Gauss-Legendre nodes and weights on [-1, 1].
constexpr double kNodes[5] = {0.1488743389816312, 0.4333953941292472, 0.6794095682990244, 0.8650633666889845,
                              0.9739065285171717};
constexpr double kWeights[5] = {0.2955242247147529, 0.2692667193099963, 0.2190863625159820, 0.1494513491505806,
                                0.0666713443086881};

}  // namespace

ArcPath::ArcPath(const SplineShape &shape) {
  const auto &p = shape.points;
  const int n = static_cast<int>(p.size());
  const int spans = n < 2 ? 0 : (shape.closed ? n : n - 1);
  auto wrap = [n](int i) { return ((i % n) + n) % n; };
  for (int k = 0; k < spans; ++k) {
    const DVec3 p0 = p[k], p1 = p[wrap(k + 1)];
    Span c{p0, p0, p1, p1};
    switch (shape.kind) {
      case Kind::Linear:
        c.b1 = p0 + (p1 - p0) * (1.0 / 3.0);
        c.b2 = p0 + (p1 - p0) * (2.0 / 3.0);
        break;
      case Kind::Bezier:
        if (!shape.tangentsOut.empty()) c.b1 = p0 + shape.tangentsOut[k];
        if (!shape.tangentsIn.empty()) c.b2 = p1 + shape.tangentsIn[wrap(k + 1)];
        break;
      case Kind::Cubic: {
        DVec3 before, after;
        if (shape.closed) {
          before = p[wrap(k - 1)];
          after = p[wrap(k + 2)];
        } else {
          before = k > 0 ? p[k - 1] : p0 * 2.0 - p1;
          after = k + 2 < n ? p[k + 2] : p1 * 2.0 - p0;
        }
        // Catmull-Rom: the tangent at a point is half the chord of its
        // neighbours; as a Bezier span that is a third of it.
        c.b1 = p0 + (p1 - before) * (1.0 / 6.0);
        c.b2 = p1 - (after - p0) * (1.0 / 6.0);
        break;
      }
    }
    spans_.push_back(c);
  }
  table_.assign(spans_.size() * kSteps + 1, 0.0);
  double s = 0;
  for (size_t k = 0; k < spans_.size(); ++k)
    for (int j = 0; j < kSteps; ++j) {
      table_[k * kSteps + j] = s;
      s += SpeedIntegral(spans_[k], double(j) / kSteps, double(j + 1) / kSteps);
    }
  table_.back() = s;
  length_ = s;
  for (size_t k = 0; k <= spans_.size() && length_ > 0; ++k) joins_.push_back(table_[k * kSteps] / length_);
}

DVec3 ArcPath::At(const Span &c, double t) {
  const double u = 1 - t;
  return c.b0 * (u * u * u) + c.b1 * (3 * u * u * t) + c.b2 * (3 * u * t * t) + c.b3 * (t * t * t);
}

DVec3 ArcPath::Derivative(const Span &c, double t) {
  const double u = 1 - t;
  return ((c.b1 - c.b0) * (u * u) + (c.b2 - c.b1) * (2 * u * t) + (c.b3 - c.b2) * (t * t)) * 3.0;
}

double ArcPath::SpeedIntegral(const Span &c, double t0, double t1) {
  const double mid = 0.5 * (t0 + t1), half = 0.5 * (t1 - t0);
  double sum = 0;
  for (int i = 0; i < 5; ++i)
    sum += kWeights[i] * (reference::Length(Derivative(c, mid - half * kNodes[i])) +
                          reference::Length(Derivative(c, mid + half * kNodes[i])));
  return sum * half;
}

void ArcPath::Locate(double s, int &span, double &t) const {
  s = std::clamp(s, 0.0, length_);
  // The table entry at or before s.
  const auto it = std::upper_bound(table_.begin(), table_.end() - 1, s);
  const int entry = std::max(0, static_cast<int>(it - table_.begin()) - 1);
  span = std::min(entry / kSteps, static_cast<int>(spans_.size()) - 1);
  const int step = entry - span * kSteps;
  const double lo0 = double(step) / kSteps, hi0 = double(step + 1) / kSteps;
  const double target = s - table_[span * kSteps + step];
  // Newton on the arc length within the step, kept inside it by bisection.
  double lo = lo0, hi = hi0, x = lo0 + (hi0 - lo0) * 0.5;
  for (int i = 0; i < 60; ++i) {
    const double f = SpeedIntegral(spans_[span], lo0, x) - target;
    if (f > 0)
      hi = x;
    else
      lo = x;
    const double speed = reference::Length(Derivative(spans_[span], x));
    double next = speed > 0 ? x - f / speed : 0.5 * (lo + hi);
    if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
    if (std::fabs(next - x) < 1e-15) {
      x = next;
      break;
    }
    x = next;
  }
  t = x;
}

DVec3 ArcPath::Point(double u) const {
  if (spans_.empty()) return DVec3();
  int span;
  double t;
  Locate(u * length_, span, t);
  return At(spans_[span], t);
}

DVec3 ArcPath::Tangent(double u) const {
  if (spans_.empty()) return DVec3(0, 0, 1);
  int span;
  double t;
  Locate(u * length_, span, t);
  return reference::Unit(Derivative(spans_[span], t));
}

double ArcPath::TangentError(double u) const {
  if (spans_.empty()) return 0;
  int span;
  double t;
  Locate(u * length_, span, t);
  const Span &c = spans_[span];
  const double size = std::fmax(std::fmax(reference::Length(c.b0), reference::Length(c.b1)),
                                std::fmax(reference::Length(c.b2), reference::Length(c.b3)));
  const double speed = reference::Length(Derivative(c, t)) / 3;
  return speed > 0 ? 8 * 0x1p-24 * size / speed : INFINITY;
}

}  // namespace kurvo::reference
