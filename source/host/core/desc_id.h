// Host side of a description ID (KhDescID): a list of levels.
#pragma once

#include <vector>

#include "kh_types.h"

namespace kurvo::host {

struct DescId {
  std::vector<KhDescLevel> levels;
  const KhDescID* handle() const noexcept { return reinterpret_cast<const KhDescID*>(this); }
};

inline const DescId* descIdFrom(const KhDescID* h) noexcept { return reinterpret_cast<const DescId*>(h); }

}  // namespace kurvo::host
