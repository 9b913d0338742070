#include "deformer/path_transport.h"

#include <cmath>

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
// the two are parallel (or up is zero), the world axis least aligned with
// the tangent (X before Y before Z on a tie).
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

}  // namespace

int32 PathTransport::SampleCount(int32 controlPoints) {
  const int64_t wanted = 64 * static_cast<int64_t>(controlPoints > 1 ? controlPoints : 1) + 1;
  return static_cast<int32>(wanted < 1025 ? 1025 : (wanted > 65537 ? 65537 : wanted));
}

void PathTransport::Free() {
  _GeFree(ups_);
  count_ = 0;
  last_ = 0;
}

bool PathTransport::Build(const PathRecord& path, int32 controlPoints, bool closed, const Vector& up) {
  Free();
  const int32 n = SampleCount(controlPoints);
  ups_ = static_cast<Vector*>(GeAlloc(sizeof(Vector) * static_cast<size_t>(n)));
  D3* tangents = static_cast<D3*>(GeAlloc(sizeof(D3) * static_cast<size_t>(n)));
  if (!ups_ || !tangents) {
    _GeFree(ups_);
    _GeFree(tangents);
    return false;
  }
  const SplineEvaluator spline(path.spline);
  const double step = 1.0 / (n - 1);
  D3 r;
  Sample previous{};
  for (int32 i = 0; i < n; ++i) {
    const Real u = i == n - 1 ? 1.0f : static_cast<Real>(i * step);
    const Sample sample = SampleAt(spline, u);
    r = i == 0 ? StartUp(FromVector(up), sample.t) : Carry(r, previous, sample, spline, 0);
    tangents[i] = sample.t;
    previous = sample;
    ups_[i] = Vector(static_cast<Real>(r.x), static_cast<Real>(r.y), static_cast<Real>(r.z));
  }
  if (closed) {
    // Where the transported frame comes back: turned onto the start tangent
    // (the shortest turn, which a corner at the seam may need), then the
    // angle to the start direction about that tangent, spread evenly.
    const D3 tEnd = tangents[n - 1], tStart = tangents[0];
    D3 back = FromVector(ups_[n - 1]);
    const D3 axis = Cross(tEnd, tStart);
    const double sine = std::sqrt(Dot(axis, axis)), cosine = Dot(tEnd, tStart);
    if (sine > 0) back = Turn(back, axis * (1 / sine), std::atan2(sine, cosine));
    const D3 start = FromVector(ups_[0]);
    const double angle = std::atan2(Dot(Cross(back, start), tStart), Dot(back, start));
    for (int32 i = 1; i < n; ++i) {
      const D3 turned = Turn(FromVector(ups_[i]), tangents[i], angle * (i * step));
      ups_[i] = Vector(static_cast<Real>(turned.x), static_cast<Real>(turned.y), static_cast<Real>(turned.z));
    }
  }
  _GeFree(tangents);
  count_ = n;
  last_ = static_cast<Real>(n - 1);
  return true;
}
