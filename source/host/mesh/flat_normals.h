// Normals of a mesh whose every face is flat: each corner takes its face's
// own unit normal (Newell's, made in double), corners of one point whose
// faces have the same normal (within 1e-6) sharing one entry. The entries
// come in the order renew_normals gives them to a mesh of smoothing group 0
// throughout: point by point, a point's corners in order. The face normals
// are made on the task pool.
#ifndef KURVO_MEDIA_FLAT_NORMALS_H
#define KURVO_MEDIA_FLAT_NORMALS_H

#include "mesh.h"
#include "normal_renewal.h"

namespace kurvo::media {

IndexedNormals flat_normals(const Mesh& mesh);

}  // namespace kurvo::media

#endif
