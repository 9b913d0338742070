#include "collada_writer.h"

#include <assimp/cexport.h>
#include <assimp/material.h>
#include <assimp/scene.h>

#include <assimp/Exporter.hpp>
#include <cctype>
#include <map>
#include <memory>
#include <string>

#include "atomic_file.h"
#include "corner_vertices.h"
#include "normal_renewal.h"
#include "path_text.h"
#include "srgb.h"
#include "text_sink.h"
#include "texture_reference.h"

namespace kurvo::media {
namespace {

// Materials of all meshes, equal ones written once, and the image files
// written beside the output for embedded images.
class MaterialTable {
 public:
  MaterialTable(const std::filesystem::path& file, StagedFiles& files) : file_(file), images_(file, files) {}
  void keep(const std::string& texture) { images_.keep(texture); }

  Status add(const Material& material, uint32_t& index) {
    for (size_t i = 0; i < known_.size(); ++i)
      if (same_material(known_[i], material)) {
        index = uint32_t(i);
        return Status::success();
      }
    auto out = std::make_unique<aiMaterial>();
    std::string name = material.name.empty() ? "material" + std::to_string(known_.size()) : material.name;
    for (int n = 2; names_.count(name); ++n) name = material.name + "." + std::to_string(n);
    names_[name] = true;
    const aiString ai_name(name);
    out->AddProperty(&ai_name, AI_MATKEY_NAME);
    const aiColor4D base(material.base_colour.x, material.base_colour.y, material.base_colour.z, material.opacity);
    const aiColor4D diffuse(material.base_colour.x, material.base_colour.y, material.base_colour.z, 1.0f);
    out->AddProperty(&base, 1, AI_MATKEY_BASE_COLOR);
    out->AddProperty(&diffuse, 1, AI_MATKEY_COLOR_DIFFUSE);
    out->AddProperty(&material.opacity, 1, AI_MATKEY_OPACITY);
    std::string texture;
    if (!material.base_colour_texture.empty()) {
      texture = texture_reference(material.base_colour_texture, file_);
    } else if (material.base_colour_image && !material.base_colour_image->empty()) {
      Result<std::string> image = images_.write(name, material.base_colour_image);
      if (!image) return image.status();
      texture = image.value();
    }
    if (!texture.empty()) {
      const aiString path(texture);
      out->AddProperty(&path, AI_MATKEY_TEXTURE_DIFFUSE(0));
      const int channel = 0;
      out->AddProperty(&channel, 1, AI_MATKEY_UVWSRC_DIFFUSE(0));
    }
    index = uint32_t(known_.size());
    known_.push_back(material);
    made_.push_back(std::move(out));
    return Status::success();
  }

  std::vector<std::unique_ptr<aiMaterial>>& made() { return made_; }

 private:
  const std::filesystem::path& file_;
  SideImages images_;  // embedded pictures, written beside the output
  std::vector<Material> known_;
  std::map<std::string, bool> names_;
  std::vector<std::unique_ptr<aiMaterial>> made_;
};

// A face's material; without a list, every face has the first.
uint32_t material_of(const Mesh& mesh, size_t f) { return mesh.face_material.empty() ? 0 : mesh.face_material[f]; }

// The faces of `mesh` that use material `wanted` (all faces for a mesh
// without materials), with only the vertices they use.
std::unique_ptr<aiMesh> make_part(const Mesh& mesh, const CornerVertices& v, const IndexedValues<Uv>& uvs,
                                  const IndexedNormals& normals, uint32_t wanted, uint32_t material,
                                  const std::string& name) {
  std::vector<uint32_t> local(v.point.size(), CornerVertices::kNone);
  std::vector<uint32_t> used;
  size_t faces = 0;
  for (size_t f = 0; f < mesh.face_count(); ++f) {
    if (material_of(mesh, f) != wanted) continue;
    ++faces;
    for (uint32_t c = mesh.face_start[f]; c < mesh.face_start[f + 1]; ++c) {
      const uint32_t vertex = v.corner_vertex[c];
      if (local[vertex] == CornerVertices::kNone) {
        local[vertex] = uint32_t(used.size());
        used.push_back(vertex);
      }
    }
  }
  if (faces == 0) return nullptr;
  auto out = std::make_unique<aiMesh>();
  out->mName = aiString(name);
  out->mMaterialIndex = material;
  const auto n = static_cast<unsigned>(used.size());
  out->mNumVertices = n;
  out->mVertices = new aiVector3D[n];
  out->mNormals = new aiVector3D[n];
  for (unsigned k = 0; k < n; ++k) {
    const Vector& p = mesh.points[v.point[used[k]]];
    out->mVertices[k] = aiVector3D(p.x, p.y, p.z);
    const Vector& normal = normals.normals[v.normal[used[k]]];
    out->mNormals[k] = aiVector3D(normal.x, normal.y, normal.z);
  }
  if (!uvs.values.empty()) {
    out->mNumUVComponents[0] = 2;
    out->mTextureCoords[0] = new aiVector3D[n];
    for (unsigned k = 0; k < n; ++k) {
      const Uv& uv = uvs.values[v.uv[used[k]]];
      out->mTextureCoords[0][k] = aiVector3D(uv.u, uv.v, 0.0f);
    }
  }
  if (!mesh.point_colours.empty()) {
    out->mColors[0] = new aiColor4D[n];
    for (unsigned k = 0; k < n; ++k) {
      const Vector& c = mesh.point_colours[v.point[used[k]]];
      out->mColors[0][k] = aiColor4D(float(linear_to_srgb(c.x)), float(linear_to_srgb(c.y)), float(linear_to_srgb(c.z)), 1.0f);
    }
  }
  out->mNumFaces = static_cast<unsigned>(faces);
  out->mFaces = new aiFace[faces];
  size_t k = 0;
  for (size_t f = 0; f < mesh.face_count(); ++f) {
    if (material_of(mesh, f) != wanted) continue;
    aiFace& face = out->mFaces[k++];
    face.mNumIndices = mesh.face_size(f);
    face.mIndices = new unsigned[face.mNumIndices];
    for (uint32_t c = 0; c < face.mNumIndices; ++c)
      face.mIndices[c] = local[v.corner_vertex[mesh.face_start[f] + c]];
    out->mPrimitiveTypes |= face.mNumIndices == 3 ? aiPrimitiveType_TRIANGLE : aiPrimitiveType_POLYGON;
  }
  return out;
}

}  // namespace

Status write_dae(const std::vector<Mesh>& meshes, const std::filesystem::path& file, NormalStyle style) {
  for (const Mesh& m : meshes)
    for (const Material& material : m.materials) {
      std::error_code ec;
      if (!material.base_colour_texture.empty() && !std::filesystem::is_regular_file(material.base_colour_texture, ec))
        return Status::failure("cannot write " + quoted(file) + ": material \"" + material.name +
                               "\" has the texture " + quoted(std::filesystem::path(material.base_colour_texture)) +
                               ", which does not exist");
    }
  StagedFiles files;
  MaterialTable materials(file, files);
  for (const Mesh& m : meshes)
    for (const Material& material : m.materials) materials.keep(material.base_colour_texture);
  std::vector<std::unique_ptr<aiMesh>> parts;
  auto scene = std::make_unique<aiScene>();
  scene->mRootNode = new aiNode("kurvo");
  std::vector<aiNode*> nodes;
  for (size_t i = 0; i < meshes.size(); ++i) {
    const Mesh& mesh = meshes[i];
    const std::string name = mesh.name.empty() ? "mesh" + std::to_string(i) : mesh.name;
    IndexedValues<Uv> uvs;
    if (!mesh.uv_sets.empty()) uvs = shared_per_point(mesh, mesh.uv_sets.front().uvs);
    const IndexedNormals normals = writer_normals(mesh, style);
    const CornerVertices vertices = split_corner_vertices(mesh, uvs.corner, normals.corner);
    std::vector<Material> own = mesh.materials;
    if (own.empty()) {
      Material plain;
      plain.name = name;
      if (mesh.colour) plain.base_colour = *mesh.colour;
      own.push_back(plain);
    }
    const size_t first_part = parts.size();
    for (uint32_t m = 0; m < own.size(); ++m) {
      uint32_t index = 0;
      if (Status s = materials.add(own[m], index); !s.ok()) return s;
      const std::string part_name = own.size() == 1 ? name : name + "_" + file_word(own[m].name);
      if (auto part = make_part(mesh, vertices, uvs, normals, m, index, part_name)) parts.push_back(std::move(part));
    }
    aiNode* node = new aiNode(name);
    node->mParent = scene->mRootNode;
    node->mNumMeshes = static_cast<unsigned>(parts.size() - first_part);
    node->mMeshes = new unsigned[node->mNumMeshes];
    for (unsigned k = 0; k < node->mNumMeshes; ++k) node->mMeshes[k] = static_cast<unsigned>(first_part + k);
    nodes.push_back(node);
  }
  scene->mRootNode->mNumChildren = static_cast<unsigned>(nodes.size());
  scene->mRootNode->mChildren = new aiNode*[nodes.size()];
  for (size_t i = 0; i < nodes.size(); ++i) scene->mRootNode->mChildren[i] = nodes[i];
  scene->mNumMeshes = static_cast<unsigned>(parts.size());
  scene->mMeshes = new aiMesh*[parts.size()];
  for (size_t i = 0; i < parts.size(); ++i) scene->mMeshes[i] = parts[i].release();
  auto& made = materials.made();
  scene->mNumMaterials = static_cast<unsigned>(made.size());
  scene->mMaterials = new aiMaterial*[made.size()];
  for (size_t i = 0; i < made.size(); ++i) scene->mMaterials[i] = made[i].release();

  Assimp::Exporter exporter;
  const aiExportDataBlob* blob = exporter.ExportToBlob(scene.get(), "collada", 0);
  if (!blob) {
    const std::string why = exporter.GetErrorString();
    return Status::failure("cannot write " + quoted(file) + ": " + (why.empty() ? "the exporter failed" : why));
  }
  TextSink sink(files.stage(file), file);
  sink.append(std::string_view(static_cast<const char*>(blob->data), blob->size));
  if (Status s = sink.finish(); !s.ok()) return s;
  return files.commit(file);
}

}  // namespace kurvo::media
