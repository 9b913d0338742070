// Splines of the headless host: control points split into segments, evaluated
// per segment at a parameter t in [0, 1] that runs over the whole segment.
//
// Interpolation:
//  - Linear: straight spans between neighbouring points.
//  - Cubic: uniform Catmull-Rom, passing through every control point. Open
//    segments continue their end spans by reflection (p[-1] = 2 p[0] - p[1],
//    p[n] = 2 p[n-1] - p[n-2]), so evenly spaced collinear points give a
//    straight line at constant speed. Closed segments wrap around.
//  - Bezier: each point carries an incoming and an outgoing tangent, stored as
//    offsets from the point; the span from i to i+1 has the control polygon
//    p[i], p[i] + out[i], p[i+1] + in[i+1], p[i+1].
// A closed segment of n points has n spans (the last one back to its first
// point); an open one n - 1. Within a segment the parameter is shared evenly
// between the spans: span k covers t in [k / spans, (k + 1) / spans].
//
// Evaluation is allocation-free and reads the spline only, so any number of
// threads may evaluate the same spline at once.
#ifndef KURVO_GEO_SPLINE_H
#define KURVO_GEO_SPLINE_H

#include <cstdint>
#include <vector>

#include "vector.h"

namespace kurvo::geo {

enum class Interpolation : int32_t { Linear = 0, Cubic = 1, Bezier = 2 };

struct Spline {
  Interpolation interpolation = Interpolation::Linear;
  bool closed = false;  // applies to every segment
  std::vector<Vector> points;
  // Bezier tangents as offsets from their point; either empty (all tangents
  // zero) or the same size as `points`. Ignored by the other interpolations.
  std::vector<Vector> tangentsIn;
  std::vector<Vector> tangentsOut;
  // Point count of each segment, in order. Empty: one segment of all points.
  std::vector<int32_t> segments;

  int32_t SegmentCount() const;
  // First point index and point count of a segment; {0, 0} when out of range.
  struct Range {
    int32_t first = 0;
    int32_t count = 0;
  };
  Range SegmentRange(int32_t segment) const;
};

// What evaluating one segment needs, without owning anything. Build it with
// SegmentView; it stays valid while the spline (or the override points) does.
struct SegmentView {
  const Vector* points = nullptr;
  const Vector* tangentsIn = nullptr;   // null: zero tangents
  const Vector* tangentsOut = nullptr;  // null: zero tangents
  int32_t count = 0;
  bool closed = false;
  Interpolation interpolation = Interpolation::Linear;

  int32_t SpanCount() const {
    if (count < 2) return 0;
    return closed ? count : count - 1;
  }
};

// A view of one segment. `points`, when given, replaces the spline's own point
// array (indexed like it, from the spline's first point), so a caller can
// evaluate the spline's shape over other positions.
SegmentView MakeSegmentView(const Spline& spline, int32_t segment, const Vector* points = nullptr);

// Point at parameter t in [0, 1] (clamped; NaN counts as 0). A segment without
// points answers (0, 0, 0); a single point answers that point.
Vector SplinePoint(const SegmentView& seg, float t);

// Unit-length tangent at t. Where the derivative vanishes (a Bezier span with
// zero tangents, coincident points) the direction of travel near t is used,
// then the chord of the span, then the nearest non-zero chord of the segment;
// a segment whose points all coincide answers +Z.
Vector SplineTangent(const SegmentView& seg, float t);

// Derivative along the span's own parameter (0..1 across the span),
// not normalised. Used by the arc-length table.
Vector SpanDerivative(const SegmentView& seg, int32_t span, float local);
Vector SpanPoint(const SegmentView& seg, int32_t span, float local);

// Cubic Bezier control polygon of a span (0 <= span < SpanCount()). Linear
// spans fill b0 and b3 only; b1 and b2 are zero.
struct SpanControl {
  Vector b0, b1, b2, b3;
};
SpanControl SpanControlPolygon(const SegmentView& seg, int32_t span);

}  // namespace kurvo::geo

#endif
