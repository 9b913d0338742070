#include "alloc_counter.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<int64_t> allocations{0};
}

namespace kurvo::bench {
int64_t AllocationCount() { return allocations.load(std::memory_order_relaxed); }
}  // namespace kurvo::bench

// The linker sends the program's own malloc and calloc calls here
// (-Wl,--wrap); allocations inside the shared C++ library come through the
// operator new below.
extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __wrap_malloc(size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return __real_malloc(size);
}
void* __wrap_calloc(size_t count, size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  return __real_calloc(count, size);
}
}

void* operator new(size_t size) {
  allocations.fetch_add(1, std::memory_order_relaxed);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
