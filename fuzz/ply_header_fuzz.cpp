// Fuzz target: the PLY header check that runs before the importer sees a
// PLY file; what it passes is imported too, which must then end.
#include <cstdint>

#include "fuzz_file.h"
#include "mesh_import.h"
#include "ply_header_check.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  limitImportLibraryForFuzzing();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto file = fuzzFile("f.ply", data, size);
  if (kurvo::media::check_ply_header(file).empty()) (void)kurvo::media::import_meshes(file);
  return 0;
}
