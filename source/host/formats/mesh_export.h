// Writing meshes to files, the format chosen by the file's extension.
//
// The caller hands over meshes already in world coordinates. Every mesh
// becomes one object of its own, named after the mesh; a mesh colour becomes
// the material's base colour (glTF) and diffuse colour (OBJ's MTL and the
// other formats). All output, side files included (an OBJ's .mtl, a glTF's
// .bin), is written under temporary names and renamed into place only when
// everything was written, so a failure leaves the previous files untouched.
//
// Points go from the host's left-handed frame into the right-handed frame of
// the format (axis_convention.h), times the scale, unless raw axes are asked
// for. ".obj" is written by our own writer: points in order, none merged,
// quads kept. glTF (.gltf, .glb) is written by our own writer too
// (gltf_writer.h): triangles with normals, so points are repeated where
// normals differ and unused ones are left out. ".ply" is our own writer too
// (ply_writer.h): faces whole, normals, UVs and point colours per vertex, no
// names or materials. ".dae" is made by us and written by Assimp's exporter
// (collada_writer.h): faces whole with normals, UVs, colours and materials.
// STL goes through Assimp: separate triangles.
// Only formats a test writes and reads back are offered (.obj .ply .stl .glb
// .gltf .dae); any other extension is refused by name before anything runs.
#ifndef KURVO_MEDIA_MESH_EXPORT_H
#define KURVO_MEDIA_MESH_EXPORT_H

#include <filesystem>
#include <string>
#include <vector>

#include "axis_convention.h"
#include "mesh.h"
#include "result.h"
#include "surface_normals.h"

namespace kurvo::media {

struct ExportOptions {
  bool raw_axes = false;  // write the host's coordinates and winding unchanged
  float scale = 1.0f;     // file units per scene unit
  NormalStyle normals = NormalStyle::smooth;
};

// Takes the meshes by value: a caller that hands them over (std::move, or a
// temporary) spares a copy of every point.
Status export_meshes(std::vector<Mesh> meshes, const std::filesystem::path& file,
                     const ExportOptions& options = {});

// How export_meshes() maps host points and polygons into this file.
FileMapping file_mapping(const std::filesystem::path& file, const ExportOptions& options);

// As export_meshes(), for meshes that the caller has already put through
// file_mapping(file, options) point by point as it made them.
Status export_mapped_meshes(const std::vector<Mesh>& meshes, const std::filesystem::path& file,
                            const ExportOptions& options = {});

// The extensions export_meshes() understands, lower case with the dot
// (".obj", ".glb", ...), in a stable order.
std::vector<std::string> supported_export_extensions();

}  // namespace kurvo::media

#endif
