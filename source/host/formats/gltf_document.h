// What the glTF writers share (gltf_writer.h for still meshes,
// gltf_animation.h for frame series): the JSON document, the one binary
// buffer its accessors point into, materials, and writing either container.
// Internal to the glTF writers.
#ifndef KURVO_MEDIA_GLTF_DOCUMENT_H
#define KURVO_MEDIA_GLTF_DOCUMENT_H

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "gltf_writer.h"
#include "mesh.h"
#include "result.h"
#include "vector.h"

namespace kurvo::media::gltf {

using Json = nlohmann::ordered_json;

// A float as a JSON number that prints in its shortest form (0.2, not
// 0.20000000298023224) and reads back as the same float.
double shortest(float v);

// The binary buffer and the views and accessors that describe it; every
// accessor gets a view of its own. Small data is kept in memory; large data
// (a mesh's vertex arrays, an animation's morph targets) can be reserved
// instead and is then made while the file is written (StreamedTail), after
// everything kept.
class BufferBuilder {
 public:
  explicit BufferBuilder(Json& root);

  // VEC3 floats (positions, normals, morph displacements, animated
  // translations and scales). Bounds are needed for positions and the
  // displacements of positions.
  int add_vectors(const std::vector<Vector>& values, bool with_bounds);
  int add_indices(const std::vector<uint32_t>& indices);
  // Animation data, which has no vertex target: key times (SCALAR, with the
  // bounds readers ask of them), quaternions (VEC4) and weights (SCALAR).
  int add_key_times(const std::vector<float>& seconds);
  int add_floats(const std::vector<float>& values, const char* type);
  // Vertex floats kept in memory, `components` (2 to 4) a value (texture
  // coordinates and colours of an animated mesh).
  int add_vertex_floats(const std::vector<float>& values, int components);
  // VEC3 floats whose bytes the caller's StreamedTail makes later, in the
  // order of these calls; bounds as add_vectors computes them, when given.
  int reserve_vectors(size_t count, const std::optional<Bounds>& bounds);
  // 32-bit vertex indices whose bytes the caller's StreamedTail makes later.
  int reserve_indices(size_t count);
  // Floats, `components` (2 to 4) a value, whose bytes the caller's
  // StreamedTail makes later (texture coordinates, colours).
  int reserve_floats(size_t count, int components);
  // An image's bytes kept in the buffer (a .glb's embedded texture): the
  // index of its view.
  int add_image(const std::string& bytes);
  size_t reserved_bytes() const { return reserved_; }
  // Once everything is added: the reserved views start after the kept bytes.
  void place_reserved();

  // Room for `more` bytes, so that the arrays of a large mesh are not moved
  // by the growing buffer again and again.
  void reserve_more(size_t more) { bytes_.reserve(bytes_.size() + more); }
  std::string& bytes() { return bytes_; }

 private:
  size_t append(const void* data, size_t size);
  int add_view(size_t offset, size_t length, std::optional<int> target);
  int reserve_view(size_t length, int target);
  int add_accessor(Json accessor);

  Json& root_;
  std::string bytes_;
  size_t reserved_ = 0;
  std::vector<int> reserved_views_;  // byte offsets counted from the end of bytes_
};

// The bytes reserved in a BufferBuilder, made when the file is written:
// `write` hands them to `out` piece by piece, `size` in all.
struct StreamedTail {
  size_t size = 0;
  std::function<void(const std::function<void(std::string_view)>& out)> write;
};

// A relative path as a URI reference: each part escaped, '/' between them.
std::string uri_of_path(const std::string& path);

// A material of its own per mesh: the colour, clamped into 0..1, as base
// colour on a plain dielectric surface.
Json material_for(const std::optional<Vector>& colour, const std::string& name);

// The textures of the file: one image each, shared by the materials that
// name the same file or carry the same embedded image. A .glb embeds every
// image; a .gltf names an image file where it lies, relative to itself, and
// carries an image that came embedded as a data URI (no file of its own is
// made beside the output).
class Images {
 public:
  Images(const std::filesystem::path& file, GltfContainer container);
  // The texture index of the material's image, or a failure naming it.
  Result<int> texture(const Material& material, const std::string& name, BufferBuilder& buffer);
  // The images and textures into the root (nothing when there are none).
  void put(Json& root);

 private:
  std::filesystem::path file_;
  GltfContainer container_;
  std::map<std::string, int> index_;
  Json images_ = Json::array(), textures_ = Json::array();
};

// The glTF material of `material`; its texture only where the primitive has
// the UVs it is read with.
Result<Json> material_json(const Material& material, const std::string& name, bool has_uvs, Images& images,
                           BufferBuilder& buffer);

// The document's materials made from the meshes' own, each once: the same
// material on several meshes (a file's material on every part and object
// read from it) is one glTF material. Unnamed materials take the mesh's
// name and stay its own.
class Materials {
 public:
  // The index in `materials` of `material` as a primitive with or without
  // UVs uses it, made and added when it is new.
  Result<size_t> index(const Material& material, const std::string& name, bool has_uvs, Json& materials,
                       Images& images, BufferBuilder& buffer);

 private:
  struct Made {
    const Material* material;  // the meshes outlive the writing
    bool has_uvs;
    size_t index;
  };
  std::vector<Made> made_;
};

// Writes the document with `bin` and then the tail as its buffer (removing
// the empty accessor and view lists when there is no binary data), as one
// .glb or as .gltf with a .bin beside it, all or nothing.
Status write_document(Json& root, const std::string& bin, const std::filesystem::path& file,
                      GltfContainer container, const StreamedTail& tail = {});

}  // namespace kurvo::media::gltf

#endif
