// Fuzz target, one per mesh format the tool reads (KURVO_FUZZ_EXTENSION is
// ".gltf", ".glb", ".ply", ".stl" or ".dae"): the input as a file of that
// format through the path a scene's "mesh" takes, checks before parsing
// included. Seeded with the import library's own test models.
#include <cstdint>
#include <string>

#include "fuzz_file.h"
#include "mesh_import.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  limitImportLibraryForFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  (void)kurvo::media::import_meshes(fuzzFile(std::string("f") + KURVO_FUZZ_EXTENSION, data, size));
  return 0;
}
