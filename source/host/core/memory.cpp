#include "memory.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>

namespace kurvo::host {
namespace {

std::atomic<int64_t> g_liveBlocks{0};
std::atomic<int64_t> g_admissions{0};
std::atomic<int64_t> g_failAt{0};  // admission number that fails; 0: none
std::atomic<bool> g_failureHit{false};
std::atomic<int64_t> g_liveHandles{0};

}  // namespace

void* Memory::alloc(int64_t size) noexcept {
  if (!admit()) return nullptr;
  if (size <= 0) size = 1;
  // On 32 bits a request beyond the address space would otherwise wrap to a
  // small block that the caller then overruns.
  if (static_cast<uint64_t>(size) > SIZE_MAX) return nullptr;
  void* block = std::calloc(1, static_cast<size_t>(size));
  if (block) g_liveBlocks.fetch_add(1, std::memory_order_relaxed);
  return block;
}

void Memory::release(void* block) noexcept {
  if (!block) return;
  g_liveBlocks.fetch_sub(1, std::memory_order_relaxed);
  std::free(block);
}

bool Memory::admit() noexcept {
  const int64_t n = g_admissions.fetch_add(1, std::memory_order_relaxed) + 1;
  int64_t failAt = g_failAt.load(std::memory_order_relaxed);
  if (failAt != 0 && n == failAt &&
      g_failAt.compare_exchange_strong(failAt, 0, std::memory_order_relaxed)) {
    g_failureHit.store(true, std::memory_order_relaxed);
    return false;
  }
  return true;
}

void Memory::failNth(int64_t nth) noexcept {
  g_failureHit.store(false, std::memory_order_relaxed);
  g_failAt.store(nth <= 0 ? 0 : g_admissions.load(std::memory_order_relaxed) + nth,
                 std::memory_order_relaxed);
}

bool Memory::failureHit() noexcept { return g_failureHit.load(std::memory_order_relaxed); }

int64_t Memory::admissions() noexcept { return g_admissions.load(std::memory_order_relaxed); }

void Memory::resetCounters() noexcept {
  g_admissions.store(0, std::memory_order_relaxed);
  g_failAt.store(0, std::memory_order_relaxed);
  g_failureHit.store(false, std::memory_order_relaxed);
}

int64_t Memory::liveBlocks() noexcept { return g_liveBlocks.load(std::memory_order_relaxed); }

void LiveHandles::added() noexcept { g_liveHandles.fetch_add(1, std::memory_order_relaxed); }
void LiveHandles::removed() noexcept { g_liveHandles.fetch_sub(1, std::memory_order_relaxed); }
int64_t LiveHandles::count() noexcept { return g_liveHandles.load(std::memory_order_relaxed); }

}  // namespace kurvo::host
