// The strip codecs of baseline TIFF: each fills `out` exactly (its size is
// the strip's decoded size) and answers false when the data ends early or is
// malformed.
#pragma once

#include <cstdint>
#include <span>

namespace kurvo::host::tiff {

bool decodePackBits(std::span<const uint8_t> in, std::span<uint8_t> out);

// TIFF's LZW: codes most significant bit first, 9 to 12 bits wide, the width
// growing one code early; 256 clears the table, 257 ends the data.
bool decodeLzw(std::span<const uint8_t> in, std::span<uint8_t> out);

// Undoes horizontal differencing (predictor 2) on rows of `rowBytes` bytes
// holding `samples` 8-bit samples per pixel.
void undoHorizontalDifferencing(std::span<uint8_t> data, size_t rowBytes, size_t samples);

}  // namespace kurvo::host::tiff
