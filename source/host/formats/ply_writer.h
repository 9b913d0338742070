// A PLY writer (binary, little-endian) that keeps faces whole.
#ifndef KURVO_MEDIA_PLY_WRITER_H
#define KURVO_MEDIA_PLY_WRITER_H

#include <filesystem>
#include <vector>

#include "mesh.h"
#include "result.h"
#include "surface_normals.h"

namespace kurvo::media {

// Writes every mesh into one vertex list and one face list (PLY has no
// objects, names or materials). Per vertex: x y z; nx ny nz, normals made
// again from the points as the OBJ writer makes them, whenever a mesh has
// faces; s t, the first UV set, when a mesh has UVs; red green blue (uchar)
// when a mesh has point colours, the others' points taking the mesh colour,
// else their first material's, else white. PLY stores a UV and a normal per
// vertex, so a point whose corners differ in either (a UV seam, a hard edge)
// is written once per distinct pair (corner_vertices.h); a point no face uses
// is written with a zero normal and UV. Faces keep all their corners (an
// n-gon stays one face). Written atomically; meshes are assumed sound.
Status write_ply(const std::vector<Mesh>& meshes, const std::filesystem::path& file,
                 NormalStyle style = NormalStyle::smooth);

}  // namespace kurvo::media

#endif
