// The frames a command samples: "A:B" or "A:B:STEP" (whole frames, A <= B,
// STEP >= 1; B is included when the steps land on it; at most a million
// frames), or "all" for the scene's own range.
#pragma once

#include <string>
#include <vector>

#include "timeline.h"

namespace kurvo::animation {

struct FrameRange {
  long long first = 0, last = 0, step = 1;
  std::vector<double> frames() const;
};

// Parses `text`; on failure answers false and says why in `problem`.
bool parseFrameRange(const std::string& text, const Timeline& timeline, FrameRange& range, std::string& problem);

}  // namespace kurvo::animation
