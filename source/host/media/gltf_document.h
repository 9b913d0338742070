// What the glTF writers share (gltf_writer.h for still meshes,
// gltf_animation.h for frame series): the JSON document, the one binary
// buffer its accessors point into, materials, and writing either container.
// Internal to the media layer.
#ifndef KURVO_MEDIA_GLTF_DOCUMENT_H
#define KURVO_MEDIA_GLTF_DOCUMENT_H

#include <cstdint>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "gltf_writer.h"
#include "result.h"
#include "vector.h"

namespace kurvo::media::gltf {

using Json = nlohmann::ordered_json;

// A float as a JSON number that prints in its shortest form (0.2, not
// 0.20000000298023224) and reads back as the same float.
double shortest(float v);

// The binary buffer and the views and accessors that describe it; every
// accessor gets a view of its own.
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

  // Room for `more` bytes, so that the arrays of a large mesh are not moved
  // by the growing buffer again and again.
  void reserve_more(size_t more) { bytes_.reserve(bytes_.size() + more); }
  std::string& bytes() { return bytes_; }

 private:
  size_t append(const void* data, size_t size);
  int add_view(size_t offset, std::optional<int> target);
  int add_accessor(Json accessor);

  Json& root_;
  std::string bytes_;
};

// A material of its own per mesh: the colour, clamped into 0..1, as base
// colour on a plain dielectric surface.
Json material_for(const std::optional<Vector>& colour, const std::string& name);

// Writes the document with `bin` as its buffer (removing the empty accessor
// and view lists when there is no binary data), as one .glb or as .gltf with
// a .bin beside it, all or nothing.
Status write_document(Json& root, const std::string& bin, const std::filesystem::path& file,
                      GltfContainer container);

}  // namespace kurvo::media::gltf

#endif
