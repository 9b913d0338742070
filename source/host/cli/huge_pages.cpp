#include "huge_pages.h"

#include <cstdlib>  // before the test below: it defines __GLIBC__

#if defined(__linux__) && defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <limits>
#include <string>
#endif

namespace kurvo::cli {

void useHugePages() {
#if defined(__linux__) && defined(__GLIBC__)
  mallopt(M_MMAP_MAX, 0);
  // One heap for every thread: what the readers' and writers' tasks free on
  // the pool's threads is then reused by the main thread (and the other way
  // round) instead of sitting in a heap of each thread's own, and their
  // blocks come from the part marked for huge pages below. Allocation is
  // per file stretch and per block of lines, never per point, so the shared
  // heap's lock is seldom taken.
  mallopt(M_ARENA_MAX, 1);
  if (sizeof(void*) < 8) return;  // the address space is too small to reserve in
  if (const char* choice = std::getenv("KURVO_HUGE_PAGES"); choice && std::strcmp(choice, "0") == 0) return;
  // Valgrind replaces the allocator; the heap below is not its heap.
  if (const char* preload = std::getenv("LD_PRELOAD"); preload && std::strstr(preload, "vgpreload")) return;
  std::string mode;
  std::getline(std::ifstream("/sys/kernel/mm/transparent_hugepage/enabled"), mode);
  if (mode.find("[madvise]") == std::string::npos) return;  // "always" needs no asking, "never" gives none

  // Grow the heap once by the reserve and keep it: freed memory at the top
  // is not trimmed, so later blocks come from the part marked here.
  constexpr size_t kReserve = size_t(1) << 30;
  constexpr size_t kHugePage = size_t(2) << 20;
  mallopt(M_TRIM_THRESHOLD, std::numeric_limits<int>::max());
  mallopt(M_TOP_PAD, static_cast<int>(64 << 20));
  void* block = std::malloc(kReserve - kHugePage);
  if (!block) return;
  const auto begin = (reinterpret_cast<std::uintptr_t>(block) + kHugePage - 1) & ~(kHugePage - 1);
  const auto end = (reinterpret_cast<std::uintptr_t>(sbrk(0))) & ~(kHugePage - 1);
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
  std::free(block);
#endif
}

}  // namespace kurvo::cli
