// The frames a command samples: "A:B" or "A:B:STEP" (whole frames, A <= B,
// STEP >= 1; B is included when the steps land on it; at most a million
// frames), or "all" for the scene's own range.
//
// One cap holds for every way of naming frames (A:B, A:B:STEP, and all for
// a scene's time block, which may be longer: a scene of a long time block
// still loads and evaluates its start frame): it is checked on the numbers
// alone, before a frame list or any output exists.
#pragma once

#include <string>
#include <vector>

#include "timeline.h"

namespace kurvo::animation {

// Frame numbers past this would not be rendered in any lifetime; the bound
// keeps frames exact as doubles and the arithmetic far from overflow.
constexpr long long kMaxFrameNumber = 100'000'000;
// More frames than this in one run is surely a typo (a day of film at 24
// frames per second is two million); refusing it spares a long run and the
// frame list's memory.
constexpr long long kMaxFramesPerRun = 1'000'000;

// The number of frames from `first` to `last` (inclusive) every `step`.
long long frameCount(long long first, long long last, long long step);
// Empty when that many frames fit the cap; otherwise why not, starting with
// the count ("asks for N frames; ...").
std::string frameCountProblem(long long first, long long last, long long step);

struct FrameRange {
  long long first = 0, last = 0, step = 1;
  std::vector<double> frames() const;
};

// Parses `text`; on failure answers false and says why in `problem`.
bool parseFrameRange(const std::string& text, const Timeline& timeline, FrameRange& range, std::string& problem);

}  // namespace kurvo::animation
