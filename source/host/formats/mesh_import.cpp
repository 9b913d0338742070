#include "mesh_import.h"

#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <assimp/ProgressHandler.hpp>
#include <assimp/config.h>
#include <cctype>
#include <cstdlib>
#include <exception>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <string>
#ifndef _WIN32
#include <unistd.h>
#endif

#include "child_call.h"
#include "confined_io_system.h"
#include "glb_header_check.h"
#include "input_file.h"
#include "axis_convention.h"
#include "mesh_transfer.h"
#include "mesh_weld.h"
#include "obj_reader.h"
#include "polygon_split.h"
#include "progress.h"

#include "import_formats.h"
#include "import_limits.h"
#include "ply_header_check.h"
#include "srgb.h"

#include "path_text.h"

namespace kurvo::media {
namespace {

// Every use of a mesh by a node: the mesh and the node's global transform.
struct MeshUse {
  unsigned mesh;
  aiMatrix4x4 transform;
};

// Depth first, in the order the nodes name their meshes.
void find_mesh_uses(const aiNode* node, const aiMatrix4x4& parent, unsigned mesh_count, std::vector<MeshUse>& out) {
  const aiMatrix4x4 global = parent * node->mTransformation;
  for (unsigned i = 0; i < node->mNumMeshes; ++i)
    if (node->mMeshes[i] < mesh_count) out.push_back(MeshUse{node->mMeshes[i], global});
  for (unsigned i = 0; i < node->mNumChildren; ++i) find_mesh_uses(node->mChildren[i], global, mesh_count, out);
}

// Where each mesh comes back: once per node that uses it, each time moved
// by that node's transform, in mesh order (a mesh's uses in node order);
// once as stored when no node uses it, or when transforms are not applied.
std::vector<std::pair<unsigned, std::optional<aiMatrix4x4>>> mesh_instances(const aiScene& scene, bool transforms) {
  std::vector<MeshUse> uses;
  if (transforms && scene.mRootNode) find_mesh_uses(scene.mRootNode, aiMatrix4x4(), scene.mNumMeshes, uses);
  std::stable_sort(uses.begin(), uses.end(), [](const MeshUse& a, const MeshUse& b) { return a.mesh < b.mesh; });
  std::vector<std::pair<unsigned, std::optional<aiMatrix4x4>>> out;
  out.reserve(std::max<size_t>(uses.size(), scene.mNumMeshes));
  size_t u = 0;
  for (unsigned m = 0; m < scene.mNumMeshes; ++m) {
    if (u == uses.size() || uses[u].mesh != m) out.emplace_back(m, std::nullopt);
    for (; u < uses.size() && uses[u].mesh == m; ++u) out.emplace_back(m, uses[u].transform);
  }
  return out;
}

// Leaves out the points no polygon uses, keeping the others in order. A
// glTF primitive names a range of a shared buffer, and the importer hands
// every primitive all of it.
void drop_unused_points(Mesh& mesh) {
  if (mesh.face_count() == 0) return;  // points only: every one is the mesh
  constexpr int32_t kUnused = -1;
  std::vector<int32_t> renumbered(mesh.points.size(), kUnused);
  for (int32_t c : mesh.corners) renumbered[static_cast<size_t>(c)] = 0;
  int32_t next = 0;
  const bool colours = mesh.point_colours.size() == mesh.points.size();
  for (size_t i = 0; i < mesh.points.size(); ++i)
    if (renumbered[i] != kUnused) {
      mesh.points[static_cast<size_t>(next)] = mesh.points[i];
      if (colours) mesh.point_colours[static_cast<size_t>(next)] = mesh.point_colours[i];
      renumbered[i] = next++;
    }
  if (static_cast<size_t>(next) == mesh.points.size()) return;
  mesh.points.resize(static_cast<size_t>(next));
  if (colours) mesh.point_colours.resize(static_cast<size_t>(next));
  for (int32_t& c : mesh.corners) c = renumbered[static_cast<size_t>(c)];
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

// "%XX" turned back into the byte it stands for; anything else as it is.
std::string percent_decoded(const std::string& uri) {
  std::string out;
  const auto hex = [](char c) {
    return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
  };
  for (size_t i = 0; i < uri.size(); ++i) {
    if (uri[i] == '%' && i + 2 < uri.size() && hex(uri[i + 1]) >= 0 && hex(uri[i + 2]) >= 0) {
      out += static_cast<char>(hex(uri[i + 1]) * 16 + hex(uri[i + 2]));
      i += 2;
    } else {
      out += uri[i];
    }
  }
  return out;
}

// A material as the model keeps it: name, base colour (and opacity), metallic
// and roughness where the file has them, and the base colour texture: the
// file beside the mesh file, or the image the file embeds.
std::optional<Material> convert_material(const aiScene& scene, const aiMaterial& source,
                                         const std::filesystem::path& file) {
  aiString name;
  if (source.Get(AI_MATKEY_NAME, name) == AI_SUCCESS && std::string(name.C_Str()) == AI_DEFAULT_MATERIAL_NAME)
    return std::nullopt;
  Material out;
  out.name = name.C_Str();
  aiColor4D base;
  aiColor3D diffuse;
  if (source.Get(AI_MATKEY_BASE_COLOR, base) == AI_SUCCESS) {
    out.base_colour = Vector(base.r, base.g, base.b);
    out.opacity = base.a;
  } else if (source.Get(AI_MATKEY_COLOR_DIFFUSE, diffuse) == AI_SUCCESS) {
    out.base_colour = Vector(diffuse.r, diffuse.g, diffuse.b);
  }
  float value = 0.0f;
  if (source.Get(AI_MATKEY_METALLIC_FACTOR, value) == AI_SUCCESS) out.metallic = value;
  if (source.Get(AI_MATKEY_ROUGHNESS_FACTOR, value) == AI_SUCCESS) out.roughness = value;
  aiString texture;
  if (source.GetTexture(aiTextureType_BASE_COLOR, 0, &texture) != AI_SUCCESS &&
      source.GetTexture(aiTextureType_DIFFUSE, 0, &texture) != AI_SUCCESS)
    return out;
  if (const aiTexture* embedded = scene.GetEmbeddedTexture(texture.C_Str())) {
    if (embedded->mHeight == 0)  // compressed (PNG, JPEG): mWidth bytes
      out.base_colour_image = std::make_shared<const std::string>(reinterpret_cast<const char*>(embedded->pcData),
                                                                  embedded->mWidth);
    return out;
  }
  // A glTF names its images by URI: "%20" is a space.
  const std::string extension = lower_extension(file);
  const std::string name_of_file =
      extension == ".gltf" || extension == ".glb" ? percent_decoded(texture.C_Str()) : texture.C_Str();
  out.base_colour_texture = (file.parent_path() / name_of_file).lexically_normal().string();
  return out;
}

// What rides along on a mesh the import library read: per corner its UV sets
// and authored normals (moved by the node's transform as normals move), per
// point its colours, and its material. Corners still name the library's
// vertices (point i is vertex i).
void convert_attributes(const aiScene& scene, const aiMesh& source, const std::optional<aiMatrix4x4>& transform,
                        const std::filesystem::path& file, Mesh& mesh) {
  const size_t corners = mesh.corners.size();
  for (unsigned set = 0; set < AI_MAX_NUMBER_OF_TEXTURECOORDS; ++set) {
    if (!source.HasTextureCoords(set)) continue;
    UvSet& uvs = mesh.uv_sets.emplace_back();
    if (source.mTextureCoordsNames && source.mTextureCoordsNames[set]) uvs.name = source.mTextureCoordsNames[set]->C_Str();
    uvs.uvs.resize(corners);
    for (size_t c = 0; c < corners; ++c) {
      const aiVector3D& t = source.mTextureCoords[set][mesh.corners[c]];
      uvs.uvs[c] = Uv{t.x, t.y};
    }
  }
  if (source.HasNormals()) {
    aiMatrix3x3 normal_matrix;
    if (transform) normal_matrix = aiMatrix3x3(*transform).Inverse().Transpose();
    // One entry per vertex of the source, its corners naming it.
    mesh.corner_normals.values.resize(source.mNumVertices);
    for (unsigned v = 0; v < source.mNumVertices; ++v) {
      aiVector3D n = source.mNormals[v];
      if (transform) n = normal_matrix * n;
      const float length = n.Length();
      mesh.corner_normals.values[v] = length > 0.0f ? Vector(n.x / length, n.y / length, n.z / length) : Vector(0, 1, 0);
    }
    mesh.corner_normals.index.assign(mesh.corners.begin(), mesh.corners.begin() + std::ptrdiff_t(corners));
  }
  if (source.HasVertexColors(0)) {
    // glTF's COLOR_0 is linear, as the mesh keeps colours; PLY and COLLADA
    // files hold them sRGB-encoded (as Blender and most viewers write and read them).
    const std::string extension = lower_extension(file);
    const bool encoded = extension == ".ply" || extension == ".dae" || looks_like_ply(file);
    auto channel = [encoded](float v) { return encoded ? static_cast<float>(srgb_to_linear(v)) : v; };
    mesh.point_colours.resize(mesh.points.size());
    for (size_t i = 0; i < mesh.points.size(); ++i) {
      const aiColor4D& c = source.mColors[0][i];
      mesh.point_colours[i] = Vector(channel(c.r), channel(c.g), channel(c.b));
    }
  }
  if (source.mMaterialIndex < scene.mNumMaterials) {
    if (std::optional<Material> m = convert_material(scene, *scene.mMaterials[source.mMaterialIndex], file)) {
      m->file_index = static_cast<int32_t>(source.mMaterialIndex);
      mesh.materials.push_back(std::move(*m));
      mesh.face_material.assign(mesh.face_count(), 0);
    }
  }
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
    // A corner repeating the one before it (cyclically) adds nothing; a face
    // left with fewer than three corners has no area and is no surface
    // (points and lines are none either).
    corners.clear();
    for (unsigned k = 0; k < face.mNumIndices; ++k)
      if (corners.empty() || corners.back() != static_cast<int32_t>(face.mIndices[k]))
        corners.push_back(static_cast<int32_t>(face.mIndices[k]));
    while (corners.size() > 1 && corners.back() == corners.front()) corners.pop_back();
    if (corners.size() < 3) continue;
    mesh.add_face(corners);
  }
  if (source.mMaterialIndex < scene.mNumMaterials) mesh.colour = material_colour(scene.mMaterials[source.mMaterialIndex]);
  convert_attributes(scene, source, transform, file, mesh);
  return mesh;
}

// How far the library has got with the file, as it says so itself (the
// steps of its own reading; post-processing is not the file's).
class ReadProgress : public Assimp::ProgressHandler {
 public:
  ReadProgress(FileProgress& bar, uint64_t size) : bar_(bar), size_(size) {}
  bool Update(float) override { return true; }
  void UpdateFileRead(int current, int total) override {
    if (total > 0 && current >= 0)
      bar_.reach(static_cast<uint64_t>(static_cast<double>(size_) * std::min(current, total) / total));
  }
  void UpdatePostProcess(int, int) override {}

 private:
  FileProgress& bar_;
  uint64_t size_;
};

// `progress` shows how much of the file the library has read: the bytes it
// took from the file, or the steps it reports, whichever is further.
Result<std::vector<Mesh>> import_with_assimp(const std::filesystem::path& file, const ImportOptions& options,
                                             FileProgress& progress) {
  std::string refusal;  // outlives the importer, whose IO system writes it
  Assimp::Importer importer;
  keep_importers_for(importer, file);
  auto* files = new ConfinedIOSystem(file, options.resources_outside_folder, refusal);
  if (progress.shown()) {
    files->on_mesh_file_read([&progress](uint64_t bytes) { progress.reach(bytes); });
    std::error_code ec;
    const uint64_t size = std::filesystem::file_size(file, ec);
    importer.SetProgressHandler(new ReadProgress(progress, ec ? 0 : size));  // the importer owns both
  }
  importer.SetIOHandler(files);
  // Positions, normals, UVs and colours are kept; the other vertex
  // attributes are dropped early.
  importer.SetPropertyInteger(AI_CONFIG_PP_RVC_FLAGS,
                              aiComponent_TANGENTS_AND_BITANGENTS | aiComponent_BONEWEIGHTS | aiComponent_ANIMATIONS);
  // Validation turns broken index data into an error message instead of a crash.
  const aiScene* scene = importer.ReadFile(
      file.string(), aiProcess_RemoveComponent | aiProcess_ValidateDataStructure);
  progress.finish();
  if (!scene || !refusal.empty()) {
    // The library turns a failed allocation into its error text.
    if (refusal.empty() && std::string(importer.GetErrorString()).find("bad_alloc") != std::string::npos)
      throw std::bad_alloc();
    return Status::failure("cannot read mesh file " + quoted(file) + ": " +
                           (refusal.empty() ? importer.GetErrorString() : refusal));
  }

  const std::string extension = lower_extension(file);
  const bool gltf = extension == ".gltf" || extension == ".glb" || looks_like_glb(file);
  std::vector<Mesh> meshes;
  const auto instances = mesh_instances(*scene, options.apply_node_transforms);
  meshes.reserve(instances.size());
  for (const auto& [m, transform] : instances) {
    Mesh mesh = convert_mesh(*scene, m, transform, file);
    if (std::string problem = check_mesh(mesh); !problem.empty())
      return Status::failure("cannot read mesh file " + quoted(file) + ": " + problem);
    if (gltf) drop_unused_points(mesh);
    meshes.push_back(std::move(mesh));
  }
  if (meshes.empty()) return Status::failure("cannot read mesh file " + quoted(file) + ": it holds no mesh");
  return meshes;
}

// A whole number from the environment, or `fallback` where it is unset or
// not a positive number.
uint64_t environment_number(const char* name, uint64_t fallback) {
  const char* text = std::getenv(name);
  if (!text || !*text) return fallback;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text, &end, 10);
  return (*end == '\0' && value > 0) ? value : fallback;
}

// What one read through the import library may take: 64 times the file's
// size in memory, at least 4 GB and at most three quarters of the machine;
// a minute of processor time, or four seconds a megabyte for larger files.
// KURVO_IMPORT_MEMORY_MB and KURVO_IMPORT_CPU_SECONDS set them instead.
isolation::ChildLimits import_limits_for(const std::filesystem::path& file) {
  std::error_code ec;
  const uint64_t size = std::filesystem::file_size(file, ec);
  const uint64_t megabytes = ec ? 0 : size >> 20;
  uint64_t memory = std::max<uint64_t>(uint64_t{4} << 30, 64 * (ec ? 0 : size));
#ifdef _SC_PHYS_PAGES
  const long pages = ::sysconf(_SC_PHYS_PAGES), page_size = ::sysconf(_SC_PAGE_SIZE);
  if (pages > 0 && page_size > 0)
    memory = std::min<uint64_t>(memory, static_cast<uint64_t>(pages) / 4 * 3 * static_cast<uint64_t>(page_size));
#endif
  isolation::ChildLimits limits;
  limits.memory_bytes = environment_number("KURVO_IMPORT_MEMORY_MB", memory >> 20) << 20;
  limits.cpu_seconds = static_cast<unsigned>(
      environment_number("KURVO_IMPORT_CPU_SECONDS", std::max<uint64_t>(60, 4 * megabytes)));
  limits.worker = "the import library";
  return limits;
}

// The import library reads in a child process: a crash, heap damage or a
// runaway allocation on a damaged file ends the child, and the tool reports
// it in one line (a viewer keeps its scene). The meshes come back whole and
// are checked again on arrival.
// A large file's bar is drawn by the child; one that it leaves unfinished
// (ended by a limit, or crashed) is ended here.
Result<std::vector<Mesh>> import_isolated(const std::filesystem::path& file, const ImportOptions& options) {
  std::error_code ec;
  const uint64_t size = std::filesystem::file_size(file, ec);
  ChildProgress progress("reading " + file.filename().string(), ec ? 0 : size);
  auto bytes = isolation::call_in_child(
      [&]() -> std::string {
        Result<std::vector<Mesh>> meshes = import_with_assimp(file, options, progress.start());
        if (!meshes) throw std::runtime_error(meshes.message());
        return encode_meshes(meshes.value());
      },
      import_limits_for(file));
  progress.end_left_line();
  if (!bytes) {
    // The child's own failures already name the file.
    if (bytes.message().rfind("cannot read mesh file ", 0) == 0) return Status::failure(bytes.message());
    return Status::failure("cannot read mesh file " + quoted(file) + ": " + bytes.message());
  }
  std::optional<std::vector<Mesh>> meshes = decode_meshes(bytes.value());
  if (!meshes) return Status::failure("cannot read mesh file " + quoted(file) + ": the reader's answer was damaged");
  for (const Mesh& mesh : *meshes)
    if (std::string problem = check_mesh(mesh); !problem.empty())
      return Status::failure("cannot read mesh file " + quoted(file) + ": " + problem);
  return std::move(*meshes);
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
  return import_isolated(file, options);
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
