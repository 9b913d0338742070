// glTF 2.0 output (.gltf with a .bin beside it, or one binary .glb).
//
// Meshes arrive in the file's frame (axis_convention.h has done its work).
// Every mesh becomes one node at the top of the scene, named after the mesh,
// with one triangle primitive: positions, unit normals (surface_normals.h)
// and 32-bit indices, and a material of its own: the mesh colour as base
// colour, clamped into 0..1 as glTF demands, on a plain dielectric surface.
// A mesh without polygons is written as points. No extensions are used.
#ifndef KURVO_MEDIA_GLTF_WRITER_H
#define KURVO_MEDIA_GLTF_WRITER_H

#include <filesystem>
#include <vector>

#include "mesh.h"
#include "result.h"
#include "surface_normals.h"

namespace kurvo::media {

enum class GltfContainer { text, binary };  // .gltf + .bin, or .glb

Status write_gltf(const std::vector<Mesh>& meshes, const std::filesystem::path& file, GltfContainer container,
                  NormalStyle normals);

}  // namespace kurvo::media

#endif
