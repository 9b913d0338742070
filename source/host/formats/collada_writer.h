// COLLADA (.dae) output through the import library's exporter.
#ifndef KURVO_MEDIA_COLLADA_WRITER_H
#define KURVO_MEDIA_COLLADA_WRITER_H

#include <filesystem>
#include <vector>

#include "mesh.h"
#include "result.h"
#include "surface_normals.h"

namespace kurvo::media {

// One node per mesh, named after it, holding one geometry per material its
// faces use. Per vertex: the point, a normal made again from the points as
// the OBJ writer makes them, the first UV set and the point colour where the
// mesh has them; a point whose corners differ in UV or normal becomes one
// vertex per distinct pair, and points no face uses are left out. Faces keep
// all their corners. Materials carry their name, base colour, opacity and
// base colour texture: a texture file is named relative to the output (it
// must exist), an embedded image (a .glb's) is written beside the output as
// "<stem>_<material>.png" (or .jpg) and named so. A mesh without materials
// gets one named after it in its colour. Everything is written atomically;
// meshes are assumed sound and to have faces.
Status write_dae(const std::vector<Mesh>& meshes, const std::filesystem::path& file,
                 NormalStyle style = NormalStyle::smooth);

}  // namespace kurvo::media

#endif
