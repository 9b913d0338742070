#include "track.h"

#include <algorithm>
#include <cmath>

namespace kurvo::animation {
namespace {

// Index of the last key at or before `frame` (0 when before the first).
size_t keyBefore(const std::vector<Key>& keys, double frame) {
  const auto after = std::upper_bound(keys.begin(), keys.end(), frame,
                                      [](double f, const Key& k) { return f < k.frame; });
  return after == keys.begin() ? 0 : static_cast<size_t>(after - keys.begin()) - 1;
}

// One component's slope at key k for the smooth curve.
double slopeAt(const std::vector<Key>& keys, size_t k, const std::vector<double>& values) {
  if (k == 0 || k + 1 >= keys.size()) return 0.0;
  const double in = values[k] - values[k - 1];
  const double out = values[k + 1] - values[k];
  if (in * out <= 0.0) return 0.0;  // a turning point stays flat
  return (values[k + 1] - values[k - 1]) / (keys[k + 1].frame - keys[k - 1].frame);
}

// Interpolates one component between keys k and k+1. `values` holds that
// component of keys k-1..k+2 where they exist, indexed like the keys.
double between(const std::vector<Key>& keys, size_t k, double frame, Interpolation interpolation,
               const std::vector<double>& values) {
  const double h = keys[k + 1].frame - keys[k].frame;
  const double t = (frame - keys[k].frame) / h;
  const double a = values[k], b = values[k + 1];
  if (interpolation == Interpolation::linear) return a + (b - a) * t;
  const double t2 = t * t, t3 = t2 * t;
  const double ma = slopeAt(keys, k, values), mb = slopeAt(keys, k + 1, values);
  return (2 * t3 - 3 * t2 + 1) * a + (t3 - 2 * t2 + t) * h * ma + (-2 * t3 + 3 * t2) * b + (t3 - t2) * h * mb;
}

// The components of a value (1 for numbers, 3 for vectors, 3 per point).
size_t componentCount(const Value& v) {
  if (std::holds_alternative<Vector>(v)) return 3;
  if (const auto* p = std::get_if<std::vector<Vector>>(&v)) return 3 * p->size();
  return 1;
}

double component(const Value& v, size_t c) {
  if (const auto* i = std::get_if<int32_t>(&v)) return *i;
  if (const auto* r = std::get_if<float>(&v)) return *r;
  if (const auto* x = std::get_if<Vector>(&v)) return c == 0 ? x->x : c == 1 ? x->y : x->z;
  const Vector& p = std::get<std::vector<Vector>>(v)[c / 3];
  return c % 3 == 0 ? p.x : c % 3 == 1 ? p.y : p.z;
}

// The keys' values of one component near segment k (k-1 .. k+2); the other
// entries are left at 0 and never read.
void gather(const std::vector<Key>& keys, size_t k, size_t c, std::vector<double>& values) {
  values.assign(keys.size(), 0.0);
  const size_t first = k == 0 ? 0 : k - 1;
  const size_t last = std::min(keys.size() - 1, k + 2);
  for (size_t i = first; i <= last; ++i) values[i] = component(keys[i].value, c);
}

double interpolated(const std::vector<Key>& keys, size_t k, double frame, Interpolation interpolation, size_t c,
                    std::vector<double>& scratch) {
  gather(keys, k, c, scratch);
  return between(keys, k, frame, interpolation, scratch);
}

int32_t rounded(double v) {
  const double r = std::round(v);  // halves away from zero
  if (r >= 2147483647.0) return INT32_MAX;
  if (r <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(r);
}

}  // namespace

Value Track::sample(double frame) const {
  if (kind == ValueKind::points) return std::vector<Vector>{};
  const size_t k = keyBefore(keys, frame);
  if (interpolation == Interpolation::step || kind == ValueKind::boolean || k + 1 >= keys.size() ||
      frame <= keys[k].frame)
    return keys[k].value;
  std::vector<double> scratch;
  switch (kind) {
    case ValueKind::integer:
      return rounded(interpolated(keys, k, frame, interpolation, 0, scratch));
    case ValueKind::real:
      return static_cast<float>(interpolated(keys, k, frame, interpolation, 0, scratch));
    default: {
      Vector v;
      v.x = static_cast<float>(interpolated(keys, k, frame, interpolation, 0, scratch));
      v.y = static_cast<float>(interpolated(keys, k, frame, interpolation, 1, scratch));
      v.z = static_cast<float>(interpolated(keys, k, frame, interpolation, 2, scratch));
      return v;
    }
  }
}

void Track::samplePoints(double frame, std::vector<Vector>& out) const {
  const size_t k = keyBefore(keys, frame);
  const auto& at = std::get<std::vector<Vector>>(keys[k].value);
  if (interpolation == Interpolation::step || k + 1 >= keys.size() || frame <= keys[k].frame) {
    out = at;
    return;
  }
  out.resize(at.size());
  std::vector<double> scratch;
  const size_t n = componentCount(keys[k].value);
  for (size_t c = 0; c < n; ++c) {
    const float v = static_cast<float>(interpolated(keys, k, frame, interpolation, c, scratch));
    Vector& p = out[c / 3];
    (c % 3 == 0 ? p.x : c % 3 == 1 ? p.y : p.z) = v;
  }
}

const char* interpolationName(Interpolation i) noexcept {
  switch (i) {
    case Interpolation::step: return "step";
    case Interpolation::linear: return "linear";
    case Interpolation::smooth: return "smooth";
  }
  return "linear";
}

const char* channelName(Channel c) noexcept {
  switch (c) {
    case Channel::parameter: return "param";
    case Channel::position: return "position";
    case Channel::rotation: return "rotation";
    case Channel::scale: return "scale";
    case Channel::points: return "points";
  }
  return "param";
}

}  // namespace kurvo::animation
