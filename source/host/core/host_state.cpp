#include "host_state.h"

#include <atomic>

namespace kurvo::host {
namespace {
std::atomic<HostState*> g_current{nullptr};
}

void HostState::addDiagnostic(std::string text) {
  std::lock_guard lock(mutex_);
  diagnostics_.push_back(std::move(text));
}

std::vector<std::string> HostState::diagnostics() const {
  std::lock_guard lock(mutex_);
  return diagnostics_;
}

HostState* currentHost() noexcept { return g_current.load(std::memory_order_acquire); }
void setCurrentHost(HostState* state) noexcept { g_current.store(state, std::memory_order_release); }

}  // namespace kurvo::host
