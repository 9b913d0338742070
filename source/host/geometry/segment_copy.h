// A private copy of one spline segment's shape (points, Bezier tangents,
// interpolation, closedness), so that what was built from a segment can be
// kept, evaluated and compared with the segment as it is now.
//
// Comparing the contents, not a change counter, is what makes reuse safe: a
// point object's array is writable in place during an evaluation, which no
// counter sees.
#ifndef KURVO_GEO_SEGMENT_COPY_H
#define KURVO_GEO_SEGMENT_COPY_H

#include <vector>

#include "spline.h"

namespace kurvo::geo {

class SegmentCopy {
 public:
  SegmentCopy() = default;
  // The view points into the copy's own arrays.
  SegmentCopy(const SegmentCopy&) = delete;
  SegmentCopy& operator=(const SegmentCopy&) = delete;

  // Copies the segment. Throws std::bad_alloc.
  void Assign(const SegmentView& seg);
  void Clear();
  // True when `seg` has exactly this shape (bit for bit).
  bool Matches(const SegmentView& seg) const;
  // A view of the copy; valid until the next Assign or Clear.
  const SegmentView& View() const { return view_; }

 private:
  std::vector<Vector> points_;
  std::vector<Vector> tangentsIn_;
  std::vector<Vector> tangentsOut_;
  SegmentView view_;
};

}  // namespace kurvo::geo

#endif
