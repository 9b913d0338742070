#include "memory.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "families.h"

int32 stdlib_mem_used = 0;

namespace {
// Header in front of a fallback block: all ones.
constexpr std::size_t kFallbackHeader = 8;
constexpr int64_t kFallbackMark = -1;

void* FallbackAlloc(std::size_t size) noexcept {
  if (size > SIZE_MAX - kFallbackHeader) return nullptr;
  const std::size_t total = size + kFallbackHeader;
  auto* raw = static_cast<unsigned char*>(std::malloc(total));
  if (!raw) return nullptr;
  std::memset(raw, 0, total);
  std::memcpy(raw, &kFallbackMark, kFallbackHeader);
  stdlib_mem_used = 1;
  return raw + kFallbackHeader;
}

bool IsFallbackBlock(const void* block) noexcept {
  if (!stdlib_mem_used) return false;
  int64_t mark;
  std::memcpy(&mark, static_cast<const unsigned char*>(block) - kFallbackHeader, sizeof mark);
  return mark == kFallbackMark;
}
}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&, int line, const char* file) noexcept {
  if (size == 0) size = 1;
  if (t_HostOS) {
    if (size > static_cast<std::size_t>(INT64_MAX)) return nullptr;
    return family::General().alloc(static_cast<int64_t>(size), line, file);
  }
  return FallbackAlloc(size);
}

void operator delete(void* block, const std::nothrow_t&, int, const char*) noexcept {
  GeFreeBlock(block);
}

void GeFreeBlock(void* block) noexcept {
  if (!block) return;
  if (IsFallbackBlock(block)) {
    std::free(static_cast<unsigned char*>(block) - kFallbackHeader);
    return;
  }
  // A host block can only be returned while the table is known.
  if (t_HostOS) family::General().free(block);
}
