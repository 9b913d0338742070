// Fuzz target: the description parser (res/description/<NAME>.json).
#include <cstdint>
#include <string>

#include "core/description.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  auto result = kurvo::host::parseDescriptionText(text, "fuzz.json");
  if (!result.description && result.error.empty()) __builtin_trap();  // a failure must say why
  return 0;
}
