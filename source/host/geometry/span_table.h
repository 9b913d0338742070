// One spline segment flattened for fast evaluation: every span as a cubic
// polynomial in power form, p(s) = a + s (b + s (c + s d)) over the span's own
// parameter s in [0, 1], with its derivative p'(s) = b + s (c2 + s d3)
// (c2 = 2c, d3 = 3d), so a point or a derivative is an index computation and
// a few multiply-adds, whatever the interpolation. Linear spans have
// c = d = 0.
//
// Point and Tangent follow SplinePoint and SplineTangent (same span and local
// parameter for every t) and differ from them only by rounding. Where the
// derivative vanishes or leaves the normal float range, Tangent declines and
// the caller asks SplineTangent, which knows the fallbacks for stationary
// points.
//
// Build allocates; the evaluations neither allocate nor write.
#ifndef KURVO_GEO_SPAN_TABLE_H
#define KURVO_GEO_SPAN_TABLE_H

#include <cmath>
#include <cstdint>
#include <vector>

#include "spline.h"

namespace kurvo::geo {

class SpanTable {
 public:
  // Replaces the table by the spans of `seg`. A segment of fewer than two
  // points has no spans (Empty). Throws std::bad_alloc.
  void Build(const SegmentView& seg);
  void Clear();
  bool Empty() const { return spans_.empty(); }
  int32_t SpanCount() const { return static_cast<int32_t>(spans_.size()); }

  // Point at segment parameter t (clamped to [0, 1], NaN counts as 0).
  // Only for a table that is not empty.
  Vector Point(float t) const {
    float s;
    const Span& p = Locate(t, s);
    return p.a + (p.b + (p.c + p.d * s) * s) * s;
  }

  // Unit tangent at t into `out`; false (out untouched) where the derivative
  // is zero, tiny or huge. Only for a table that is not empty.
  bool Tangent(float t, Vector& out) const {
    float s;
    const Span& p = Locate(t, s);
    const Vector d = Derivative(p, s);
    const float len2 = Dot(d, d);
    if (!(len2 > 1e-30f && len2 < 1e30f)) return false;
    out = d * (1.0f / std::sqrt(len2));
    return true;
  }

  // Point and Tangent for t[i], i < count (at most kManyBlock), side by
  // side: the points into px, py, pz and, when tx is not null, the unit
  // tangents into tx, ty, tz, each to the bit what Point and Tangent give.
  // declined[i] is set where Tangent declines (that tangent is then
  // meaningless: the caller asks the careful way) and cleared elsewhere;
  // untouched without tangents. Each point's polynomial runs on the three
  // components of its span's coefficients at once (one vector load per
  // coefficient, the same operations per component as Point); the
  // normalisation runs as a plain loop over the block, several points per
  // instruction.
  static constexpr int32_t kManyBlock = 64;
  void EvaluateMany(const float* t, int32_t count, float* px, float* py, float* pz, float* tx, float* ty, float* tz,
                    bool* declined) const;

  // Derivative along span `span`'s own parameter, not normalised.
  Vector SpanDerivative(int32_t span, float local) const { return Derivative(spans_[span], local); }

 private:
  struct Span {
    Vector a, b, c, d;
    Vector c2, d3;
  };
  // The same coefficients, each padded to four floats (the fourth 0) so that
  // one aligned load reads a whole coefficient.
  struct alignas(16) PaddedSpan {
    float a[4], b[4], c[4], d[4], c2[4], d3[4];
  };

  static Vector Derivative(const Span& p, float s) { return p.b + (p.c2 + p.d3 * s) * s; }

  // The span holding t and the parameter within it, as SplinePoint finds them.
  const Span& Locate(float t, float& local) const {
    if (!(t > 0.0f)) t = 0.0f;  // also NaN
    if (t > 1.0f) t = 1.0f;
    const float f = t * spanCount_;
    const auto span = static_cast<int32_t>(f);
    if (span >= lastSpan_ + 1) {
      local = 1.0f;
      return spans_[lastSpan_];
    }
    local = f - static_cast<float>(span);
    return spans_[span];
  }

  std::vector<Span> spans_;
  std::vector<PaddedSpan> padded_;  // spans_, padded
  float spanCount_ = 0.0f;
  int32_t lastSpan_ = -1;
};

}  // namespace kurvo::geo

#endif
