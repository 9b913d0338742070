#include "reference_transport.h"

#include <algorithm>
#include <cmath>

namespace kurvo::reference {

namespace {

// v turned about the unit axis k by the angle whose cosine and sine are c, s.
DVec3 Turn(DVec3 v, DVec3 k, double c, double s) { return v * c + Cross(k, v) * s + k * (Dot(k, v) * (1 - c)); }

// The smallest turn that takes unit vector a onto unit vector b, applied to v.
DVec3 MinimalTurn(DVec3 v, DVec3 a, DVec3 b) {
  const DVec3 axis = Cross(a, b);
  const double s = Length(axis);
  if (s == 0) return v;
  return Turn(v, axis * (1 / s), Dot(a, b), s);
}

}  // namespace

Transport::Transport(const ArcPath& path, bool closed, DVec3 up) {
  std::vector<DVec3> tangents;
  path.Samples(256, fractions_, tangents);
  const int samples = static_cast<int>(tangents.size());
  const DVec3 t0 = tangents[0];
  DVec3 r = up - t0 * Dot(up, t0);
  if (!(Dot(r, r) > 1e-12 * Dot(up, up)) || Dot(up, up) == 0) {
    const double ax = std::fabs(t0.x), ay = std::fabs(t0.y), az = std::fabs(t0.z);
    const DVec3 axis = ax <= ay && ax <= az ? DVec3(1, 0, 0) : (ay <= az ? DVec3(0, 1, 0) : DVec3(0, 0, 1));
    r = axis - t0 * Dot(axis, t0);
  }
  r = Unit(r);
  ups_.resize(samples);
  ups_[0] = r;
  for (int i = 1; i < samples; ++i) {
    r = MinimalTurn(r, tangents[i - 1], tangents[i]);
    r = Unit(r - tangents[i] * Dot(r, tangents[i]));
    ups_[i] = r;
  }
  if (closed) {
    const DVec3 back = MinimalTurn(ups_.back(), tangents.back(), t0);
    const double angle = std::atan2(Dot(Cross(back, ups_[0]), t0), Dot(back, ups_[0]));
    for (int i = 1; i < samples; ++i) {
      const double a = angle * fractions_[i];
      ups_[i] = Turn(ups_[i], tangents[i], std::cos(a), std::sin(a));
    }
  }
}

DVec3 Transport::UpAt(double u) const {
  u = std::clamp(u, 0.0, 1.0);
  const size_t next = std::upper_bound(fractions_.begin(), fractions_.end() - 1, u) - fractions_.begin();
  const size_t i = next > 0 ? next - 1 : 0, j = std::min(i + 1, ups_.size() - 1);
  const double span = fractions_[j] - fractions_[i];
  const double w = span > 0 ? (u - fractions_[i]) / span : 0;
  return Unit(ups_[i] * (1 - w) + ups_[j] * w);
}

}  // namespace kurvo::reference
