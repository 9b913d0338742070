#include "mesh_import.h"

#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <assimp/config.h>
#include <cctype>
#include <exception>
#include <new>
#include <optional>
#include <string>

#include "confined_io_system.h"
#include "glb_header_check.h"
#include "input_file.h"
#include "axis_convention.h"
#include "mesh_weld.h"
#include "obj_reader.h"
#include "polygon_split.h"

#include "import_formats.h"
#include "import_limits.h"
#include "ply_header_check.h"

#include "path_text.h"

namespace kurvo::media {
namespace {

// The global transform of the first node (depth first) that uses each mesh.
void find_mesh_transforms(const aiNode* node, const aiMatrix4x4& parent,
                          std::vector<std::optional<aiMatrix4x4>>& out) {
  const aiMatrix4x4 global = parent * node->mTransformation;
  for (unsigned i = 0; i < node->mNumMeshes; ++i) {
    const unsigned m = node->mMeshes[i];
    if (m < out.size() && !out[m]) out[m] = global;
  }
  for (unsigned i = 0; i < node->mNumChildren; ++i) find_mesh_transforms(node->mChildren[i], global, out);
}

// The name of the first node that uses mesh `m`, or empty.
std::string node_name_of(const aiNode* node, unsigned m) {
  for (unsigned i = 0; i < node->mNumMeshes; ++i)
    if (node->mMeshes[i] == m) return node->mName.C_Str();
  for (unsigned i = 0; i < node->mNumChildren; ++i) {
    std::string name = node_name_of(node->mChildren[i], m);
    if (!name.empty()) return name;
  }
  return {};
}

std::optional<Vector> material_colour(const aiMaterial* material) {
  if (!material) return std::nullopt;
  aiString name;
  if (material->Get(AI_MATKEY_NAME, name) == AI_SUCCESS && std::string(name.C_Str()) == AI_DEFAULT_MATERIAL_NAME)
    return std::nullopt;
  aiColor4D base;
  aiColor3D diffuse;
  Vector c;
  if (material->Get(AI_MATKEY_BASE_COLOR, base) == AI_SUCCESS)
    c = Vector(base.r, base.g, base.b);
  else if (material->Get(AI_MATKEY_COLOR_DIFFUSE, diffuse) == AI_SUCCESS)
    c = Vector(diffuse.r, diffuse.g, diffuse.b);
  else
    return std::nullopt;
  return Vector(std::clamp(c.x, 0.0f, 1.0f), std::clamp(c.y, 0.0f, 1.0f), std::clamp(c.z, 0.0f, 1.0f));
}

Mesh convert_mesh(const aiScene& scene, unsigned index, const std::optional<aiMatrix4x4>& transform,
                  const std::filesystem::path& file) {
  const aiMesh& source = *scene.mMeshes[index];
  Mesh mesh;
  mesh.name = source.mName.C_Str();
  if (mesh.name.empty() && scene.mRootNode) mesh.name = node_name_of(scene.mRootNode, index);
  if (mesh.name.empty()) mesh.name = file.stem().string() + "." + std::to_string(index);

  mesh.points.reserve(source.mNumVertices);
  for (unsigned i = 0; i < source.mNumVertices; ++i) {
    const aiVector3D p = transform ? *transform * source.mVertices[i] : source.mVertices[i];
    mesh.points.emplace_back(p.x, p.y, p.z);
  }
  mesh.reserve_faces(source.mNumFaces, 3 * size_t(source.mNumFaces));
  std::vector<int32_t> corners;
  for (unsigned f = 0; f < source.mNumFaces; ++f) {
    const aiFace& face = source.mFaces[f];
    if (face.mNumIndices < 3) continue;  // points and lines
    corners.assign(face.mIndices, face.mIndices + face.mNumIndices);
    mesh.add_face(corners);
  }
  if (source.mMaterialIndex < scene.mNumMaterials) mesh.colour = material_colour(scene.mMaterials[source.mMaterialIndex]);
  // What the importer gives per vertex: UVs and normals go to the corners
  // that use the vertex, colours stay with the point.
  for (unsigned set = 0; set < AI_MAX_NUMBER_OF_TEXTURECOORDS && source.HasTextureCoords(set); ++set) {
    UvSet uvs;
    uvs.name = source.mTextureCoordsNames && source.mTextureCoordsNames[set] ? source.mTextureCoordsNames[set]->C_Str() : "";
    uvs.uvs.reserve(mesh.corners.size());
    for (int32_t p : mesh.corners) uvs.uvs.push_back(Uv{source.mTextureCoords[set][p].x, source.mTextureCoords[set][p].y});
    mesh.uv_sets.push_back(std::move(uvs));
  }
  if (source.HasNormals()) {
    mesh.corner_normals.reserve(mesh.corners.size());
    for (int32_t p : mesh.corners) {
      aiVector3D n = source.mNormals[p];
      if (transform) n = aiMatrix3x3(*transform) * n;  // directions only; a uniform scale keeps them
      mesh.corner_normals.emplace_back(n.x, n.y, n.z);
    }
  }
  if (source.HasVertexColors(0)) {
    mesh.point_colours.reserve(source.mNumVertices);
    for (unsigned i = 0; i < source.mNumVertices; ++i) {
      const aiColor4D& c = source.mColors[0][i];
      mesh.point_colours.emplace_back(std::clamp(c.r, 0.0f, 1.0f), std::clamp(c.g, 0.0f, 1.0f), std::clamp(c.b, 0.0f, 1.0f));
    }
  }
  if (source.mMaterialIndex < scene.mNumMaterials) {
    const aiMaterial& m = *scene.mMaterials[source.mMaterialIndex];
    aiString name, texture;
    m.Get(AI_MATKEY_NAME, name);
    // The importer's stand-in material for files without one is left out.
    if (std::string(name.C_Str()) != AI_DEFAULT_MATERIAL_NAME) {
      Material material;
      material.name = name.C_Str();
      if (mesh.colour) material.base_colour = *mesh.colour;
      float value = 0.0f;
      if (m.Get(AI_MATKEY_METALLIC_FACTOR, value) == AI_SUCCESS) material.metallic = value;
      if (m.Get(AI_MATKEY_ROUGHNESS_FACTOR, value) == AI_SUCCESS) material.roughness = value;
      if (m.Get(AI_MATKEY_OPACITY, value) == AI_SUCCESS) material.opacity = std::clamp(value, 0.0f, 1.0f);
      if ((m.GetTexture(aiTextureType_BASE_COLOR, 0, &texture) == AI_SUCCESS ||
           m.GetTexture(aiTextureType_DIFFUSE, 0, &texture) == AI_SUCCESS) &&
          texture.length > 0 && texture.C_Str()[0] != '*') {  // "*0": embedded, not a file
        std::string t = texture.C_Str();
        std::replace(t.begin(), t.end(), '\\', '/');
        material.base_colour_texture = (file.parent_path() / t).lexically_normal().string();
      }
      mesh.materials.push_back(std::move(material));
      mesh.face_material.assign(mesh.face_count(), 0);
    }
  }
  return mesh;
}

Result<std::vector<Mesh>> import_with_assimp(const std::filesystem::path& file, const ImportOptions& options) {
  std::string refusal;  // outlives the importer, whose IO system writes it
  Assimp::Importer importer;
  keep_importers_for(importer, file);
  importer.SetIOHandler(new ConfinedIOSystem(file, options.resources_outside_folder, refusal));
  // Positions, UVs, normals and colours are kept; the rest is dropped early.
  importer.SetPropertyInteger(AI_CONFIG_PP_RVC_FLAGS, aiComponent_TANGENTS_AND_BITANGENTS |
                                                         aiComponent_BONEWEIGHTS | aiComponent_ANIMATIONS);
  // Validation turns broken index data into an error message instead of a crash.
  const aiScene* scene = importer.ReadFile(
      file.string(), aiProcess_RemoveComponent | aiProcess_ValidateDataStructure);
  if (!scene || !refusal.empty()) {
    // The library turns a failed allocation into its error text.
    if (refusal.empty() && std::string(importer.GetErrorString()).find("bad_alloc") != std::string::npos)
      throw std::bad_alloc();
    return Status::failure("cannot read mesh file " + quoted(file) + ": " +
                           (refusal.empty() ? importer.GetErrorString() : refusal));
  }

  std::vector<std::optional<aiMatrix4x4>> transforms(scene->mNumMeshes);
  if (options.apply_node_transforms && scene->mRootNode)
    find_mesh_transforms(scene->mRootNode, aiMatrix4x4(), transforms);

  std::vector<Mesh> meshes;
  meshes.reserve(scene->mNumMeshes);
  for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
    Mesh mesh = convert_mesh(*scene, m, transforms[m], file);
    if (std::string problem = check_mesh(mesh); !problem.empty())
      return Status::failure("cannot read mesh file " + quoted(file) + ": " + problem);
    meshes.push_back(std::move(mesh));
  }
  if (meshes.empty()) return Status::failure("cannot read mesh file " + quoted(file) + ": it holds no mesh");
  return meshes;
}

// The file's meshes in the file's own coordinates.
Result<std::vector<Mesh>> read_mesh_file(const std::filesystem::path& file, const ImportOptions& options) {
  uint64_t size = 0;
  if (std::string problem = input_file_problem(file, size); !problem.empty())
    return Status::failure("cannot read mesh file " + quoted(file) + ": " + problem);
  if (std::string problem = import_format_refusal(file); !problem.empty())
    return Status::failure("cannot read mesh file " + quoted(file) + ": " + problem);
  if (lower_extension(file) == ".obj") return read_obj(file, options.resources_outside_folder);
  if (lower_extension(file) == ".glb" || looks_like_glb(file)) {
    if (std::string problem = check_glb_header(file); !problem.empty())
      return Status::failure("cannot read mesh file " + quoted(file) + ": " + problem);
  }
  if (lower_extension(file) == ".gltf") {
    if (std::string problem = check_gltf_json(file); !problem.empty())
      return Status::failure("cannot read mesh file " + quoted(file) + ": " + problem);
  }
  if (lower_extension(file) == ".ply" || looks_like_ply(file)) {
    if (std::string problem = check_ply_header(file); !problem.empty())
      return Status::failure("cannot read mesh file " + quoted(file) + ": " + problem);
  }
  if (std::string problem = import_limit_problem(file); !problem.empty())
    return Status::failure("cannot read mesh file " + quoted(file) + ": " + problem);
  return import_with_assimp(file, options);
}

// Readers that run out of memory on what a file declares, or throw on what
// they cannot parse, end in one line naming the file.
Result<std::vector<Mesh>> read_mesh_file_guarded(const std::filesystem::path& file, const ImportOptions& options) {
  try {
    return read_mesh_file(file, options);
  } catch (const std::bad_alloc&) {
    return Status::failure("cannot read mesh file " + quoted(file) +
                           ": it declares more data than there is memory for (a count in it is too large)");
  } catch (const std::exception& e) {
    return Status::failure("cannot read mesh file " + quoted(file) + ": " + e.what());
  }
}

}  // namespace

Result<std::vector<Mesh>> import_meshes(const std::filesystem::path& file, const ImportOptions& options) {
  Result<std::vector<Mesh>> meshes = read_mesh_file_guarded(file, options);
  if (!meshes) return meshes;
  if (!options.raw_axes) convert_meshes(meshes.value(), file_frame(file), 1.0f);
  if (options.weld)
    for (Mesh& mesh : meshes.value()) weld_points(mesh);
  return meshes;
}

}  // namespace kurvo::media
