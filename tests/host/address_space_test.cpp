// Sizes beyond a 32-bit address space: refused with the failure answer, never
// wrapped to a small block or thrown past the boundary. Only a 32-bit build
// can wrap them, so the cases exist there alone (the x86 suite runs them).
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>

#include "core/baseline_tiff.h"
#include "core/memory.h"
#include "kh_bitmap.h"
#include "test_support.h"

namespace kurvo::host::test {
namespace {

#if SIZE_MAX < UINT64_MAX

TEST(AddressSpace, BlockBeyondTheAddressSpaceIsRefusedNotWrapped) {
  // 2^32 + 16 bytes would wrap to a 16-byte block.
  EXPECT_EQ(Memory::alloc((int64_t{1} << 32) + 16), nullptr);
  EXPECT_EQ(Memory::alloc(INT64_MAX), nullptr);
}

TEST(AddressSpace, TiffFileOfTwoGigabytesIsAnsweredOutOfMemory) {
  TempDir dir;
  const auto file = dir.path() / "huge.tif";
  std::ofstream(file, std::ios::binary) << "II*";
  std::filesystem::resize_file(file, std::uintmax_t{1} << 31);  // sparse: no disk used
  DecodedImage img;
  EXPECT_EQ(readBaselineTiffFile(file, img), KH_IMAGE_NOMEM);
}

#endif

}  // namespace
}  // namespace kurvo::host::test
