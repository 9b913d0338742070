// Decoding a TIFF file into 8-bit RGBA pixels. Implemented once with libtiff
// (tiff_decoder_libtiff.cpp) and once with the host's own baseline reader
// (tiff_decoder_baseline.cpp); the build picks one (KURVO_USE_LIBTIFF).
#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

namespace kurvo::host {

struct DecodedImage {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint8_t> rgba;  // row-major, top row first, alpha unassociated
};

// Largest image accepted, in pixels (1 GiB of RGBA).
inline constexpr int64_t kMaxImagePixels = int64_t{1} << 28;

// A KH_IMAGE_ code: OK, WRONGTYPE (unreadable, or not 8-bit RGB or RGBA) or
// NOMEM. `out` is filled only on OK. The caller has checked that `file` exists.
int32_t decodeTiffFile(const std::filesystem::path& file, DecodedImage& out);

}  // namespace kurvo::host
