// The corners of a mesh gathered by point, and values shared among the
// corners of one point: what the normal and UV lists of the writers are made
// from.
#ifndef KURVO_MEDIA_CORNER_SHARING_H
#define KURVO_MEDIA_CORNER_SHARING_H

#include <cstdint>
#include <vector>

#include "mesh.h"

namespace kurvo::media {

// Per point, the corners at it in ascending order (CSR).
struct CornersAround {
  std::vector<uint32_t> start, corners;
};

CornersAround corners_around(const Mesh& mesh);

// Which face each corner belongs to: by division where every face has as
// many corners (all triangles, all quads: no list a corner long), else listed.
class FaceOfCorner {
 public:
  explicit FaceOfCorner(const Mesh& mesh);
  uint32_t operator[](uint32_t corner) const { return size_ ? corner / size_ : listed_[corner]; }

 private:
  uint32_t size_ = 0;
  std::vector<uint32_t> listed_;
};

// `index` becomes the entry of the first value made at this point so far
// that is the `same` as `value`, else a new entry for it.
template <class T, class Same>
void add_shared(std::vector<T>& values, std::vector<uint32_t>& made_at_point, const T& value, Same&& same,
                uint32_t& index) {
  for (uint32_t v : made_at_point)
    if (same(values[v], value)) {
      index = v;
      return;
    }
  index = uint32_t(values.size());
  values.push_back(value);
  made_at_point.push_back(index);
}

}  // namespace kurvo::media

#endif
