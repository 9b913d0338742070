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
// float operations whatever the spline.
//
// Build allocates; Length and UniformToNatural neither allocate nor write, so
// any number of threads may look up at once.
#ifndef KURVO_GEO_ARC_LENGTH_H
#define KURVO_GEO_ARC_LENGTH_H

#include <cstdint>
#include <vector>

#include "spline.h"

namespace kurvo::geo {

class ArcLengthTable {
 public:
  // Builds the table for the segment; false (and an empty table) when memory
  // runs out. Replaces a previous table.
  bool Build(const SegmentView& seg);
  // Releases the table's memory.
  void Clear();

  bool Empty() const { return cumulative_.empty(); }
  float Length() const { return length_; }

  // Segment parameter at fraction u of the length; u is clamped to [0, 1]
  // (NaN counts as 0). A table that is empty or of length 0 answers u itself.
  float UniformToNatural(float u) const;

 private:
  struct Refiner;
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
};

}  // namespace kurvo::geo

#endif
