// Cuts one face of any corner count into triangles, with the GLU tessellator.
//
// The face is seen along its Newell normal and cut by the odd winding rule,
// so concave outlines (letters, cut-outs) and weakly simple ones (an outline
// that runs out to a hole and back along the same edge, or touches itself at
// a point) give triangles that cover exactly the face: their areas add up to
// the face's. Triangles keep the face's winding. Where the tessellator would
// make a new point (an outline that crosses itself), the nearest corner of
// the crossing stands in for it, so no point is ever added.
#ifndef KURVO_MEDIA_POLYGON_SPLIT_H
#define KURVO_MEDIA_POLYGON_SPLIT_H

#include <cstdint>
#include <span>
#include <vector>

#include "mesh.h"
#include "vector.h"

namespace kurvo::media {

// Appends the face's triangles to `out` as positions within `corners`
// (0 .. corners.size() - 1), three per triangle. Answers false, appending
// nothing, for fewer than three corners or a face with no area.
bool triangulate_face(const std::vector<Vector>& points, std::span<const int32_t> corners,
                      std::vector<uint32_t>& out);

// Appends the polygon with the given corners (indices into `points`) to `out`:
// a triangle or a quad as it stands, a polygon of more corners as the
// triangles of triangulate_face(). Fewer than three corners append nothing
// and answer false.
bool append_polygon(const std::vector<Vector>& points, std::span<const int32_t> corners,
                    std::vector<Polygon>& out);

}  // namespace kurvo::media

#endif
