// Welding: points at exactly the same place become one.
#ifndef KURVO_MEDIA_MESH_WELD_H
#define KURVO_MEDIA_MESH_WELD_H

#include "mesh.h"

namespace kurvo::media {

// Joins points with identical coordinates into the first of them, keeps the
// order in which the remaining points first appear and renumbers the
// polygons. Returns how many points were removed.
size_t weld_points(Mesh& mesh);

}  // namespace kurvo::media

#endif
