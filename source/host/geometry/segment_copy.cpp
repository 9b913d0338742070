#include "segment_copy.h"

#include <cstring>

namespace kurvo::geo {
namespace {

void CopyArray(const Vector* from, int32_t count, std::vector<Vector>& to) {
  if (from)
    to.assign(from, from + count);
  else
    to.clear();
}

// Same contents, or both absent.
bool SameArray(const Vector* a, const std::vector<Vector>& copy, int32_t count) {
  if (!a) return copy.empty();
  if (copy.size() != static_cast<size_t>(count)) return false;
  return count == 0 || std::memcmp(a, copy.data(), static_cast<size_t>(count) * sizeof(Vector)) == 0;
}

}  // namespace

void SegmentCopy::Assign(const SegmentView& seg) {
  CopyArray(seg.points, seg.count, points_);
  CopyArray(seg.tangentsIn, seg.count, tangentsIn_);
  CopyArray(seg.tangentsOut, seg.count, tangentsOut_);
  view_ = seg;
  view_.points = seg.points ? points_.data() : nullptr;
  view_.tangentsIn = seg.tangentsIn ? tangentsIn_.data() : nullptr;
  view_.tangentsOut = seg.tangentsOut ? tangentsOut_.data() : nullptr;
}

void SegmentCopy::Clear() {
  std::vector<Vector>().swap(points_);
  std::vector<Vector>().swap(tangentsIn_);
  std::vector<Vector>().swap(tangentsOut_);
  view_ = SegmentView();
}

bool SegmentCopy::Matches(const SegmentView& seg) const {
  return seg.count == view_.count && seg.closed == view_.closed && seg.interpolation == view_.interpolation &&
         SameArray(seg.points, points_, seg.count) &&
         SameArray(seg.tangentsIn, tangentsIn_, seg.count) && SameArray(seg.tangentsOut, tangentsOut_, seg.count);
}

}  // namespace kurvo::geo
