// The general allocator behind the table's alloc/free, with the controls
// tests need: make the Nth fallible allocation fail, and count what is live.
// Process-wide: the module's blocks may outlive any one object of the host.
#pragma once

#include <cstdint>

namespace kurvo::host {

class Memory {
 public:
  // A zero-filled block of at least `size` bytes (size <= 0 serves one byte),
  // or null when the failure switch trips or the system has no memory.
  static void* alloc(int64_t size) noexcept;
  static void release(void* block) noexcept;

  // Counts one fallible allocation of any kind (blocks, bitmaps, objects,
  // dialogs). False means "fail this one".
  static bool admit() noexcept;

  // Makes the nth admitted allocation from now on fail (1 = the next one);
  // 0 disarms. The switch fires once.
  static void failNth(int64_t nth) noexcept;
  // True once an armed switch has fired.
  static bool failureHit() noexcept;
  // Number of admissions since the last resetCounters().
  static int64_t admissions() noexcept;
  static void resetCounters() noexcept;

  // Blocks from alloc() not yet released.
  static int64_t liveBlocks() noexcept;
};

// Live host-made values and handles (strings, file names, containers, typed
// values, bitmaps, dialogs, user areas, resources): every init adds one, every
// free takes one away, so a test can tell that nothing was leaked.
class LiveHandles {
 public:
  static void added() noexcept;
  static void removed() noexcept;
  static int64_t count() noexcept;
};

}  // namespace kurvo::host
