#include "arc_length.h"
#include "float_lanes.h"
#include "vector_variants.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <limits>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace kurvo::geo {

namespace {

constexpr int32_t kInitialPiecesPerSpan = 4;
constexpr int32_t kMaxHalvings = 10;
constexpr double kRelativeTolerance = 1e-6;
// Beyond this many intervals (very long curved splines) refinement stops.
constexpr size_t kIntervalBudget = size_t{1} << 21;
// Cells of the finer grid per interval, up to this many intervals (beyond,
// one cell per interval: the grid stays the size of the table).
constexpr int32_t kCellsPerInterval = 4;
constexpr int32_t kFineCellsUpTo = int32_t{1} << 16;
// The widening of each cell, as a fraction of the whole length. A look-up's
// position and its cell are each off by a few float roundings (about 10^-7
// of the length); the cell's intervals are found for ten times that.
constexpr double kCellMargin = 1e-6;

// Into [0, 1]; NaN gives 0.
float Clamp01(float v) { return std::min(std::max(0.0f, v), 1.0f); }

double LengthOf(const Vector& v) {
  const double x = v.x, y = v.y, z = v.z;
  return std::sqrt(x * x + y * y + z * z);
}

double Speed(const SpanTable& spans, int32_t span, double local) {
  return LengthOf(spans.SpanDerivative(span, static_cast<float>(local)));
}

// Length of a span between local parameters a and b: 5-point Gauss-Legendre.
double GaussLength(const SpanTable& curve, int32_t span, double a, double b) {
  static constexpr double kNodes[5] = {-0.9061798459386640, -0.5384693101056831, 0.0, 0.5384693101056831,
                                       0.9061798459386640};
  static constexpr double kWeights[5] = {0.2369268850561891, 0.4786286704993665, 0.5688888888888889,
                                         0.4786286704993665, 0.2369268850561891};
  const double half = 0.5 * (b - a), mid = 0.5 * (a + b);
  double sum = 0.0;
  for (int k = 0; k < 5; ++k) sum += kWeights[k] * Speed(curve, span, mid + half * kNodes[k]);
  return sum * half;
}

// Parameter fraction (0..1 of [a, a + w]) at which the length from a reaches
// `target`; safeguarded Newton on the quadrature length.
double SolveFraction(const SpanTable& curve, int32_t span, double a, double w, double target, double tolerance) {
  double lo = 0.0, hi = 1.0, f = 0.5;
  for (int it = 0; it < 40; ++it) {
    const double err = GaussLength(curve, span, a, a + f * w) - target;
    if (std::fabs(err) <= tolerance) break;
    if (err > 0.0) hi = f; else lo = f;
    const double slope = Speed(curve, span, a + f * w) * w;
    double next = slope > 0.0 ? f - err / slope : 0.5 * (lo + hi);
    if (!(next > lo && next < hi)) next = 0.5 * (lo + hi);
    if (hi - lo < 1e-13) break;
    f = next;
  }
  return f;
}

using lanes::Four;
using lanes::Two;
using lanes::UpperAsDoubles;

// v > low ? v : low and v < high ? v : high, lane by lane (NaN gives the
// bound); the SSE maximum and minimum are exactly these choices.
Four AtLeast(Four v, Four low) {
#if defined(__SSE2__)
  return static_cast<Four>(_mm_max_ps(static_cast<__m128>(v), static_cast<__m128>(low)));
#else
  return v > low ? v : low;
#endif
}
Four AtMost(Four v, Four high) {
#if defined(__SSE2__)
  return static_cast<Four>(_mm_min_ps(static_cast<__m128>(v), static_cast<__m128>(high)));
#else
  return v < high ? v : high;
#endif
}

}  // namespace

// Splits span-local [a, b] (length `length`) until the interval's cubic fits.
struct ArcLengthTable::Refiner {
  ArcLengthTable& table;
  const SpanTable& curve;
  int32_t span;
  double spans;
  double tolerance;
  double total = 0.0;

  void Add(double a, double b, double length, int depth) {
    const double w = b - a, mid = 0.5 * (a + b);
    const double left = GaussLength(curve, span, a, mid);
    const double right = GaussLength(curve, span, mid, b);
    Interval iv{(span + a) / spans, w / spans};
    bool fits = std::fabs(left + right - length) <= tolerance;
    if (fits && length > 0.0) {
      const double solveTol = 1e-3 * tolerance;
      const double p = SolveFraction(curve, span, a, w, length / 3.0, solveTol);
      const double q = SolveFraction(curve, span, a, w, 2.0 * length / 3.0, solveTol);
      // The cubic through (0, 0), (1/3, p), (2/3, q), (1, 1).
      const double c1 = 9.0 * p - 4.5 * q + 1.0;
      const double c2 = (27.0 * p - 1.0 - 8.0 * c1) / 2.0;
      const double c3 = 1.0 - c1 - c2;
      iv.c1 = static_cast<float>(c1);
      iv.c2 = static_cast<float>(c2);
      iv.c3 = static_cast<float>(c3);
      for (double sigma : {1.0 / 6.0, 0.5, 5.0 / 6.0}) {
        const double f = std::clamp(((iv.c3 * sigma + iv.c2) * sigma + iv.c1) * sigma, 0.0, 1.0);
        fits = fits && std::fabs(GaussLength(curve, span, a, a + f * w) - sigma * length) <= tolerance;
      }
    }
    if (fits || depth >= kMaxHalvings || table.intervals_.size() >= kIntervalBudget) {
      total += length;
      iv.inverseLength = length > 0.0 ? static_cast<float>(1.0 / length) : 0.0f;
      table.intervals_.push_back(iv);
      table.cumulative_.push_back(static_cast<float>(total));
      return;
    }
    Add(a, mid, left, depth + 1);
    Add(mid, b, right, depth + 1);
  }
};

bool ArcLengthTable::Build(const SegmentView& source) {
  if (built_ && shape_.Matches(source)) {
    TakeIntoUse();
    return true;
  }
  Clear();
  try {
    shape_.Assign(source);
    spans_.Build(shape_.View());
  } catch (const std::bad_alloc&) {
    Clear();
    return false;
  }
  const SegmentView& seg = shape_.View();
  const int32_t spans = seg.SpanCount();
  const bool curved = seg.interpolation != Interpolation::Linear;
  try {
    cumulative_.push_back(0.0f);
    double total = 0.0;
    if (!curved) {
      intervals_.reserve(static_cast<size_t>(spans));
      for (int32_t span = 0; span < spans; ++span) {
        const double length = LengthOf(SpanPoint(seg, span, 1.0f) - SpanPoint(seg, span, 0.0f));
        total += length;
        Interval iv{static_cast<double>(span) / spans, 1.0 / spans};
        iv.inverseLength = length > 0.0 ? static_cast<float>(1.0 / length) : 0.0f;
        intervals_.push_back(iv);
        cumulative_.push_back(static_cast<float>(total));
      }
    } else if (spans > 0) {
      const int32_t pieces = static_cast<size_t>(spans) * kInitialPiecesPerSpan <= kIntervalBudget / 2
                                 ? kInitialPiecesPerSpan
                                 : 1;
      // A first estimate of the whole length sets the tolerance.
      std::vector<double> pieceLength(static_cast<size_t>(spans) * pieces);
      double estimate = 0.0;
      for (int32_t span = 0, i = 0; span < spans; ++span)
        for (int32_t j = 0; j < pieces; ++j, ++i) {
          pieceLength[i] =
              GaussLength(spans_, span, static_cast<double>(j) / pieces, static_cast<double>(j + 1) / pieces);
          estimate += pieceLength[i];
        }
      Refiner refiner{*this, spans_, 0, static_cast<double>(spans), kRelativeTolerance * estimate};
      for (int32_t span = 0, i = 0; span < spans; ++span) {
        refiner.span = span;
        for (int32_t j = 0; j < pieces; ++j, ++i)
          refiner.Add(static_cast<double>(j) / pieces, static_cast<double>(j + 1) / pieces, pieceLength[i], 0);
      }
      total = refiner.total;
    }
    length_ = static_cast<float>(total);

    // Bucket k holds the lengths [k, k + 1) * L / n; note the interval that
    // contains each bucket's start.
    const auto n = static_cast<int32_t>(intervals_.size());
    bucketFirst_.assign(static_cast<size_t>(n) + 1, 0);
    bucketScale_ = static_cast<float>(n);
    lastBucket_ = n - 1;
    for (int32_t k = 1, i = 0; k <= n; ++k) {
      const auto start = static_cast<float>(total * k / n);
      while (i + 1 < n && cumulative_[i + 1] <= start) ++i;
      bucketFirst_[k] = i;
    }
    BuildCells();
  } catch (const std::bad_alloc&) {
    Clear();
    return false;
  }
  built_ = true;
  TakeIntoUse();
  return true;
}

void ArcLengthTable::BuildCells() {
  const auto n = static_cast<int32_t>(intervals_.size());
  const int32_t m = n <= kFineCellsUpTo ? n * kCellsPerInterval : n;
  cells_.assign(static_cast<size_t>(m), Cell{});
  cellScale_ = static_cast<float>(m);
  lastCell_ = m - 1;
  const double total = length_;
  const double margin = kCellMargin * total;
  // The largest interval i < n whose start is at or before x (0 if none),
  // for both ends of each cell; both ends only grow with k, so each walk
  // goes once over the table.
  const float* cumulative = cumulative_.data();
  auto walk = [&](int32_t& i, double x) {
    while (i + 1 < n && static_cast<double>(cumulative[i + 1]) <= x) ++i;
    return i;
  };
  int32_t low = 0, high = 0;
  for (int32_t k = 0; k < m; ++k) {
    const int32_t first = walk(low, total * k / m - margin);
    const int32_t last = walk(high, total * (k + 1) / m + margin);
    constexpr float kNone = std::numeric_limits<float>::infinity();
    cells_[k] = last == first       ? Cell{first, kNone}
                : last == first + 1 ? Cell{first, cumulative[last]}
                                    : Cell{-1, kNone};
  }
}

void ArcLengthTable::TakeIntoUse() {
  inUse_ = true;
  searchable_ = !intervals_.empty() && length_ > 0.0f;
  activeSpans_ = spans_.Empty() ? nullptr : &spans_;
}

void ArcLengthTable::Clear() {
  std::vector<float>().swap(cumulative_);
  std::vector<Interval>().swap(intervals_);
  std::vector<int32_t>().swap(bucketFirst_);
  std::vector<Cell>().swap(cells_);
  cellScale_ = 0.0f;
  lastCell_ = -1;
  length_ = 0.0f;
  bucketScale_ = 0.0f;
  lastBucket_ = -1;
  searchable_ = false;
  activeSpans_ = nullptr;
  shape_.Clear();
  spans_.Clear();
  built_ = inUse_ = false;
  source = Source();
}

float ArcLengthTable::UniformToNatural(float u) const {
  if (!(u > 0.0f)) return 0.0f;  // also NaN
  if (u >= 1.0f) return 1.0f;
  if (!searchable_) return u;

  const float x = u * length_;
  const int32_t k = std::min(static_cast<int32_t>(u * bucketScale_), lastBucket_);
  const int32_t i = FindInterval(x, k);
  const float* cumulative = cumulative_.data();
  const Interval& iv = intervals_[i];
  const float sigma = Clamp01((x - cumulative[i]) * iv.inverseLength);
  const float f = Clamp01(((iv.c3 * sigma + iv.c2) * sigma + iv.c1) * sigma);
  return static_cast<float>(iv.start + iv.width * f);
}

// The largest interval i whose start is at or before x (lengths only grow
// along the table, so there is exactly one): halve bucket k's range while it
// is long (near cusps), then step; the bucket bounds were rounded while
// building, so the steps may also leave the range.
int32_t ArcLengthTable::FindInterval(float x, int32_t k) const {
  const float* cumulative = cumulative_.data();
  int32_t lo = bucketFirst_[k], hi = bucketFirst_[k + 1];
  while (hi - lo > 4) {
    const int32_t mid = (lo + hi + 1) / 2;
    if (cumulative[mid] <= x) lo = mid; else hi = mid - 1;
  }
  int32_t i = lo;
  while (i > 0 && cumulative[i] > x) --i;
  while (i < lastBucket_ && cumulative[i + 1] <= x) ++i;
  return i;
}

KURVO_GEO_VARIANTS void ArcLengthTable::UniformToNaturalMany(const float* u, float* out, int32_t count) const {
  if (!searchable_) {
    for (int32_t j = 0; j < count; ++j) out[j] = UniformToNatural(u[j]);
    return;
  }
  // In stages over the whole call, each writing small arrays that the next
  // reads: the positions and cells four fractions per vector instruction,
  // the cells' look-ups one fraction at a time in plain registers, then the
  // interval cubics four at a time again, their intervals read at indices
  // that come from memory (an index that is already scalar costs no move
  // out of a vector lane). Each operation is the IEEE operation of each
  // lane, as in UniformToNatural, and nothing branches on the data. The
  // clamps are Clamp01 written out (AtLeast(v, 0) is its max(0, v), NaN
  // included; AtMost(m, 1) its min(m, 1) for m >= 0).
  typedef int32_t FourInt __attribute__((vector_size(16)));
  const float* cumulative = cumulative_.data();
  const Cell* cells = cells_.data();
  const Interval* intervals = intervals_.data();
  const FourInt lastCell = FourInt{} + lastCell_;
  const Four zero = {}, one = zero + 1.0f;
  const float cellScale = cellScale_, length = length_;
  auto load = [](const float* from) {
    Four v;
    std::memcpy(&v, from, sizeof v);
    return v;
  };
  const int32_t whole = count & ~3;
  // Stage 1: the position along the length and the fine cell of each
  // fraction. Fractions outside (0, 1) get their answer at the end; any
  // inside value keeps the search in range meanwhile.
  alignas(16) float x[kManyBlock];
  alignas(16) int32_t cellOf[kManyBlock];
  for (int32_t j = 0; j < whole; j += 4) {
    const Four uv = load(u + j);
    const Four inside = (uv > zero) & (uv < one) ? uv : zero;
    const Four xv = inside * length;
    FourInt k = __builtin_convertvector(inside * cellScale, FourInt);
    k = k < lastCell ? k : lastCell;
    std::memcpy(x + j, &xv, sizeof xv);
    std::memcpy(cellOf + j, &k, sizeof k);
  }
  // Stage 2: the cell settles the interval with one comparison (the few
  // cells that meet more than two intervals, near cusps, search the
  // bucket).
  alignas(16) int32_t intervalOf[kManyBlock];
  for (int32_t j = 0; j < whole; ++j) {
    const Cell& c = cells[cellOf[j]];
    int32_t i = c.first + (x[j] >= c.boundary ? 1 : 0);
    if (c.first < 0) [[unlikely]] {
      const float inside = u[j] > 0.0f && u[j] < 1.0f ? u[j] : 0.0f;
      i = FindInterval(x[j], std::min(static_cast<int32_t>(inside * bucketScale_), lastBucket_));
    }
    intervalOf[j] = i;
  }
  // Stage 3: each interval's cubic, and the answers. The four floats of
  // each interval's cubic come in one load and are turned into one vector
  // per field.
  static_assert(sizeof(Interval) == 32 && offsetof(Interval, c3) == offsetof(Interval, inverseLength) + 12);
  for (int32_t j = 0; j < whole; j += 4) {
    const Interval& v0 = intervals[intervalOf[j]];
    const Interval& v1 = intervals[intervalOf[j + 1]];
    const Interval& v2 = intervals[intervalOf[j + 2]];
    const Interval& v3 = intervals[intervalOf[j + 3]];
    const Four starts = {cumulative[intervalOf[j]], cumulative[intervalOf[j + 1]], cumulative[intervalOf[j + 2]],
                         cumulative[intervalOf[j + 3]]};
    const Four r0 = load(&v0.inverseLength), r1 = load(&v1.inverseLength);
    const Four r2 = load(&v2.inverseLength), r3 = load(&v3.inverseLength);
    const Four t0 = __builtin_shufflevector(r0, r1, 0, 4, 1, 5), t1 = __builtin_shufflevector(r2, r3, 0, 4, 1, 5);
    const Four t2 = __builtin_shufflevector(r0, r1, 2, 6, 3, 7), t3 = __builtin_shufflevector(r2, r3, 2, 6, 3, 7);
    const Four inverse = __builtin_shufflevector(t0, t1, 0, 1, 4, 5), a1 = __builtin_shufflevector(t0, t1, 2, 3, 6, 7);
    const Four a2 = __builtin_shufflevector(t2, t3, 0, 1, 4, 5), a3 = __builtin_shufflevector(t2, t3, 2, 3, 6, 7);
    const Four uv = load(u + j);
    Four sigma = (load(x + j) - starts) * inverse;
    sigma = AtMost(AtLeast(sigma, zero), one);
    Four f = ((a3 * sigma + a2) * sigma + a1) * sigma;
    f = AtMost(AtLeast(f, zero), one);
    const Two f01 = __builtin_convertvector(__builtin_shufflevector(f, f, 0, 1), Two);
    const Two f23 = UpperAsDoubles(f);
    const Two t01 = Two{v0.start, v1.start} + Two{v0.width, v1.width} * f01;
    const Two t23 = Two{v2.start, v3.start} + Two{v2.width, v3.width} * f23;
    const Four t = {static_cast<float>(t01[0]), static_cast<float>(t01[1]), static_cast<float>(t23[0]),
                    static_cast<float>(t23[1])};
    const Four answer = uv > zero ? (uv >= one ? one : t) : zero;
    std::memcpy(out + j, &answer, sizeof answer);
  }
  int32_t j = whole;
  // The last one to three fractions (and calls for one to three, as runs of
  // points along rings make them) one at a time, with the same operations.
  for (; j < count; ++j) {
    const float uj = u[j];
    const float inside = uj > 0.0f && uj < 1.0f ? uj : 0.0f;
    const float xj = inside * length;
    const Cell& cell = cells[std::min(static_cast<int32_t>(inside * cellScale), lastCell_)];
    int32_t i = cell.first + (xj >= cell.boundary ? 1 : 0);
    if (cell.first < 0) [[unlikely]]
      i = FindInterval(xj, std::min(static_cast<int32_t>(inside * bucketScale_), lastBucket_));
    const Interval& iv = intervals_[i];
    float sigma = (xj - cumulative[i]) * iv.inverseLength;
    sigma = sigma > 0.0f ? sigma : 0.0f;
    sigma = sigma < 1.0f ? sigma : 1.0f;
    float f = ((iv.c3 * sigma + iv.c2) * sigma + iv.c1) * sigma;
    f = f > 0.0f ? f : 0.0f;
    f = f < 1.0f ? f : 1.0f;
    const float t = static_cast<float>(iv.start + iv.width * f);
    out[j] = !(uj > 0.0f) ? 0.0f : uj >= 1.0f ? 1.0f : t;
  }
}

}  // namespace kurvo::geo
