// Guards for the C entries of the function table: no exception may leave an
// entry, so every entry body runs inside one of these and a throw becomes the
// entry's documented failure answer.
#pragma once

#include <utility>

namespace kurvo::host {

template <class R, class F>
R guarded(R failure, F&& body) noexcept {
  try {
    return std::forward<F>(body)();
  } catch (...) {
    return failure;
  }
}

template <class F>
void guardedVoid(F&& body) noexcept {
  try {
    std::forward<F>(body)();
  } catch (...) {
  }
}

}  // namespace kurvo::host
