// Fuzz target: the binary glTF length check, on bytes and on a file.
#include <cstdint>
#include <string_view>

#include "fuzz_file.h"
#include "glb_header_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string from_bytes = kurvo::media::check_glb_bytes(bytes, size);
  const std::string from_file = kurvo::media::check_glb_header(fuzzFile("f.glb", data, size));
  if (size >= 12 && from_bytes != from_file) __builtin_trap();  // the two must agree
  return 0;
}
