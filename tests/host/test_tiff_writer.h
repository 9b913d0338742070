// Builds small TIFF files byte by byte, without libtiff, so that bitmap tests
// run in every build and can also write files no library would.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <vector>

namespace kurvo::host::test {

struct TiffLayout {
  int width = 4;
  int height = 3;
  int samples = 3;            // 3 RGB, 4 RGBA
  bool bigEndian = false;
  int rowsPerStrip = 0;       // 0: one strip
  uint32_t compression = 1;   // 1 none, 32773 PackBits
  // Tags written in place of (or besides) the usual ones, as one LONG value;
  // a value of ~0u leaves the tag out.
  std::map<uint16_t, uint32_t> overrides;
};

// Pixel (x, y) of the test pattern: (x, y, x + y, 200), each mod 256.
std::vector<uint8_t> testPattern(const TiffLayout& layout);

// The file's bytes, holding `pixels` (samples per pixel as the layout says).
std::vector<uint8_t> makeTiff(const TiffLayout& layout, const std::vector<uint8_t>& pixels);
inline std::vector<uint8_t> makeTiff(const TiffLayout& layout) { return makeTiff(layout, testPattern(layout)); }

bool writeFile(const std::filesystem::path& file, const std::vector<uint8_t>& bytes);

}  // namespace kurvo::host::test
