// A Wavefront OBJ reader that keeps the file's point order.
//
// "o" and "g" lines start a new mesh (named by them); a mesh holds the points
// its faces use, in the order of the "v" lines. A file with a single mesh
// holds every point of the file, used or not, so writing and reading one mesh
// gives back exactly the same points. The colour is the
// diffuse colour (Kd) of the mesh's first "usemtl" material, looked up in the
// "mtllib" files beside the OBJ (a missing library only loses the colour).
// Each library is read once however often the file names it; a library
// outside the OBJ's folder, or one that is not a regular file, is an error
// unless `resources_outside_folder` allows the former.
// Texture coordinates, normals, lines and points are ignored.
#ifndef KURVO_MEDIA_OBJ_READER_H
#define KURVO_MEDIA_OBJ_READER_H

#include <filesystem>
#include <vector>

#include "mesh.h"
#include "result.h"

namespace kurvo::media {

Result<std::vector<Mesh>> read_obj(const std::filesystem::path& file, bool resources_outside_folder = false);
// The same with the file cut into `stretch_count` stretches of whole lines
// (fewer where it has fewer lines), read at once on the task pool and joined
// in file order: the meshes, and the first error, are the same at any count.
Result<std::vector<Mesh>> read_obj_in_stretches(const std::filesystem::path& file, bool resources_outside_folder,
                                                size_t stretch_count);

}  // namespace kurvo::media

#endif
