#include "spline.h"

#include <cmath>

namespace kurvo::geo {

int32_t Spline::SegmentCount() const {
  if (segments.empty()) return points.empty() ? 0 : 1;
  return static_cast<int32_t>(segments.size());
}

Spline::Range Spline::SegmentRange(int32_t segment) const {
  const auto total = static_cast<int32_t>(points.size());
  if (segments.empty()) return segment == 0 ? Range{0, total} : Range{};
  if (segment < 0 || segment >= static_cast<int32_t>(segments.size())) return Range{};
  int32_t first = 0;
  for (int32_t i = 0; i < segment; ++i) first += segments[i] > 0 ? segments[i] : 0;
  if (first >= total) return Range{};
  int32_t count = segments[segment] > 0 ? segments[segment] : 0;
  if (count > total - first) count = total - first;  // tolerate counts that overrun the points
  return Range{first, count};
}

SegmentView MakeSegmentView(const Spline& spline, int32_t segment, const Vector* points) {
  const Spline::Range range = spline.SegmentRange(segment);
  SegmentView view;
  view.count = range.count;
  view.closed = spline.closed;
  view.interpolation = spline.interpolation;
  if (range.count == 0) return view;
  view.points = (points ? points : spline.points.data()) + range.first;
  const bool bezier = spline.interpolation == Interpolation::Bezier;
  if (bezier && spline.tangentsIn.size() == spline.points.size())
    view.tangentsIn = spline.tangentsIn.data() + range.first;
  if (bezier && spline.tangentsOut.size() == spline.points.size())
    view.tangentsOut = spline.tangentsOut.data() + range.first;
  return view;
}

namespace {

// Index i of a closed segment of n points brought into [0, n); i is at most
// one lap out, so no division is needed.
int32_t Wrap(int32_t i, int32_t n) { return i < 0 ? i + n : (i >= n ? i - n : i); }

SpanControl ControlOf(const SegmentView& seg, int32_t span) {
  const int32_t n = seg.count;
  const Vector* p = seg.points;
  const int32_t i0 = span;
  const int32_t i1 = Wrap(span + 1, n);
  SpanControl c{p[i0], Vector(), Vector(), p[i1]};
  switch (seg.interpolation) {
    case Interpolation::Linear:
      break;
    case Interpolation::Bezier: {
      c.b1 = seg.tangentsOut ? p[i0] + seg.tangentsOut[i0] : p[i0];
      c.b2 = seg.tangentsIn ? p[i1] + seg.tangentsIn[i1] : p[i1];
      break;
    }
    case Interpolation::Cubic: {
      // Neighbours outside an open segment are reflections of the end span.
      Vector before, after;
      if (seg.closed) {
        before = p[Wrap(span - 1, n)];
        after = p[Wrap(span + 2, n)];
      } else {
        before = span > 0 ? p[span - 1] : p[i0] * 2.0f - p[i1];
        after = span + 2 < n ? p[span + 2] : p[i1] * 2.0f - p[i0];
      }
      // Uniform Catmull-Rom as a Bezier span: the tangents are (next - previous) / 2.
      constexpr float kSixth = 1.0f / 6.0f;
      c.b1 = p[i0] + (p[i1] - before) * kSixth;
      c.b2 = p[i1] - (after - p[i0]) * kSixth;
      break;
    }
  }
  return c;
}

Vector PointOf(const SegmentView& seg, const SpanControl& c, float t) {
  const float u = 1.0f - t;
  if (seg.interpolation == Interpolation::Linear) return c.b0 * u + c.b3 * t;
  return c.b0 * (u * u * u) + c.b1 * (3.0f * u * u * t) + c.b2 * (3.0f * u * t * t) + c.b3 * (t * t * t);
}

Vector DerivativeOf(const SegmentView& seg, const SpanControl& c, float t) {
  if (seg.interpolation == Interpolation::Linear) return c.b3 - c.b0;
  const float u = 1.0f - t;
  return ((c.b1 - c.b0) * (u * u) + (c.b2 - c.b1) * (2.0f * u * t) + (c.b3 - c.b2) * (t * t)) * 3.0f;
}

// Span index and the parameter within it for a segment parameter t.
void Locate(const SegmentView& seg, float t, int32_t& span, float& local) {
  const int32_t spans = seg.SpanCount();
  if (!(t > 0.0f)) t = 0.0f;  // also NaN
  if (t > 1.0f) t = 1.0f;
  const float f = t * static_cast<float>(spans);
  span = static_cast<int32_t>(f);
  if (span >= spans) {
    span = spans - 1;
    local = 1.0f;
  } else {
    local = f - static_cast<float>(span);
  }
}

bool IsZero(const Vector& v) { return v.x == 0.0f && v.y == 0.0f && v.z == 0.0f; }

// Unit vector along a non-zero v. Vectors so small or large that their squared
// length leaves the normal float range are brought to a unit scale first.
Vector Direction(const Vector& v) {
  const float len2 = Dot(v, v);
  if (len2 > 1e-30f && len2 < 1e30f) return v * (1.0f / std::sqrt(len2));
  const float m = std::fmax(std::fabs(v.x), std::fmax(std::fabs(v.y), std::fabs(v.z)));
  return Normalize(v / m);
}

}  // namespace

SpanControl SpanControlPolygon(const SegmentView& seg, int32_t span) { return ControlOf(seg, span); }

Vector SpanPoint(const SegmentView& seg, int32_t span, float local) {
  return PointOf(seg, ControlOf(seg, span), local);
}

Vector SpanDerivative(const SegmentView& seg, int32_t span, float local) {
  return DerivativeOf(seg, ControlOf(seg, span), local);
}

Vector SplinePoint(const SegmentView& seg, float t) {
  if (seg.count == 0) return Vector();
  if (seg.count == 1) return seg.points[0];
  int32_t span;
  float local;
  Locate(seg, t, span, local);
  return PointOf(seg, ControlOf(seg, span), local);
}

Vector SplineTangent(const SegmentView& seg, float t) {
  const Vector up(0.0f, 0.0f, 1.0f);
  if (seg.count < 2) return up;
  int32_t span;
  float local;
  Locate(seg, t, span, local);
  const SpanControl c = ControlOf(seg, span);
  Vector d = DerivativeOf(seg, c, local);
  if (!IsZero(d)) return Direction(d);

  // Stationary point: the direction the curve travels in just around it.
  const float h = 1.0f / 1024.0f;
  const float lo = local - h > 0.0f ? local - h : 0.0f;
  const float hi = local + h < 1.0f ? local + h : 1.0f;
  d = PointOf(seg, c, hi) - PointOf(seg, c, lo);
  if (!IsZero(d)) return Direction(d);
  d = c.b3 - c.b0;
  if (!IsZero(d)) return Direction(d);

  // A collapsed span: the nearest span that has extent, looking ahead first.
  const int32_t spans = seg.SpanCount();
  for (int32_t step = 1; step < spans; ++step) {
    for (int32_t s : {span + step, span - step}) {
      if (s < 0 || s >= spans) continue;
      const SpanControl other = ControlOf(seg, s);
      d = other.b3 - other.b0;
      if (!IsZero(d)) return Direction(d);
    }
  }
  return up;
}

}  // namespace kurvo::geo
