// The module's allocator. All module memory comes from the host's general
// family; blocks allocated before the table is known come from the C library
// behind an 8-byte header of all ones, so they can be told apart when freed.
// The global operator new/delete are left alone: this overload is selected
// only by the (std::nothrow, line, file) placement arguments.
#pragma once

#include <new>
#include <type_traits>
#include <utility>

#include "api_types.h"

// Zero-filled block of at least `size` bytes (0 is served as 1), or null.
void* operator new(std::size_t size, const std::nothrow_t&, int line, const char* file) noexcept;
// Matching form, used by the language when a constructor throws.
void operator delete(void* block, const std::nothrow_t&, int line, const char* file) noexcept;

// Set once a block came from the fallback allocator.
extern int32 stdlib_mem_used;

// Returns a block to the allocator that made it (fallback or host). Null is
// ignored. Also frees arrays that the host hands over (vertex maps).
void GeFreeBlock(void* block) noexcept;

// Raw zero-filled block from the layer's allocator, or null.
inline void* GeAlloc(std::size_t size) noexcept { return ::operator new(size, std::nothrow, 0, nullptr); }

// Frees a block if the pointer is set, then clears the pointer.
template <typename T>
inline void _GeFree(T*& block) noexcept {
  if (block) GeFreeBlock(const_cast<void*>(static_cast<const void*>(block)));
  block = nullptr;
}

// Constructs a T in layer memory; null when memory is short or the
// constructor throws.
template <typename T, typename... Args>
T* gNew(Args&&... args) noexcept {
  try {
    return new (std::nothrow, 0, nullptr) T(std::forward<Args>(args)...);
  } catch (...) {
    return nullptr;
  }
}

// Destroys an object made by gNew (through its virtual destructor when it has
// one), frees its block and clears the pointer.
template <typename T>
void gDelete(T*& object) noexcept {
  if (!object) return;
  void* block;
  if constexpr (std::is_polymorphic_v<T>)
    block = dynamic_cast<void*>(object);
  else
    block = static_cast<void*>(object);
  object->~T();
  GeFreeBlock(block);
  object = nullptr;
}
