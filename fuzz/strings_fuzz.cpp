// Fuzz target: the string-table parser (res/strings.json).
#include <cstdint>
#include <string>

#include "core/resource.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  auto resource = kurvo::host::Resource::parseStrings(text, "res", "strings.json", error);
  if (!resource && error.empty()) __builtin_trap();  // a failure must say why
  return 0;
}
