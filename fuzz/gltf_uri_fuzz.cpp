// Fuzz target: glTF buffer and image URIs. The input is the URI of a buffer
// in an otherwise valid glTF; a file outside the glTF's folder ("secret",
// one level up) must never be read: its bytes would become coordinates.
#include <cstdint>
#include <string>

#include "fuzz_file.h"
#include "mesh_import.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  limitImportLibraryForFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool setup = [] {
    // 36 bytes: three points of three floats, all 7.0 outside, 1.0 inside.
    std::string outside, inside;
    for (int i = 0; i < 9; ++i) {
      const float seven = 7.0f, one = 1.0f;
      outside.append(reinterpret_cast<const char*>(&seven), 4);
      inside.append(reinterpret_cast<const char*>(&one), 4);
    }
    std::ofstream(fuzzFolder().parent_path() / "secret.bin", std::ios::binary) << outside;
    std::ofstream(fuzzFolder() / "b.bin", std::ios::binary) << inside;
    return true;
  }();
  (void)setup;
  std::string uri;
  for (size_t i = 0; i < size; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c == '"' || c == '\\' || static_cast<unsigned char>(c) < 0x20) continue;  // keep the JSON whole
    uri += c;
  }
  const std::string gltf =
      R"({"asset": {"version": "2.0"}, "buffers": [{"uri": ")" + uri + R"(", "byteLength": 36}],
          "bufferViews": [{"buffer": 0, "byteLength": 36}],
          "accessors": [{"bufferView": 0, "componentType": 5126, "count": 3, "type": "VEC3",
                         "min": [0, 0, 0], "max": [9, 9, 9]}],
          "meshes": [{"primitives": [{"attributes": {"POSITION": 0}}]}],
          "nodes": [{"mesh": 0}], "scenes": [{"nodes": [0]}], "scene": 0})";
  const auto file = fuzzFile("f.gltf", reinterpret_cast<const uint8_t*>(gltf.data()), gltf.size());
  const auto read = kurvo::media::import_meshes(file);
  if (read.ok())
    for (const auto& mesh : read.value())
      for (const auto& p : mesh.points)
        if (p.x == 7.0f) __builtin_trap();  // bytes from outside the folder
  return 0;
}
