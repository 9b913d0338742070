#include "curve.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

namespace kurvo::geo {

namespace {
// Cells of the grid per piece; a grid of at least kMinCells.
constexpr int32_t kCellsPerPiece = 4;
constexpr int32_t kMinCells = 16;
// The widening of each cell: far more than the rounding of x * m.
constexpr double kCellMargin = 1e-6;
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
  if (n < 2) return BuildCells();
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
  BuildCells();
}

void Curve::BuildCells() {
  pieces_.clear();
  cells_.clear();
  const auto n = static_cast<int32_t>(knots_.size());
  if (n < 2) return;
  pieces_.resize(static_cast<size_t>(n) - 1);
  for (int32_t i = 0; i + 1 < n; ++i) {
    const Knot& k0 = knots_[i];
    const Knot& k1 = knots_[i + 1];
    Piece& p = pieces_[i];
    p.x0 = k0.x;
    p.h = static_cast<double>(k1.x) - k0.x;
    p.y0 = k0.y;
    p.dy = static_cast<double>(k1.y) - k0.y;
    p.y1 = k1.y;
    p.slope0 = k0.slope;
    p.slope1 = k1.slope;
    p.lo = std::min<double>(k0.y, k1.y);
    p.hi = std::max<double>(k0.y, k1.y);
    p.linearKnot = (k0.flags & kLinearKnot) || (k1.flags & kLinearKnot) ? -1 : 0;
  }
  const int32_t m = std::max(kMinCells, (n - 1) * kCellsPerPiece);
  cells_.resize(static_cast<size_t>(m));
  // The largest knot index i <= n - 2 with knot x at or before v (0 if
  // none); v only grows with the cell, so each walk passes the knots once.
  auto walk = [&](int32_t& i, double v) {
    while (i + 1 <= n - 2 && static_cast<double>(knots_[i + 1].x) <= v) ++i;
    return i;
  };
  int32_t low = 0, high = 0;
  for (int32_t k = 0; k < m; ++k) {
    const int32_t first = walk(low, static_cast<double>(k) / m - kCellMargin);
    const int32_t last = walk(high, static_cast<double>(k + 1) / m + kCellMargin);
    constexpr float kNone = std::numeric_limits<float>::infinity();
    cells_[k] = last == first       ? Cell{first, kNone}
                : last == first + 1 ? Cell{first, knots_[last].x}
                                    : Cell{-1, kNone};
  }
}

int32_t Curve::PieceOf(float x) const {
  const auto next = std::upper_bound(knots_.begin(), knots_.end(), x, [](float v, const Knot& k) { return v < k.x; });
  return static_cast<int32_t>(next - knots_.begin()) - 1;
}

// The operations of EvaluateKnots, in its order, on the piece's copied
// values, two positions at a time in the compiler's vector types (each
// operation is the IEEE operation of each lane, as in the scalar code); both
// the straight and the smooth answer are computed and the right one chosen,
// so the loops run without branches on the data.
void Curve::EvaluateMany(const float* x, int32_t count, float* y) const {
  if (constant_) {
    std::fill(y, y + count, constantValue_);
    return;
  }
  if (knots_.size() < 2) {
    for (int32_t i = 0; i < count; ++i) y[i] = EvaluateKnots(x[i]);
    return;
  }
  typedef double Two __attribute__((vector_size(16)));
  typedef int64_t TwoMasks __attribute__((vector_size(16)));
  const float firstX = knots_.front().x, firstY = knots_.front().y;
  const float lastX = knots_.back().x, lastY = knots_.back().y;
  const Piece* pieces = pieces_.data();
  const Cell* cells = cells_.data();
  const auto lastCell = static_cast<int32_t>(cells_.size()) - 1;
  const auto cellScale = static_cast<float>(cells_.size());
  const Two round = {static_cast<double>(round_), static_cast<double>(round_)};
  const TwoMasks straight = round_ == 0.0f ? TwoMasks{-1, -1} : TwoMasks{0, 0};
  constexpr int32_t kBlock = 64;
  alignas(16) double at[kBlock];
  alignas(16) int32_t which[kBlock];
  alignas(16) float value[kBlock];
  for (int32_t first = 0; first < count; first += kBlock) {
    const int32_t n = std::min(kBlock, count - first);
    const float* xs = x + first;
    for (int32_t i = 0; i < n; ++i) {
      const float xi = xs[i];
      const float xc = xi > firstX && xi < lastX ? xi : firstX;  // any x of a piece while outside (and NaN)
      const Cell cell = cells[std::min(static_cast<int32_t>(xc * cellScale), lastCell)];
      int32_t piece = cell.first + (xc >= cell.boundary ? 1 : 0);
      if (cell.first < 0) [[unlikely]]
        piece = xc > firstX ? PieceOf(xc) : 0;
      at[i] = xc;
      which[i] = piece;
    }
    // An odd last position pairs with itself.
    if (n % 2) at[n] = at[n - 1], which[n] = which[n - 1];
    for (int32_t i = 0; i < n; i += 2) {
      const Piece& p = pieces[which[i]];
      const Piece& q = pieces[which[i + 1]];
      const Two xc = {at[i], at[i + 1]};
      const Two x0 = {p.x0, q.x0}, h = {p.h, q.h}, y0 = {p.y0, q.y0}, dy = {p.dy, q.dy}, y1 = {p.y1, q.y1};
      const Two slope0 = {p.slope0, q.slope0}, slope1 = {p.slope1, q.slope1}, lo = {p.lo, q.lo}, hi = {p.hi, q.hi};
      const TwoMasks useLine = TwoMasks{p.linearKnot, q.linearKnot} | straight;
      const Two t = (xc - x0) / h;
      const Two line = y0 + dy * t;
      const Two t2 = t * t, t3 = t2 * t;
      const Two cubic = (2 * t3 - 3 * t2 + 1) * y0 + (t3 - 2 * t2 + t) * h * slope0 + (-2 * t3 + 3 * t2) * y1 +
                        (t3 - t2) * h * slope1;
      const Two blend = line + (cubic - line) * round;
      const Two clamped = blend < lo ? lo : hi < blend ? hi : blend;
      const Two chosen = useLine ? line : clamped;
      value[i] = static_cast<float>(chosen[0]);
      value[i + 1] = static_cast<float>(chosen[1]);
    }
    float* ys = y + first;
    for (int32_t i = 0; i < n; ++i) {
      const float xi = xs[i];
      ys[i] = !(xi > firstX) ? firstY : xi >= lastX ? lastY : value[i];
    }
  }
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
