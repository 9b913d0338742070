// glTF 2.0 output (.gltf with a .bin beside it, or one binary .glb).
//
// Meshes arrive in the file's frame (axis_convention.h has done its work).
// Every mesh becomes one node at the top of the scene, named after the mesh,
// with one triangle primitive per material its faces use (one for a mesh
// without materials), all sharing one set of vertices: positions, unit
// normals made from the surface (surface_normals.h), each UV set as
// TEXCOORD_n (t = 1 - v), point colours as COLOR_0 and 32-bit indices.
// Vertices are split where normals or UVs differ at a point. Materials keep
// name, base colour and opacity, metallic and roughness (a plain dielectric
// where the mesh has none) and the base colour texture, where the mesh has
// the UVs to read it: a .glb embeds the image, a .gltf names the image file
// relative to itself (an image that came embedded goes in as a data URI).
// Only PNG and JPEG images can be carried; any other, or a texture file that
// is missing, fails the write naming the material. UVs no texture reads are
// written all the same (the validator notes them as unused objects). A mesh
// without polygons is written as points. No extensions are used.
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
