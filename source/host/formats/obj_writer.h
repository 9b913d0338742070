// A Wavefront OBJ writer that keeps points exactly as given.
#ifndef KURVO_MEDIA_OBJ_WRITER_H
#define KURVO_MEDIA_OBJ_WRITER_H

#include <filesystem>
#include <vector>

#include "mesh.h"
#include "surface_normals.h"
#include "result.h"

namespace kurvo::media {

// Writes one "o" object per mesh, its points as "v" lines in order (shortest
// text that reads back to the same float, followed by the point's colour
// where the mesh has colours), its first UV set as "vt", normals made again
// from the points (normal_renewal.h; with `flat`, each face its own) as "vn",
// its faces as they are, n-gons included, with "usemtl" at each change of
// material and "s" at each change of smoothing group. A material library
// "<stem>.mtl" beside the file carries the materials (Kd, d, Pm, Pr, map_Kd
// relative to the output's folder), or one per mesh that has only a colour.
// A texture that does not exist is an error before anything is written. Both
// files are written atomically (atomic_file.h). Meshes are assumed sound
// (check_mesh).
Status write_obj(const std::vector<Mesh>& meshes, const std::filesystem::path& file,
                 NormalStyle style = NormalStyle::smooth);
// The same with the lines made `lines_per_block` at a time on the task pool
// (ordered_blocks.h); the file is the same at any block size.
Status write_obj_in_blocks(const std::vector<Mesh>& meshes, const std::filesystem::path& file, NormalStyle style,
                           size_t lines_per_block);

}  // namespace kurvo::media

#endif
