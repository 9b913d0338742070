#include "deformer/path_transport.h"

#include <cmath>
#include <cstring>

#include "deformer/path_frame.h"

namespace {

// The table is built in double precision: errors of the transport add up
// along the path, the samples do not.
struct D3 {
  double x = 0, y = 0, z = 0;
};
D3 FromVector(const Vector& v) { return {v.x, v.y, v.z}; }
D3 operator+(D3 a, D3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
D3 operator-(D3 a, D3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
D3 operator*(D3 a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(D3 a, D3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
D3 Cross(D3 a, D3 b) { return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x}; }
D3 Unit(D3 a) {
  const double l = std::sqrt(Dot(a, a));
  return l > 0 ? a * (1 / l) : D3{};
}
// Reflection of v in the plane through the origin square to n (n not zero).
D3 Reflect(D3 v, D3 n, double nn) { return v - n * (2 * Dot(n, v) / nn); }
// v turned by angle a about the unit axis k (Rodrigues).
D3 Turn(D3 v, D3 k, double a) {
  const double c = std::cos(a), s = std::sin(a);
  return v * c + Cross(k, v) * s + k * (Dot(k, v) * (1 - c));
}
// The component of v square to the unit vector t, made unit; zero if none.
D3 Square(D3 v, D3 t) { return Unit(v - t * Dot(v, t)); }

// Intervals over which the tangent turns by more than 0.05 radians are
// halved, at most 12 times.
constexpr double kSmallTurnCosine = 0.99875026039496628;  // cos(0.05)
constexpr int kMaxHalvings = 12;

// The start direction: the up vector square to the start tangent, or, when
// the two are parallel (or up is zero), the axis least aligned with the
// tangent (X before Y before Z on a tie). Both are in the path object's
// coordinates, as the up vector is.
D3 StartUp(D3 up, D3 t) {
  const D3 square = up - t * Dot(up, t);
  if (Dot(square, square) > 1e-12 * Dot(up, up) && Dot(up, up) > 0) return Unit(square);
  const double ax = std::fabs(t.x), ay = std::fabs(t.y), az = std::fabs(t.z);
  const D3 axis = ax <= ay && ax <= az ? D3{1, 0, 0} : (ay <= az ? D3{0, 1, 0} : D3{0, 0, 1});
  return Square(axis, t);
}

// A sample of the path: unit tangent and arc-length position.
struct Sample {
  D3 t;
  Real u;
};

Sample SampleAt(const SplineEvaluator& spline, Real u) {
  Vector tangent;
  spline.Tangent(spline.UniformToNatural(u), tangent);
  return {Unit(FromVector(tangent)), u};
}

// Carries r, square to a.t, to b. The double reflection (in the plane square
// to the chord, then in the plane that takes the reflected tangent onto the
// new one) is exact for rigid motions and for the corners of a polyline, and
// very accurate while the tangent turns little between the samples. The
// chord is the integral of the unit tangent over the interval by Simpson's
// rule (the samples are evenly spaced in arc length), not the difference of
// two float positions, whose direction is poor over short steps far from the
// origin. Where the tangent turns more, the interval is halved, down to a
// corner of the path, which is crossed by the shortest turn that carries the
// one tangent onto the other.
D3 Carry(D3 r, const Sample& a, const Sample& b, const SplineEvaluator& spline, int depth) {
  const double turnCosine = Dot(a.t, b.t);
  const Sample mid = SampleAt(spline, static_cast<Real>(0.5 * (static_cast<double>(a.u) + b.u)));
  const bool split = mid.u > a.u && mid.u < b.u;
  if (turnCosine < kSmallTurnCosine && depth < kMaxHalvings && split)
    return Carry(Carry(r, a, mid, spline, depth + 1), mid, b, spline, depth + 1);
  const D3 v1 = a.t + mid.t * 4.0 + b.t;
  const double c1 = Dot(v1, v1);
  if (turnCosine < kSmallTurnCosine || !(c1 > 0)) {
    const D3 axis = Cross(a.t, b.t);
    const double sine = std::sqrt(Dot(axis, axis));
    if (sine > 0) r = Turn(r, axis * (1 / sine), std::atan2(sine, turnCosine));
  } else {
    const D3 rL = Reflect(r, v1, c1), tL = Reflect(a.t, v1, c1);
    const D3 v2 = b.t - tL;
    const double c2 = Dot(v2, v2);
    r = c2 > 0 ? Reflect(rL, v2, c2) : rL;
  }
  // Keep it square to the tangent and unit, whatever the rounding.
  const D3 squared = Square(r, b.t);
  return Dot(squared, squared) > 0 ? squared : r;
}


// The shortest turn that carries unit vector a onto unit vector b, applied to
// r and made square to b again.
D3 TurnAcross(D3 r, D3 a, D3 b) {
  const D3 axis = Cross(a, b);
  const double sine = std::sqrt(Dot(axis, axis));
  if (sine > 0) r = Turn(r, axis * (1 / sine), std::atan2(sine, Dot(a, b)));
  const D3 squared = Square(r, b);
  return Dot(squared, squared) > 0 ? squared : r;
}

// A join of two spans counts as a corner when the tangent turns there by more
// than this (radians, as a cosine): well above what rounding and the small
// step to either side make of a smooth join.
constexpr double kCornerCosine = 0.99999999500000000;  // cos(1e-4)

// A span join where the tangent jumps.
struct Join {
  Real pos;   // the first position whose tangent is that of the outgoing span
  D3 in, out;  // unit tangents of the incoming and outgoing span
};

// The unit tangent at spline parameter t.
D3 TangentAtNatural(const SplineEvaluator& spline, Real t) {
  Vector tangent;
  spline.Tangent(t, tangent);
  return Unit(FromVector(tangent));
}

// Whether the tangent at arc-length position u is that of the outgoing span.
bool PastJoin(const SplineEvaluator& spline, Real u, const Join& join) {
  const D3 t = TangentAtNatural(spline, spline.UniformToNatural(u));
  return Dot(t, join.out) > Dot(t, join.in);
}

// The join between span k - 1 and span k of `spans` (the parameter is shared
// evenly between the spans), if the tangent jumps there. `from` is a position
// at or before it. The position is found where the conversion from arc length
// reaches the join, then moved by a few float steps at most so that it is the
// first position at which the host answers the outgoing tangent: a point on
// either side then gets the up direction of its own side.
bool FindJoin(const SplineEvaluator& spline, int32 k, int32 spans, Real from, Join& join) {
  const double at = static_cast<double>(k) / spans;
  const double step = 1e-4 / spans;
  const Real before = static_cast<Real>(at - step), after = static_cast<Real>(at + step);
  join.in = TangentAtNatural(spline, before);
  join.out = TangentAtNatural(spline, after);
  if (!(Dot(join.in, join.out) < kCornerCosine)) return false;
  const Real t = static_cast<Real>(at);
  Real lo = from, hi = 1.0f;  // UniformToNatural(lo) < t <= UniformToNatural(hi), as far as they go
  if (spline.UniformToNatural(lo) >= t) return false;
  while (true) {
    const Real mid = static_cast<Real>(0.5 * (static_cast<double>(lo) + hi));
    if (!(mid > lo && mid < hi)) break;
    (spline.UniformToNatural(mid) >= t ? hi : lo) = mid;
  }
  constexpr int kMostSteps = 8;
  Real pos = hi;
  for (int s = 0; s < kMostSteps && pos < 1.0f && !PastJoin(spline, pos, join); ++s) pos = std::nextafter(pos, 2.0f);
  for (int s = 0; s < kMostSteps && pos > from; ++s) {
    const Real earlier = std::nextafter(pos, -1.0f);
    if (!PastJoin(spline, earlier, join)) break;
    pos = earlier;
  }
  join.pos = pos;
  return pos > 0.0f && pos < 1.0f;
}

// Carries r from sample a to sample b (which may lie at the same position).
D3 CarryTo(D3 r, const Sample& a, const Sample& b, const SplineEvaluator& spline) {
  if (b.u > a.u) return Carry(r, a, b, spline, 0);
  return TurnAcross(r, a.t, b.t);
}

}  // namespace


int32 PathTransport::SampleCount(int32 controlPoints) {
  const int64_t wanted = 64 * static_cast<int64_t>(controlPoints > 1 ? controlPoints : 1) + 1;
  return static_cast<int32>(wanted < 1025 ? 1025 : (wanted > 65537 ? 65537 : wanted));
}

void PathTransport::Free() {
  _GeFree(entries_);
  _GeFree(corners_);
  count_ = 0;
  last_ = 0;
  cornerCount_ = 0;
}

Vector PathTransport::UpNearCorners(Real pos, int32 interval, Real w) const {
  // Between the interval's start, its corners and its end, blend only
  // between two values on the same side of every corner.
  Vector from = entries_[interval].up, to = entries_[interval + 1].up;
  Real fromW = 0, toW = 1;
  for (int32 k = entries_[interval].corner; k < cornerCount_ && corners_[k].interval == interval; ++k) {
    const Corner& c = corners_[k];
    if (pos < c.pos) {
      to = c.before;
      toW = c.within;
      break;
    }
    from = c.after;
    fromW = c.within;
  }
  const Real span = toW - fromW;
  const Real s = span > 0 ? (w - fromW) / span : 0;
  return from + (to - from) * (s < 0 ? 0 : (s > 1 ? 1 : s));
}

bool PathTransport::Build(const PathRecord& path, int32 controlPoints, bool closed, const Vector& up) {
  Free();
  const int32 n = SampleCount(controlPoints);
  const int32 spans = closed ? controlPoints : controlPoints - 1;
  const int32 most = spans > 1 ? spans - 1 : 0;  // joins inside the path
  entries_ = static_cast<Entry*>(GeAlloc(sizeof(Entry) * static_cast<size_t>(n)));
  D3* tangents = static_cast<D3*>(GeAlloc(sizeof(D3) * static_cast<size_t>(n)));
  Join* joins = most > 0 ? static_cast<Join*>(GeAlloc(sizeof(Join) * static_cast<size_t>(most))) : nullptr;
  corners_ = most > 0 ? static_cast<Corner*>(GeAlloc(sizeof(Corner) * static_cast<size_t>(most))) : nullptr;
  if (!entries_ || !tangents || (most > 0 && (!joins || !corners_))) {
    Free();
    _GeFree(tangents);
    _GeFree(joins);
    return false;
  }
  const SplineEvaluator spline(path.spline);
  int32 joinCount = 0;
  for (int32 k = 1; k <= most; ++k) {
    const Real from = joinCount > 0 ? joins[joinCount - 1].pos : 0.0f;
    if (FindJoin(spline, k, spans, from, joins[joinCount])) ++joinCount;
  }

  const double step = 1.0 / (n - 1);
  last_ = static_cast<Real>(n - 1);
  D3 r;
  Sample previous{};
  int32 next = 0;  // the next join to cross
  for (int32 i = 0; i < n; ++i) {
    const Real u = i == n - 1 ? 1.0f : static_cast<Real>(i * step);
    // The joins up to this sample, each crossed at itself: carried to its
    // incoming side, then turned onto its outgoing side.
    for (; i > 0 && next < joinCount && joins[next].pos <= u; ++next) {
      const Join& j = joins[next];
      r = CarryTo(r, previous, Sample{j.in, j.pos}, spline);
      Corner& c = corners_[next];
      c.pos = j.pos;
      const Real f = j.pos * last_;
      c.interval = static_cast<int32>(f);
      c.within = f - static_cast<Real>(c.interval);
      // A join exactly on a sample belongs to the interval that ends there;
      // the sample itself is on the outgoing side.
      if (c.within == 0 && c.interval > 0) {
        --c.interval;
        c.within = 1;
      }
      c.before = Vector(static_cast<Real>(r.x), static_cast<Real>(r.y), static_cast<Real>(r.z));
      r = TurnAcross(r, j.in, j.out);
      c.after = Vector(static_cast<Real>(r.x), static_cast<Real>(r.y), static_cast<Real>(r.z));
      previous = Sample{j.out, j.pos};
    }
    const Sample sample = SampleAt(spline, u);
    r = i == 0 ? StartUp(FromVector(up), sample.t) : CarryTo(r, previous, sample, spline);
    tangents[i] = sample.t;
    previous = sample;
    entries_[i] = Entry{Vector(static_cast<Real>(r.x), static_cast<Real>(r.y), static_cast<Real>(r.z)), -1};
  }
  cornerCount_ = next;
  for (int32 k = cornerCount_ - 1; k >= 0; --k) entries_[corners_[k].interval].corner = k;

  if (closed) {
    // Where the transported frame comes back: turned onto the start tangent
    // (the shortest turn, which a corner at the seam may need), then the
    // angle to the start direction about that tangent, spread evenly.
    const D3 tStart = tangents[0];
    const D3 back = TurnAcross(FromVector(entries_[n - 1].up), tangents[n - 1], tStart);
    const D3 start = FromVector(entries_[0].up);
    const double angle = std::atan2(Dot(Cross(back, start), tStart), Dot(back, start));
    const auto turned = [&](const Vector& v, D3 t, double u) {
      const D3 d = Turn(FromVector(v), t, angle * u);
      return Vector(static_cast<Real>(d.x), static_cast<Real>(d.y), static_cast<Real>(d.z));
    };
    for (int32 i = 1; i < n; ++i) entries_[i].up = turned(entries_[i].up, tangents[i], i * step);
    for (int32 k = 0; k < cornerCount_; ++k) {
      Corner& c = corners_[k];
      c.before = turned(c.before, joins[k].in, c.pos);
      c.after = turned(c.after, joins[k].out, c.pos);
    }
  }
  _GeFree(tangents);
  _GeFree(joins);
  count_ = n;
  return true;
}

bool PathTransportCache::Matches(BaseObject* pathObject, uint32 counter, const Vector* points, int32 count,
                                 bool closed, const Vector& up, Real length) const {
  if (!valid_ || pathObject != pathObject_ || counter != counter_ || count != pointCount_ || closed != closed_)
    return false;
  if (std::memcmp(&up, &up_, sizeof(Vector)) != 0 || std::memcmp(&length, &length_, sizeof(Real)) != 0) return false;
  return count == 0 || (points && std::memcmp(points, points_, sizeof(Vector) * static_cast<size_t>(count)) == 0);
}

bool PathTransportCache::Keep(BaseObject* pathObject, uint32 counter, const Vector* points, int32 count, bool closed,
                              const Vector& up, Real length) {
  valid_ = false;
  if (count != pointCount_ || !points_) {
    _GeFree(points_);
    pointCount_ = 0;
    if (count > 0) {
      points_ = static_cast<Vector*>(GeAlloc(sizeof(Vector) * static_cast<size_t>(count)));
      if (!points_) return false;
    }
  }
  if (count > 0) {
    if (!points) return false;
    std::memcpy(points_, points, sizeof(Vector) * static_cast<size_t>(count));
  }
  pointCount_ = count;
  pathObject_ = pathObject;
  counter_ = counter;
  closed_ = closed;
  up_ = up;
  length_ = length;
  valid_ = true;
  return true;
}

PathTransportCache::Use::Use(PathTransportCache& cache, BaseObject* pathObject, SplineObject* pathSpline,
                             const PathRecord& path, bool closed, const Vector& up) {
  const int32 count = pathSpline->GetPointCount();
  if (cache.busy_.exchange(true, std::memory_order_acquire)) {
    // Another run holds the kept table: this one builds its own.
    cache.builds_.fetch_add(1, std::memory_order_relaxed);
    own_.Build(path, count, closed, up);
    return;
  }
  held_ = &cache;
  const uint32 counter = pathObject->GetDirty(KH_DIRTY_DATA);
  const Vector* points = pathSpline->GetPointR();
  if (!cache.Matches(pathObject, counter, points, count, closed, up, path.length)) {
    cache.builds_.fetch_add(1, std::memory_order_relaxed);
    cache.valid_ = false;
    if (cache.table_.Build(path, count, closed, up)) cache.Keep(pathObject, counter, points, count, closed, up, path.length);
  }
  table_ = &cache.table_;
}

PathTransportCache::Use::~Use() {
  if (held_) held_->busy_.store(false, std::memory_order_release);
}
