// The thread handle handed to modify_object: its break test answers true
// once it has been asked more than a set number of times (for tests that
// stop an evaluation part way).
#pragma once

#include <atomic>
#include <cstdint>

#include "kh_types.h"

namespace kurvo::host {

class BreakThread {
 public:
  static constexpr uint32_t kMagic = 0x54485244;  // 'THRD'
  uint32_t magic = kMagic;

  // -1: never stop; n >= 0: the first n tests answer false, later ones true.
  void stopAfter(int64_t calls) noexcept {
    limit_.store(calls);
    calls_.store(0);
    for (Slot& s : slots_) s.count.store(0, std::memory_order_relaxed);
  }
  // Optional: called at every test (a deformer tests every 64 points), so
  // a front end can show progress. Null: none.
  void setObserver(void (*observer)(void* user), void* user) noexcept {
    observer_ = observer;
    observerUser_ = user;
  }
  // Asked from every thread that works for the run. Without a limit each
  // thread counts in a slot of its own: one shared counter, written by all
  // the pool's threads every 64 points, costs more than the tests themselves.
  bool testBreak() noexcept {
    if (observer_) observer_(observerUser_);
    const int64_t limit = limit_.load(std::memory_order_relaxed);
    if (limit < 0) {
      slots_[slotOfThisThread()].count.fetch_add(1, std::memory_order_relaxed);
      return false;
    }
    return calls_.fetch_add(1) + 1 > limit;
  }
  int64_t calls() const noexcept {
    int64_t n = calls_.load();
    for (const Slot& s : slots_) n += s.count.load(std::memory_order_relaxed);
    return n;
  }

  KhThread* handle() noexcept { return reinterpret_cast<KhThread*>(this); }

 private:
  static constexpr unsigned kSlots = 8;
  struct alignas(64) Slot {
    std::atomic<int64_t> count{0};
  };
  static unsigned slotOfThisThread() noexcept {
    static std::atomic<unsigned> next{0};
    thread_local const unsigned slot = next.fetch_add(1, std::memory_order_relaxed) % kSlots;
    return slot;
  }

  std::atomic<int64_t> limit_{-1};
  std::atomic<int64_t> calls_{0};
  Slot slots_[kSlots];
  void (*observer_)(void*) = nullptr;
  void* observerUser_ = nullptr;
};

inline BreakThread* threadFrom(KhThread* h) noexcept {
  auto* t = reinterpret_cast<BreakThread*>(h);
  return t && t->magic == BreakThread::kMagic ? t : nullptr;
}

}  // namespace kurvo::host
