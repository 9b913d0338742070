#include "span_table.h"

namespace kurvo::geo {

void SpanTable::Build(const SegmentView& seg) {
  Clear();
  const int32_t spans = seg.SpanCount();
  if (spans <= 0) return;
  spans_.reserve(static_cast<size_t>(spans));
  for (int32_t k = 0; k < spans; ++k) {
    const SpanControl q = SpanControlPolygon(seg, k);
    if (seg.interpolation == Interpolation::Linear) {
      spans_.push_back(Span{q.b0, q.b3 - q.b0, Vector(), Vector(), Vector(), Vector()});
      continue;
    }
    // Power form of the Bezier cubic, summed in double precision and rounded
    // once per coefficient.
    auto component = [](const Vector& v, int axis) -> double { return axis == 0 ? v.x : axis == 1 ? v.y : v.z; };
    double coeff[4][3];
    for (int axis = 0; axis < 3; ++axis) {
      const double b0 = component(q.b0, axis), b1 = component(q.b1, axis);
      const double b2 = component(q.b2, axis), b3 = component(q.b3, axis);
      coeff[0][axis] = b0;
      coeff[1][axis] = 3.0 * (b1 - b0);
      coeff[2][axis] = 3.0 * (b2 - 2.0 * b1 + b0);
      coeff[3][axis] = b3 - b0 + 3.0 * (b1 - b2);
    }
    auto vec = [](const double* v) {
      return Vector(static_cast<float>(v[0]), static_cast<float>(v[1]), static_cast<float>(v[2]));
    };
    const Vector c = vec(coeff[2]), d = vec(coeff[3]);
    spans_.push_back(Span{vec(coeff[0]), vec(coeff[1]), c, d, c * 2.0f, d * 3.0f});
  }
  spanCount_ = static_cast<float>(spans);
  lastSpan_ = spans - 1;
}

void SpanTable::EvaluateMany(const float* t, int32_t count, float* px, float* py, float* pz, float* tx, float* ty,
                             float* tz, bool* declined) const {
  // Span and local parameter of every point as Locate finds them, written
  // as choices between values so that the loop runs on several points per
  // instruction.
  alignas(16) float s[kManyBlock];
  alignas(16) int32_t index[kManyBlock];
  const int32_t last = lastSpan_;
  const float spanCount = spanCount_;
  for (int32_t i = 0; i < count; ++i) {
    float ti = t[i];
    ti = ti > 0.0f ? ti : 0.0f;  // also NaN
    ti = ti > 1.0f ? 1.0f : ti;
    const float f = ti * spanCount;
    const auto span = static_cast<int32_t>(f);
    const bool end = span >= last + 1;
    const float local = f - static_cast<float>(span);
    s[i] = end ? 1.0f : local;
    index[i] = end ? last : span;
  }
  // Each component of each coefficient of each point's span, one array apiece.
  alignas(16) float a[3][kManyBlock], b[3][kManyBlock], c[3][kManyBlock], d[3][kManyBlock];
  alignas(16) float c2[3][kManyBlock], d3[3][kManyBlock];
  const Span* spans = spans_.data();
  const bool tangents = tx != nullptr;
  for (int32_t i = 0; i < count; ++i) {
    const Span& p = spans[index[i]];
    a[0][i] = p.a.x, a[1][i] = p.a.y, a[2][i] = p.a.z;
    b[0][i] = p.b.x, b[1][i] = p.b.y, b[2][i] = p.b.z;
    c[0][i] = p.c.x, c[1][i] = p.c.y, c[2][i] = p.c.z;
    d[0][i] = p.d.x, d[1][i] = p.d.y, d[2][i] = p.d.z;
  }
  float* out[3] = {px, py, pz};
  for (int axis = 0; axis < 3; ++axis) {
    const float* aa = a[axis];
    const float* bb = b[axis];
    const float* cc = c[axis];
    const float* dd = d[axis];
    float* o = out[axis];
    for (int32_t i = 0; i < count; ++i) o[i] = aa[i] + (bb[i] + (cc[i] + dd[i] * s[i]) * s[i]) * s[i];
  }
  if (!tangents) return;
  for (int32_t i = 0; i < count; ++i) {
    const Span& p = spans[index[i]];
    c2[0][i] = p.c2.x, c2[1][i] = p.c2.y, c2[2][i] = p.c2.z;
    d3[0][i] = p.d3.x, d3[1][i] = p.d3.y, d3[2][i] = p.d3.z;
  }
  alignas(16) float len2[kManyBlock];
  for (int32_t i = 0; i < count; ++i) {
    const float dx = b[0][i] + (c2[0][i] + d3[0][i] * s[i]) * s[i];
    const float dy = b[1][i] + (c2[1][i] + d3[1][i] * s[i]) * s[i];
    const float dz = b[2][i] + (c2[2][i] + d3[2][i] * s[i]) * s[i];
    const float l2 = dx * dx + dy * dy + dz * dz;
    // A declined point's scale is not used; 1 keeps the square root quiet.
    const float root = std::sqrt(((l2 > 1e-30f) & (l2 < 1e30f)) ? l2 : 1.0f);
    const float scale = 1.0f / root;
    tx[i] = dx * scale, ty[i] = dy * scale, tz[i] = dz * scale;
    len2[i] = l2;
  }
  for (int32_t i = 0; i < count; ++i) declined[i] = !((len2[i] > 1e-30f) & (len2[i] < 1e30f));
}

void SpanTable::Clear() {
  std::vector<Span>().swap(spans_);
  spanCount_ = 0.0f;
  lastSpan_ = -1;
}

}  // namespace kurvo::geo
