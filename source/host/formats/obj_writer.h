// A Wavefront OBJ writer that keeps points exactly as given.
#ifndef KURVO_MEDIA_OBJ_WRITER_H
#define KURVO_MEDIA_OBJ_WRITER_H

#include <filesystem>
#include <vector>

#include "mesh.h"
#include "result.h"

namespace kurvo::media {

// Writes one "o" object per mesh, its points as "v" lines in order (shortest
// text that reads back to the same float), its polygons as 3- or 4-corner
// faces. When any mesh has a colour, a material library "<stem>.mtl" beside
// the file carries one material per coloured mesh (Kd = the colour). Both files
// are written atomically (atomic_file.h). Meshes are assumed sound (check_mesh).
Status write_obj(const std::vector<Mesh>& meshes, const std::filesystem::path& file);

}  // namespace kurvo::media

#endif
