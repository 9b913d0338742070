#include "mesh_export.h"

#include <assimp/material.h>
#include <assimp/cexport.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/Exporter.hpp>
#include <cctype>
#include <cmath>
#include <memory>

#include "atomic_file.h"
#include "axis_convention.h"
#include "collada_writer.h"
#include "gltf_writer.h"
#include "obj_writer.h"
#include "ply_writer.h"

#include "path_text.h"

namespace kurvo::media {
namespace {

// The formats offered, each written by a test and read back: OBJ, PLY and
// glTF by our own writers, the rest by Assimp in the named format. Assimp offers more, but not
// all of them survive that test (some write files no reader opens, some
// crash on plain meshes), so the list is closed rather than taken from it.
struct OfferedFormat {
  const char* extension;
  const char* assimp_id;  // empty for OBJ; "ply" for our own PLY writer
};
constexpr OfferedFormat kOffered[] = {
    {".obj", ""}, {".ply", "ply"}, {".stl", "stlb"}, {".glb", "glb2"}, {".gltf", "gltf2"}, {".dae", "collada"},
};

// The Assimp format ID for a file extension ("" for OBJ), or null.
const char* format_for(const std::string& extension) {
  for (const OfferedFormat& f : kOffered)
    if (extension == f.extension) return f.assimp_id;
  return nullptr;
}

// The exporter's own file writing checks no write and no close (a full disk
// left a truncated file that replaced the old one): it writes to memory,
// and the bytes go to disk through the checked, staged path. Side files
// (none for the formats offered here) are named after the main file.
Status write_export_blobs(const aiExportDataBlob* blob, const std::filesystem::path& file) {
  OutputBatch batch;  // the main file and its side files together, the main file last
  for (const aiExportDataBlob* b = blob->next; b; b = b->next) {
    std::filesystem::path side = file;
    side.replace_extension(std::string(".") + b->name.C_Str());
    if (Status s = write_bytes_atomically(side, {static_cast<const char*>(b->data), b->size}); !s.ok()) return s;
  }
  if (Status s = write_bytes_atomically(file, {static_cast<const char*>(blob->data), blob->size}); !s.ok()) return s;
  return batch.commit();
}

std::unique_ptr<aiMaterial> make_material(const Mesh& mesh, size_t index) {
  auto material = std::make_unique<aiMaterial>();
  const aiString name(mesh.name.empty() ? "material" + std::to_string(index) : mesh.name);
  material->AddProperty(&name, AI_MATKEY_NAME);
  if (mesh.colour) {
    const aiColor4D base(mesh.colour->x, mesh.colour->y, mesh.colour->z, 1.0f);
    const aiColor3D diffuse(mesh.colour->x, mesh.colour->y, mesh.colour->z);
    material->AddProperty(&base, 1, AI_MATKEY_BASE_COLOR);
    material->AddProperty(&diffuse, 1, AI_MATKEY_COLOR_DIFFUSE);
  }
  // A plain dielectric: glTF's default of a fully metallic surface renders
  // nearly black in most viewers.
  const float metallic = 0.0f, roughness = 0.7f;
  material->AddProperty(&metallic, 1, AI_MATKEY_METALLIC_FACTOR);
  material->AddProperty(&roughness, 1, AI_MATKEY_ROUGHNESS_FACTOR);
  return material;
}

void set_face(aiFace& face, std::initializer_list<unsigned> indices) {
  face.mNumIndices = static_cast<unsigned>(indices.size());
  face.mIndices = new unsigned[indices.size()];
  std::copy(indices.begin(), indices.end(), face.mIndices);
}

// The mesh's faces as they are, or (for formats of triangles only) as the
// triangles of its quads and of its larger faces cut by our triangulator.
std::unique_ptr<aiMesh> make_mesh(const Mesh& mesh, size_t index, bool triangles_only) {
  auto out = std::make_unique<aiMesh>();
  out->mName = aiString(mesh.name.empty() ? "mesh" + std::to_string(index) : mesh.name);
  out->mMaterialIndex = static_cast<unsigned>(index);
  out->mNumVertices = static_cast<unsigned>(mesh.points.size());
  out->mVertices = new aiVector3D[mesh.points.size()];
  for (size_t i = 0; i < mesh.points.size(); ++i)
    out->mVertices[i] = aiVector3D(mesh.points[i].x, mesh.points[i].y, mesh.points[i].z);
  if (triangles_only) {
    const std::vector<Polygon> polygons = mesh_polygons(mesh);
    size_t count = 0;
    for (const Polygon& q : polygons) count += q.is_triangle() ? 1 : 2;
    out->mNumFaces = static_cast<unsigned>(count);
    out->mFaces = new aiFace[count];
    size_t k = 0;
    const auto u = [](int32_t i) { return static_cast<unsigned>(i); };
    for (const Polygon& q : polygons) {
      set_face(out->mFaces[k++], {u(q.a), u(q.b), u(q.c)});
      if (!q.is_triangle()) set_face(out->mFaces[k++], {u(q.a), u(q.c), u(q.d)});
    }
    out->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
    return out;
  }
  out->mNumFaces = static_cast<unsigned>(mesh.face_count());
  out->mFaces = new aiFace[mesh.face_count()];
  for (size_t f = 0; f < mesh.face_count(); ++f) {
    const std::span<const int32_t> corners = mesh.face(f);
    aiFace& face = out->mFaces[f];
    face.mNumIndices = static_cast<unsigned>(corners.size());
    face.mIndices = new unsigned[corners.size()];
    for (size_t k = 0; k < corners.size(); ++k) face.mIndices[k] = static_cast<unsigned>(corners[k]);
    out->mPrimitiveTypes |= corners.size() == 3 ? aiPrimitiveType_TRIANGLE : aiPrimitiveType_POLYGON;
  }
  return out;
}

// One node per mesh under the root, named after it.
std::unique_ptr<aiScene> make_scene(const std::vector<Mesh>& meshes, bool triangles_only) {
  auto scene = std::make_unique<aiScene>();
  const size_t n = meshes.size();
  scene->mRootNode = new aiNode("kurvo");
  scene->mNumMeshes = scene->mNumMaterials = static_cast<unsigned>(n);
  scene->mMeshes = new aiMesh*[n];
  scene->mMaterials = new aiMaterial*[n];
  scene->mRootNode->mNumChildren = static_cast<unsigned>(n);
  scene->mRootNode->mChildren = new aiNode*[n];
  for (size_t i = 0; i < n; ++i) {
    scene->mMeshes[i] = make_mesh(meshes[i], i, triangles_only).release();
    scene->mMaterials[i] = make_material(meshes[i], i).release();
    aiNode* node = new aiNode(scene->mMeshes[i]->mName.C_Str());
    node->mParent = scene->mRootNode;
    node->mNumMeshes = 1;
    node->mMeshes = new unsigned[1]{static_cast<unsigned>(i)};
    scene->mRootNode->mChildren[i] = node;
  }
  return scene;
}

std::string extension_list() {
  std::string list;
  for (const std::string& e : supported_export_extensions()) list += (list.empty() ? "" : " ") + e;
  return list;
}

// What is wrong with the request itself, before any point is looked at.
Status check_request(const std::vector<Mesh>& meshes, const std::filesystem::path& file,
                     const ExportOptions& options) {
  const std::string extension = lower_extension(file);
  if (!format_for(extension))
    return Status::failure("cannot write " + quoted(file) + ": mesh format '" + extension +
                           "' is not offered; supported: " + extension_list());
  if (meshes.empty()) return Status::failure("cannot write " + quoted(file) + ": no mesh to write");
  if (!(options.scale > 0.0f) || !std::isfinite(options.scale))
    return Status::failure("cannot write " + quoted(file) + ": the scale must be a positive number");
  return Status::success();
}

Status check_meshes(const std::vector<Mesh>& meshes, const std::filesystem::path& file) {
  for (const Mesh& mesh : meshes) {
    if (std::string problem = check_mesh(mesh); !problem.empty())
      return Status::failure("cannot write " + quoted(file) + ": " + problem);
  }
  return Status::success();
}

// Meshes in the file's frame and scale, to the writer of the file's format.
Status write_mapped(const std::vector<Mesh>& meshes, const std::filesystem::path& file,
                    const ExportOptions& options) {
  if (Status s = check_meshes(meshes, file); !s.ok()) return s;  // a scale may overflow a coordinate
  const std::string extension = lower_extension(file);
  const std::string format = *format_for(extension) ? format_for(extension) : "obj";
  if (format == "obj") return write_obj(meshes, file, options.normals);
  if (format == "ply") return write_ply(meshes, file, options.normals);
  if (format == "gltf2" || format == "glb2")
    return write_gltf(meshes, file, format == "glb2" ? GltfContainer::binary : GltfContainer::text, options.normals);
  // Assimp's writers fail without a word on a mesh they cannot hold.
  for (const Mesh& mesh : meshes) {
    if (mesh.points.empty() || mesh.face_count() == 0)
      return Status::failure("cannot write " + quoted(file) + ": object \"" + mesh.name + "\" has no " +
                             (mesh.points.empty() ? "points" : "polygons") + ", and " + extension +
                             " files hold only meshes with polygons (write .obj, or leave the object out)");
  }

  if (format == "collada") return write_dae(meshes, file, options.normals);
  const std::unique_ptr<aiScene> scene = make_scene(meshes, format == "stl" || format == "stlb");
  Assimp::Exporter exporter;
  const aiExportDataBlob* blob = exporter.ExportToBlob(scene.get(), format, 0);
  if (!blob) {
    const std::string why = exporter.GetErrorString();
    return Status::failure("cannot write " + quoted(file) + ": " + (why.empty() ? "the exporter failed" : why));
  }
  return write_export_blobs(blob, file);
}

}  // namespace

std::vector<std::string> supported_export_extensions() {
  std::vector<std::string> list;
  for (const OfferedFormat& f : kOffered) list.push_back(f.extension);
  return list;
}

FileMapping file_mapping(const std::filesystem::path& file, const ExportOptions& options) {
  return FileMapping{file_frame(file), options.raw_axes, options.scale};
}

Status export_meshes(std::vector<Mesh> meshes, const std::filesystem::path& file,
                     const ExportOptions& options) {
  if (Status s = check_request(meshes, file, options); !s.ok()) return s;
  if (Status s = check_meshes(meshes, file); !s.ok()) return s;
  const FileMapping mapping = file_mapping(file, options);
  for (Mesh& mesh : meshes) {
    for (Vector& p : mesh.points) p = mapping.point(p);
    if (!mapping.raw_axes) reverse_faces(mesh);
    if (!mapping.raw_axes)
      for (Vector& n : mesh.corner_normals.values) n = to_file_frame(n, mapping.frame);
  }
  return write_mapped(meshes, file, options);
}

Status export_mapped_meshes(const std::vector<Mesh>& meshes, const std::filesystem::path& file,
                            const ExportOptions& options) {
  if (Status s = check_request(meshes, file, options); !s.ok()) return s;
  return write_mapped(meshes, file, options);
}

}  // namespace kurvo::media
