#include "curve.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace kurvo::geo {

namespace {
float Clamp01(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }  // NaN -> 0
}  // namespace

bool Curve::MakeLinear(int32_t count) {
  knots_.clear();
  for (int32_t i = 0; i < count; ++i) {
    const float v = count > 1 ? static_cast<float>(i) / static_cast<float>(count - 1) : 0.0f;
    knots_.push_back(Knot{v, v, 0, 0.0f});
  }
  UpdateSlopes();
  return true;
}

int32_t Curve::InsertKnot(float x, float y, int32_t flags) {
  const float cx = Clamp01(x);
  const auto at = std::upper_bound(knots_.begin(), knots_.end(), cx, [](float v, const Knot& k) { return v < k.x; });
  const auto index = static_cast<int32_t>(at - knots_.begin());
  knots_.insert(at, Knot{cx, y, flags, 0.0f});
  UpdateSlopes();
  return index;
}

void Curve::SetKnots(std::vector<Knot> knots) {
  for (Knot& k : knots) {
    k.x = Clamp01(k.x);
    k.slope = 0.0f;
  }
  std::stable_sort(knots.begin(), knots.end(), [](const Knot& a, const Knot& b) { return a.x < b.x; });
  knots_ = std::move(knots);
  UpdateSlopes();
}

void Curve::SetRound(float round) { round_ = Clamp01(round); }

// Fritsch-Carlson: secant averages at inner knots, flattened where the data
// turns, then limited so that each cubic piece stays monotone.
void Curve::UpdateSlopes() {
  const size_t n = knots_.size();
  constantValue_ = n > 0 ? knots_.front().y : 0.0f;
  constant_ = n > 0 && std::isfinite(constantValue_);
  // Bitwise equality: 0 beside -0 takes the full road, and so does an
  // infinite value (the line between two infinite knots is not a number).
  for (const Knot& k : knots_) constant_ = constant_ && std::memcmp(&k.y, &constantValue_, sizeof(float)) == 0;
  for (Knot& k : knots_) k.slope = 0.0f;
  if (n < 2) return;
  std::vector<double> secant(n - 1);
  for (size_t i = 0; i + 1 < n; ++i) {
    const double dx = static_cast<double>(knots_[i + 1].x) - knots_[i].x;
    secant[i] = dx > 0.0 ? (static_cast<double>(knots_[i + 1].y) - knots_[i].y) / dx : 0.0;
  }
  std::vector<double> m(n);
  m[0] = secant[0];
  m[n - 1] = secant[n - 2];
  for (size_t i = 1; i + 1 < n; ++i)
    m[i] = (secant[i - 1] * secant[i] > 0.0) ? 0.5 * (secant[i - 1] + secant[i]) : 0.0;
  for (size_t i = 0; i + 1 < n; ++i) {
    if (secant[i] == 0.0) {
      m[i] = m[i + 1] = 0.0;
      continue;
    }
    const double a = m[i] / secant[i], b = m[i + 1] / secant[i];
    const double r = a * a + b * b;
    if (r > 9.0) {
      const double tau = 3.0 / std::sqrt(r);
      m[i] = tau * a * secant[i];
      m[i + 1] = tau * b * secant[i];
    }
  }
  for (size_t i = 0; i < n; ++i) knots_[i].slope = static_cast<float>(m[i]);
}

float Curve::EvaluateKnots(float x) const {
  if (knots_.empty()) return 0.0f;
  const Knot& first = knots_.front();
  const Knot& last = knots_.back();
  if (!(x > first.x)) return first.y;  // also NaN
  if (x >= last.x) return last.y;
  // knots_[i].x <= x < knots_[i + 1].x
  const auto next = std::upper_bound(knots_.begin(), knots_.end(), x, [](float v, const Knot& k) { return v < k.x; });
  const Knot& k1 = *next;
  const Knot& k0 = *(next - 1);
  const double h = static_cast<double>(k1.x) - k0.x;
  const double t = (static_cast<double>(x) - k0.x) / h;
  const double line = k0.y + (static_cast<double>(k1.y) - k0.y) * t;
  const bool linear = round_ == 0.0f || (k0.flags & kLinearKnot) || (k1.flags & kLinearKnot);
  if (linear) return static_cast<float>(line);
  // Cubic Hermite with the precomputed slopes.
  const double t2 = t * t, t3 = t2 * t;
  const double cubic = (2 * t3 - 3 * t2 + 1) * k0.y + (t3 - 2 * t2 + t) * h * k0.slope +
                       (-2 * t3 + 3 * t2) * k1.y + (t3 - t2) * h * k1.slope;
  // Rounding in the slopes must not let the curve step past its knots.
  const double lo = std::min<double>(k0.y, k1.y), hi = std::max<double>(k0.y, k1.y);
  return static_cast<float>(std::clamp(line + (cubic - line) * round_, lo, hi));
}

bool Curve::operator==(const Curve& other) const {
  if (round_ != other.round_ || knots_.size() != other.knots_.size()) return false;
  for (size_t i = 0; i < knots_.size(); ++i) {
    const Knot &a = knots_[i], &b = other.knots_[i];
    if (a.x != b.x || a.y != b.y || a.flags != b.flags) return false;
  }
  return true;
}

}  // namespace kurvo::geo
