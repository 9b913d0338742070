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

void SpanTable::Clear() {
  std::vector<Span>().swap(spans_);
  spanCount_ = 0.0f;
  lastSpan_ = -1;
}

}  // namespace kurvo::geo
