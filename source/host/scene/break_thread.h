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
  }
  // Optional: called at every test (a deformer tests every 64 points), so
  // a front end can show progress. Null: none.
  void setObserver(void (*observer)(void* user), void* user) noexcept {
    observer_ = observer;
    observerUser_ = user;
  }
  bool testBreak() noexcept {
    if (observer_) observer_(observerUser_);
    const int64_t n = calls_.fetch_add(1) + 1;
    const int64_t limit = limit_.load();
    return limit >= 0 && n > limit;
  }
  int64_t calls() const noexcept { return calls_.load(); }

  KhThread* handle() noexcept { return reinterpret_cast<KhThread*>(this); }

 private:
  std::atomic<int64_t> limit_{-1};
  std::atomic<int64_t> calls_{0};
  void (*observer_)(void*) = nullptr;
  void* observerUser_ = nullptr;
};

inline BreakThread* threadFrom(KhThread* h) noexcept {
  auto* t = reinterpret_cast<BreakThread*>(h);
  return t && t->magic == BreakThread::kMagic ? t : nullptr;
}

}  // namespace kurvo::host
