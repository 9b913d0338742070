// TIFF decoding with the host's own baseline reader, for builds without libtiff.
#include "baseline_tiff.h"
#include "tiff_decoder.h"

namespace kurvo::host {

int32_t decodeTiffFile(const std::filesystem::path& file, DecodedImage& out) {
  return readBaselineTiffFile(file, out);
}

}  // namespace kurvo::host
