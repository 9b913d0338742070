// Fuzz target: the host's own baseline TIFF reader (the Windows builds read
// every bitmap of a module's res/ directory with it).
#include <cstdint>
#include <span>

#include "core/baseline_tiff.h"
#include "kh_bitmap.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kurvo::host::DecodedImage image;
  const int32_t code = kurvo::host::readBaselineTiff(std::span<const uint8_t>(data, size), image);
  // A decoded image must hold exactly its pixels.
  if (code == KH_IMAGE_OK && image.rgba.size() != static_cast<size_t>(image.width) * image.height * 4)
    __builtin_trap();
  return 0;
}
