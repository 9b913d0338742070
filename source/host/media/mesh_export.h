// Writing meshes to files, the format chosen by the file's extension.
//
// The caller hands over meshes already in world coordinates. Every mesh
// becomes one object of its own, named after the mesh; a mesh colour becomes
// the material's base colour (glTF) and diffuse colour (OBJ's MTL and the
// other formats). All output, side files included (an OBJ's .mtl, a glTF's
// .bin), is written under temporary names and renamed into place only when
// everything was written, so a failure leaves the previous files untouched.
//
// ".obj" is written by our own writer: points exactly as given, in order,
// none merged, quads kept. The other formats go through Assimp, which keeps
// the point order but imposes its own steps on some of them: glTF (.gltf,
// .glb) holds triangles only, so quads are cut in two, and its exporter joins
// coincident points and drops unused ones; STL stores separate triangles.
// PLY keeps points and quads but has no names and, as written, no colours.
// Only formats a test writes and reads back are offered (.obj .ply .stl .glb
// .gltf .dae); any other extension is refused by name before anything runs.
#ifndef KURVO_MEDIA_MESH_EXPORT_H
#define KURVO_MEDIA_MESH_EXPORT_H

#include <filesystem>
#include <string>
#include <vector>

#include "mesh.h"
#include "result.h"

namespace kurvo::media {

Status export_meshes(const std::vector<Mesh>& meshes, const std::filesystem::path& file);

// The extensions export_meshes() understands, lower case with the dot
// (".obj", ".glb", ...), in a stable order.
std::vector<std::string> supported_export_extensions();

}  // namespace kurvo::media

#endif
