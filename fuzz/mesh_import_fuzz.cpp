// Fuzz target: mesh import through the path a scene's "mesh" takes, for the
// common formats the importer reads. The first byte picks the extension.
#include <cstdint>
#include <iterator>

#include "fuzz_file.h"
#include "mesh_import.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  limitImportLibraryForFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const char* const kExtensions[] = {".glb", ".gltf", ".ply", ".stl", ".dae", ".off", ".3ds", ".fbx",
                                            ".x",   ".x3d",  ".3mf", ".obj", ".lwo", ".ac",  ".ms3d", ".smd"};
  if (size < 1) return 0;
  const char* extension = kExtensions[data[0] % std::size(kExtensions)];
  (void)kurvo::media::import_meshes(fuzzFile(std::string("f") + extension, data + 1, size - 1));
  return 0;
}
