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

void Curve::SetRound(float round) {
  round_ = Clamp01(round);
  BuildCells();
}

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
    const double h = static_cast<double>(k1.x) - k0.x;
    const double y0 = k0.y, y1 = k1.y;
    const double secant = h > 0.0 ? (y1 - y0) / h : 0.0;
    const bool linear = round_ == 0.0f || (k0.flags & kLinearKnot) || (k1.flags & kLinearKnot);
    const double r = linear ? 0.0 : static_cast<double>(round_);
    const double s0 = k0.slope, s1 = k1.slope;
    p.x0 = k0.x;
    p.c0 = y0;
    p.c1 = (1.0 - r) * secant + r * s0;
    // A piece of no width is never asked for (the next one starts at its x).
    p.c2 = h > 0.0 ? r * (3.0 * secant - 2.0 * s0 - s1) / h : 0.0;
    p.c3 = h > 0.0 ? r * (s0 + s1 - 2.0 * secant) / (h * h) : 0.0;
    p.lo = std::min(y0, y1);
    p.hi = std::max(y0, y1);
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

// The operations of EvaluateKnots, in its order, on the piece's power form,
// two positions at a time in the compiler's vector types (each operation is
// the IEEE operation of each lane, as in the scalar code), so the loops run
// without branches on the data.
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
  const float firstX = knots_.front().x, firstY = knots_.front().y;
  const float lastX = knots_.back().x, lastY = knots_.back().y;
  const Piece* pieces = pieces_.data();
  const Cell* cells = cells_.data();
  const auto lastCell = static_cast<int32_t>(cells_.size()) - 1;
  const auto cellScale = static_cast<float>(cells_.size());
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
      const Two u = Two{at[i], at[i + 1]} - Two{p.x0, q.x0};
      const Two c0 = {p.c0, q.c0}, c1 = {p.c1, q.c1}, c2 = {p.c2, q.c2}, c3 = {p.c3, q.c3};
      const Two lo = {p.lo, q.lo}, hi = {p.hi, q.hi};
      const Two poly = c0 + u * (c1 + u * (c2 + u * c3));
      const Two chosen = poly < lo ? lo : hi < poly ? hi : poly;
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
  const Piece& p = pieces_[static_cast<size_t>(next - knots_.begin()) - 1];
  const double u = static_cast<double>(x) - p.x0;
  const double poly = p.c0 + u * (p.c1 + u * (p.c2 + u * p.c3));
  // Rounding must not let the curve step past its knots.
  return static_cast<float>(poly < p.lo ? p.lo : p.hi < poly ? p.hi : poly);
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
