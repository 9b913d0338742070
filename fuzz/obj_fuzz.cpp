// Fuzz target: the OBJ reader, with a material library beside the file that
// the input may name (or not, or name many times).
#include <cstdint>

#include "fuzz_file.h"
#include "obj_reader.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool library = [] {
    std::ofstream(fuzzFolder() / "m.mtl") << "newmtl a\nKd 1 0 0\nnewmtl b\nKd 0 1 nan\n";
    return true;
  }();
  (void)library;
  (void)kurvo::media::read_obj(fuzzFile("f.obj", data, size));
  return 0;
}
