#include "span_table.h"
#include "vector_variants.h"

#include <cstring>

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
  padded_.reserve(spans_.size());
  for (const Span& p : spans_) {
    auto pad = [](const Vector& v, float* out) { out[0] = v.x, out[1] = v.y, out[2] = v.z, out[3] = 0.0f; };
    PaddedSpan q;
    pad(p.a, q.a), pad(p.b, q.b), pad(p.c, q.c), pad(p.d, q.d), pad(p.c2, q.c2), pad(p.d3, q.d3);
    padded_.push_back(q);
  }
  spanCount_ = static_cast<float>(spans);
  lastSpan_ = spans - 1;
}

KURVO_GEO_VARIANTS void SpanTable::EvaluateMany(const float* t, int32_t count, float* px, float* py, float* pz,
                                                float* tx, float* ty, float* tz, bool* declined) const {
  // Span and local parameter of every point as Locate finds them, written
  // as choices between values, four points per vector instruction (in the
  // compiler's vector types, so that every compilation runs them on vectors
  // and none branches on the data), the last one to three as plain floats.
  typedef float Lanes __attribute__((vector_size(16)));
  typedef int32_t IntLanes __attribute__((vector_size(16)));
  alignas(16) float s[kManyBlock];
  alignas(16) int32_t index[kManyBlock];
  const int32_t last = lastSpan_;
  const float spanCount = spanCount_;
  auto load = [](const float* f) {
    Lanes v;
    std::memcpy(&v, f, sizeof v);
    return v;
  };
  const int32_t whole = count & ~3;
  {
    const Lanes zero = {}, one = zero + 1.0f, counts = zero + spanCount;
    const IntLanes lastIndex = IntLanes{} + last;
    for (int32_t i = 0; i < whole; i += 4) {
      Lanes ti = load(t + i);
      ti = ti > zero ? ti : zero;  // also NaN
      ti = ti > one ? one : ti;
      const Lanes f = ti * counts;
      const IntLanes span = __builtin_convertvector(f, IntLanes);
      const auto end = span >= lastIndex + 1;
      const Lanes local = f - __builtin_convertvector(span, Lanes);
      const Lanes si = end ? one : local;
      const IntLanes at = end ? lastIndex : span;
      std::memcpy(s + i, &si, sizeof si);
      std::memcpy(index + i, &at, sizeof at);
    }
  }
  for (int32_t i = whole; i < count; ++i) {
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
  // Each point's polynomial on its span's coefficients, four floats at a
  // time (the fourth lane is padding): per component exactly the operations
  // of Point and Derivative. Written in the compiler's vector types, which
  // become one instruction per operation on any target with four-float
  // vectors.
  alignas(16) Lanes point[kManyBlock], slope[kManyBlock];
  const PaddedSpan* spans = padded_.data();
  const bool tangents = tx != nullptr;
  if (!tangents) {
    for (int32_t i = 0; i < count; ++i) {
      const PaddedSpan& p = spans[index[i]];
      const Lanes si = {s[i], s[i], s[i], s[i]};
      point[i] = load(p.a) + (load(p.b) + (load(p.c) + load(p.d) * si) * si) * si;
    }
  } else {
    for (int32_t i = 0; i < count; ++i) {
      const PaddedSpan& p = spans[index[i]];
      const Lanes si = {s[i], s[i], s[i], s[i]};
      const Lanes b = load(p.b);
      point[i] = load(p.a) + (b + (load(p.c) + load(p.d) * si) * si) * si;
      slope[i] = b + (load(p.c2) + load(p.d3) * si) * si;
    }
  }
  for (int32_t i = 0; i < count; ++i) px[i] = point[i][0], py[i] = point[i][1], pz[i] = point[i][2];
  if (!tangents) return;
  alignas(16) float len2[kManyBlock];
  for (int32_t i = 0; i < count; ++i) {
    const float dx = slope[i][0], dy = slope[i][1], dz = slope[i][2];
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
  std::vector<PaddedSpan>().swap(padded_);
  spanCount_ = 0.0f;
  lastSpan_ = -1;
}

}  // namespace kurvo::geo
