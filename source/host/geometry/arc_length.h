// Arc-length table of one spline segment: its length, and the map from a
// fraction of that length to the segment's own parameter.
//
// Linear segments get one interval per span: length grows linearly within a
// span, so the table is exact. Curved segments start with four intervals per
// span; each interval stores the cubic that maps a fraction of its length to
// a fraction of its parameter range, fitted through the exact values at one
// and two thirds, and is halved until that cubic is right to within a
// millionth of the whole length at three check points (at most 10 halvings:
// near a cusp intervals get short). Lengths come from 5-point Gauss-Legendre
// quadrature in double precision.
// A look-up finds the interval through a table of buckets of equal length
// (constant time for evenly spread intervals, a short binary search within
// the bucket otherwise) and evaluates the interval's cubic: a handful of
// float operations whatever the spline. Look-ups of many fractions at once
// use a second, finer grid (four cells per interval) whose cells mostly
// meet at most one interval boundary: one comparison with the boundary the
// cell stores then settles the interval, with no further load.
//
// The table keeps a copy of the segment it was built for, and that copy's
// flat evaluator (SpanTable): between Build and Release, point and tangent
// look-ups can use them instead of the live spline. Release ends the use but
// keeps the memory; a later Build of a segment of exactly the same shape
// (compared bit for bit) only takes the table back into use, so a run that
// rebuilds the table of an unchanged path every time pays a comparison, not
// a rebuild.
//
// Build allocates; Length, UniformToNatural and the evaluator neither
// allocate nor write, so any number of threads may look up at once.
#ifndef KURVO_GEO_ARC_LENGTH_H
#define KURVO_GEO_ARC_LENGTH_H

#include <cstdint>
#include <vector>

#include "segment_copy.h"
#include "span_table.h"
#include "spline.h"

namespace kurvo::geo {

class ArcLengthTable {
 public:
  ArcLengthTable() = default;
  // Holds pointers into itself (the evaluator in use, the copy's view).
  ArcLengthTable(const ArcLengthTable&) = delete;
  ArcLengthTable& operator=(const ArcLengthTable&) = delete;

  // Builds the table for the segment, or takes the kept one back into use
  // when the segment has the shape it was built for; false (and an empty
  // table) when memory runs out.
  bool Build(const SegmentView& seg);
  // Ends the use of the table: it reads as empty, but keeps its memory for a
  // Build of the same shape.
  void Release() {
    inUse_ = false;
    searchable_ = false;
    activeSpans_ = nullptr;
  }
  // Releases the table's memory.
  void Clear();

  bool Empty() const { return !inUse_; }
  // In use, and built for exactly this shape: another user may join it
  // without touching the table.
  bool InUseFor(const SegmentView& seg) const { return inUse_ && built_ && shape_.Matches(seg); }
  float Length() const { return inUse_ ? length_ : 0.0f; }

  // The evaluator of the segment the table is in use for; null when the table
  // is not in use or the segment has fewer than two points.
  const SpanTable* Spans() const { return activeSpans_; }
  // The copied segment the table was built for (for the rare evaluations
  // that the flat evaluator declines).
  const SegmentView& Shape() const { return shape_.View(); }

  // Free for the owner's note of what the table was built from (which
  // segment, which state of the spline); kept as it is set, cleared by Clear.
  struct Source {
    int32_t segment = -1;
    uint32_t stamp = 0;
  };
  Source source;

  // Segment parameter at fraction u of the length; u is clamped to [0, 1]
  // (NaN counts as 0). A table that is empty or of length 0 answers u itself.
  float UniformToNatural(float u) const;
  // UniformToNatural of u[i] into out[i] for i < count, to the bit, for many
  // fractions at once: the finer grid's cell settles each interval with one
  // comparison and no branch that depends on where a fraction lies (points
  // in no order then cost no mispredictions), four fractions per vector
  // instruction. count <= kManyBlock.
  static constexpr int32_t kManyBlock = 64;
  void UniformToNaturalMany(const float* u, float* out, int32_t count) const;

 private:
  int32_t FindInterval(float x, int32_t bucket) const;
  void BuildCells();
  struct Refiner;
  void TakeIntoUse();

  struct Interval {
    double start = 0.0;   // segment parameter at the start
    double width = 0.0;   // parameter range
    float inverseLength = 0.0f;  // 1 / length, or 0 for a zero-length interval
    // Parameter fraction = c1 s + c2 s^2 + c3 s^3 at length fraction s.
    float c1 = 1.0f, c2 = 0.0f, c3 = 0.0f;
  };

  std::vector<float> cumulative_;     // length from the start to the start of interval i (i = 0..n)
  std::vector<Interval> intervals_;   // n intervals covering the segment in order
  std::vector<int32_t> bucketFirst_;  // interval that holds the start of bucket k (k = 0..n)
  float length_ = 0.0f;
  float bucketScale_ = 0.0f;  // n, the number of intervals and of buckets
  int32_t lastBucket_ = -1;   // n - 1
  // The finer grid: cell k covers the lengths [k, k + 1) * L / m, widened on
  // both sides by far more than the rounding of a look-up's position and
  // cell. Every position that a look-up puts in cell k lies in interval
  // `first` or, at or past `boundary` (the next interval's start), in the
  // next one; +inf when the cell meets a single interval. first < 0: the
  // cell meets more than two intervals and the look-up searches the bucket.
  struct Cell {
    int32_t first = 0;
    float boundary = 0.0f;
  };
  std::vector<Cell> cells_;  // m cells
  float cellScale_ = 0.0f;   // m
  int32_t lastCell_ = -1;    // m - 1
  bool searchable_ = false;   // in use, with intervals and a length
  const SpanTable* activeSpans_ = nullptr;  // &spans_ while in use and not empty
  SegmentCopy shape_;
  SpanTable spans_;
  bool built_ = false;  // the members above describe shape_
  bool inUse_ = false;  // between Build and Release
};

}  // namespace kurvo::geo

#endif
