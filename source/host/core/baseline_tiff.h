// The host's own reader of baseline TIFF, for builds without libtiff (the
// Windows builds). It reads what the module's bitmaps and common tools write:
// the first image of the file, 8-bit RGB or RGBA, chunky samples, top-left
// orientation, in strips, uncompressed, LZW (with or without horizontal
// differencing) or PackBits, in either byte order. Anything else - tiles,
// planar samples, JPEG or Deflate data, palettes, other orientations - is
// answered KH_IMAGE_WRONGTYPE rather than misread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>

#include "tiff_decoder.h"

namespace kurvo::host {

// Decodes the TIFF held in `bytes`. A KH_IMAGE_ code: OK, WRONGTYPE or NOMEM;
// `out` is filled only on OK.
int32_t readBaselineTiff(std::span<const uint8_t> bytes, DecodedImage& out);

// Reads `file` whole and decodes it; KH_IMAGE_NOTEXISTING if it cannot be opened.
int32_t readBaselineTiffFile(const std::filesystem::path& file, DecodedImage& out);

}  // namespace kurvo::host
