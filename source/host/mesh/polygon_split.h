// Turns one polygon of any corner count into the mesh's quads and triangles.
#ifndef KURVO_MEDIA_POLYGON_SPLIT_H
#define KURVO_MEDIA_POLYGON_SPLIT_H

#include <cstdint>
#include <span>
#include <vector>

#include "mesh.h"

namespace kurvo::media {

// Appends the polygon with the given corners (indices into `points`) to `out`:
// a triangle or a quad as it stands, a polygon of more corners as triangles
// cut by ear clipping in its own plane, so concave outlines (letters, cut-outs)
// stay inside the outline. Winding is kept. Fewer than three corners append
// nothing and answer false.
bool append_polygon(const std::vector<Vector>& points, std::span<const int32_t> corners,
                    std::vector<Polygon>& out);

}  // namespace kurvo::media

#endif
