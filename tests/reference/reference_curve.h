// The reference's own function curves y(x): knots (x, y), straight between
// two knots when either is flagged linear or the roundness is 0, otherwise
// the monotone cubic (Fritsch-Carlson slopes) blended with the straight line
// by the roundness (clamped to 0..1); end values held outside the knots.
#pragma once

#include <algorithm>
#include <cmath>
#include <vector>

namespace kurvo::reference {

struct CurveKnot {
  double x = 0, y = 0;
  bool linear = false;
};

class RefCurve {
 public:
  RefCurve(std::vector<CurveKnot> knots, double round) : knots_(std::move(knots)) {
    round_ = std::isnan(round) ? 0.0 : std::clamp(round, 0.0, 1.0);
    for (auto &k : knots_) k.x = std::clamp(k.x, 0.0, 1.0);
    std::stable_sort(knots_.begin(), knots_.end(), [](const CurveKnot &a, const CurveKnot &b) { return a.x < b.x; });
    Slopes();
  }

  double operator()(double x) const {
    const size_t n = knots_.size();
    if (n == 0) return 0;
    if (!(x > knots_.front().x)) return knots_.front().y;
    if (x >= knots_.back().x) return knots_.back().y;
    size_t i = 0;
    while (knots_[i + 1].x <= x) ++i;
    const CurveKnot &a = knots_[i], &b = knots_[i + 1];
    const double h = b.x - a.x, t = (x - a.x) / h;
    const double line = a.y + (b.y - a.y) * t;
    if (round_ == 0 || a.linear || b.linear) return line;
    const double h00 = 2 * t * t * t - 3 * t * t + 1, h10 = t * t * t - 2 * t * t + t;
    const double h01 = -2 * t * t * t + 3 * t * t, h11 = t * t * t - t * t;
    const double cubic = h00 * a.y + h10 * h * slope_[i] + h01 * b.y + h11 * h * slope_[i + 1];
    return line + (cubic - line) * round_;
  }

 private:
  void Slopes() {
    const size_t n = knots_.size();
    slope_.assign(n, 0.0);
    if (n < 2) return;
    std::vector<double> d(n - 1);
    for (size_t i = 0; i + 1 < n; ++i) {
      const double dx = knots_[i + 1].x - knots_[i].x;
      d[i] = dx > 0 ? (knots_[i + 1].y - knots_[i].y) / dx : 0;
    }
    slope_[0] = d[0];
    slope_[n - 1] = d[n - 2];
    for (size_t i = 1; i + 1 < n; ++i) slope_[i] = d[i - 1] * d[i] > 0 ? (d[i - 1] + d[i]) / 2 : 0;
    // Limit the slopes so that every piece stays monotone.
    for (size_t i = 0; i + 1 < n; ++i) {
      if (d[i] == 0) {
        slope_[i] = slope_[i + 1] = 0;
        continue;
      }
      const double a = slope_[i] / d[i], b = slope_[i + 1] / d[i];
      if (a * a + b * b > 9) {
        const double tau = 3 / std::sqrt(a * a + b * b);
        slope_[i] = tau * a * d[i];
        slope_[i + 1] = tau * b * d[i];
      }
    }
  }

  std::vector<CurveKnot> knots_;
  std::vector<double> slope_;
  double round_ = 1;
};

// The module's random generator as its definition states it: a 32-bit linear
// congruential step keeping 31 bits, scaled by 2^-31 in single precision.
struct RefRandom {
  unsigned seed = 100;
  float Get01() {
    seed = (seed * 69069u + 69069u) & 0x7FFFFFFFu;
    return static_cast<float>(seed) * 0x1p-31f;
  }
};

}  // namespace kurvo::reference
