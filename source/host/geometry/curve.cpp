#include "curve.h"
#include "float_lanes.h"
#include "vector_variants.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kurvo::geo {

namespace {
// Cells of the grid per piece; a grid of at least kMinCells.
constexpr int32_t kCellsPerPiece = 4;
constexpr int32_t kMinCells = 16;
// The widening of each cell: far more than the rounding of x * m.
constexpr double kCellMargin = 1e-6;
float Clamp01(float v) { return v > 0.0f ? (v < 1.0f ? v : 1.0f) : 0.0f; }  // NaN -> 0

using lanes::Four;
using lanes::LowerAsDoubles;
using lanes::Two;
using lanes::UpperAsDoubles;

// {low[0], low[1], high[0], high[1]}, each rounded to float as a cast
// rounds it.
Four AsFloats(Two low, Two high) {
#if defined(__SSE2__)
  return static_cast<Four>(
      _mm_movelh_ps(_mm_cvtpd_ps(static_cast<__m128d>(low)), _mm_cvtpd_ps(static_cast<__m128d>(high))));
#else
  return Four{static_cast<float>(low[0]), static_cast<float>(low[1]), static_cast<float>(high[0]),
              static_cast<float>(high[1])};
#endif
}
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
    p.lo = std::min(k0.y, k1.y);
    p.hi = std::max(k0.y, k1.y);
  }
  const int32_t m = std::max(kMinCells, (n - 1) * kCellsPerPiece);
  cells_.resize(static_cast<size_t>(m) + 1);
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
  cells_[m] = cells_[m - 1];
}

int32_t Curve::PieceOf(float x) const {
  const auto next = std::upper_bound(knots_.begin(), knots_.end(), x, [](float v, const Knot& k) { return v < k.x; });
  return static_cast<int32_t>(next - knots_.begin()) - 1;
}

// The operations of EvaluateKnots, in its order, on the piece's power form,
// in stages over the whole call, each writing small arrays that the next
// reads: the cells four positions per vector instruction (float lanes), then
// each piece one position at a time in plain registers (an index that is
// already scalar costs no move out of a vector lane), then the polynomials
// two positions per double-precision instruction and the ends four at a
// time. Each operation is the IEEE
// operation of each lane, as in the scalar code, and no position branches
// on its data.
KURVO_GEO_VARIANTS void Curve::EvaluateMany(const float* x, int32_t count, float* y) const {
  if (constant_) {
    std::fill(y, y + count, constantValue_);
    return;
  }
  if (knots_.size() < 2) {
    for (int32_t i = 0; i < count; ++i) y[i] = EvaluateKnots(x[i]);
    return;
  }
  typedef int32_t FourInt __attribute__((vector_size(16)));
  const float firstX = knots_.front().x, firstY = knots_.front().y;
  const float lastX = knots_.back().x, lastY = knots_.back().y;
  const Four firstXs = Four{} + firstX, lastXs = Four{} + lastX;
  const Four firstYs = Four{} + firstY, lastYs = Four{} + lastY;
  // The last cell is repeated past the grid: x * m can round up to m.
  const auto cellScale = static_cast<float>(cells_.size() - 1);
  const Cell* cells = cells_.data();
  const Piece* pieces = pieces_.data();
  auto load = [](const float* from) {
    Four v;
    std::memcpy(&v, from, sizeof v);
    return v;
  };
  // Calls of at most a block in stages; a longer call goes block by block.
  constexpr int32_t kStage = 64;
  const int32_t whole = count & ~3;
  for (int32_t first = 0; first < whole; first += kStage) {
    const int32_t n = std::min(kStage, whole - first);
    const float* xs = x + first;
    // Stage 1: each position held inside the knots (any x of a piece while
    // outside, and NaN) and its cell.
    alignas(16) float held[kStage];
    alignas(16) int32_t cellOf[kStage];
    for (int32_t i = 0; i < n; i += 4) {
      const Four xv = load(xs + i);
      const Four xc = (xv > firstXs) & (xv < lastXs) ? xv : firstXs;
      const FourInt k = __builtin_convertvector(xc * cellScale, FourInt);
      std::memcpy(held + i, &xc, sizeof xc);
      std::memcpy(cellOf + i, &k, sizeof k);
    }
    // Stage 2: the cell settles the piece with one comparison (crowded
    // cells search).
    alignas(16) int32_t pieceOf[kStage];
    for (int32_t i = 0; i < n; ++i) {
      const Cell& cell = cells[cellOf[i]];
      const float xc = held[i];
      int32_t piece = cell.first + (xc >= cell.boundary ? 1 : 0);
      if (cell.first < 0) [[unlikely]]
        piece = xc > firstX ? PieceOf(xc) : 0;
      pieceOf[i] = piece;
    }
    // Stage 3: the pieces' polynomials, two positions per double-precision
    // vector instruction, held between the knots' values and the ends four
    // at a time. Each piece's fields are read where they lie.
    for (int32_t i = 0; i < n; i += 4) {
      const Piece& p0 = pieces[pieceOf[i]];
      const Piece& p1 = pieces[pieceOf[i + 1]];
      const Piece& p2 = pieces[pieceOf[i + 2]];
      const Piece& p3 = pieces[pieceOf[i + 3]];
      const Four xc = load(held + i);
      const Two u01 = LowerAsDoubles(xc) - Two{p0.x0, p1.x0};
      const Two u23 = UpperAsDoubles(xc) - Two{p2.x0, p3.x0};
      const Two poly01 =
          Two{p0.c0, p1.c0} + u01 * (Two{p0.c1, p1.c1} + u01 * (Two{p0.c2, p1.c2} + u01 * Two{p0.c3, p1.c3}));
      const Two poly23 =
          Two{p2.c0, p3.c0} + u23 * (Two{p2.c1, p3.c1} + u23 * (Two{p2.c2, p3.c2} + u23 * Two{p2.c3, p3.c3}));
      const Four poly = AsFloats(poly01, poly23);
      const Four lo = {p0.lo, p1.lo, p2.lo, p3.lo}, hi = {p0.hi, p1.hi, p2.hi, p3.hi};
      const Four capped = hi < poly ? hi : poly;
      const Four value = lo > capped ? lo : capped;
      const Four xv = load(xs + i);
      const Four out = xv > firstXs ? (xv >= lastXs ? lastYs : value) : firstYs;
      std::memcpy(y + first + i, &out, sizeof out);
    }
  }
  int32_t i = whole;
  // The last one to three positions (and calls for one to three, as runs of
  // points along rings make them) one at a time, with the same operations.
  for (; i < count; ++i) {
    const float xi = x[i];
    const float xc = xi > firstX && xi < lastX ? xi : firstX;
    const Cell& cell = cells[static_cast<int32_t>(xc * cellScale)];
    int32_t piece = cell.first + (xc >= cell.boundary ? 1 : 0);
    if (cell.first < 0) [[unlikely]]
      piece = xc > firstX ? PieceOf(xc) : 0;
    const Piece& p = pieces_[piece];
    const double u = static_cast<double>(xc) - p.x0;
    const auto poly = static_cast<float>(p.c0 + u * (p.c1 + u * (p.c2 + u * p.c3)));
    const float value = poly < p.lo ? p.lo : p.hi < poly ? p.hi : poly;
    y[i] = xi > firstX ? (xi >= lastX ? lastY : value) : firstY;
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
  const auto poly = static_cast<float>(p.c0 + u * (p.c1 + u * (p.c2 + u * p.c3)));
  // Rounding must not let the curve step past its knots.
  return poly < p.lo ? p.lo : p.hi < poly ? p.hi : poly;
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
