#include "frame_range.h"

#include <charconv>
#include <cmath>

namespace kurvo::animation {
namespace {

// Frame ranges past this would not be rendered in any lifetime; the bound
// keeps the arithmetic far from overflow.
constexpr long long kMaxFrame = 100'000'000;
// More frames than this in one run is surely a typo (a day of film at 24
// frames per second is two million); refusing it spares a long run and the
// frame list's memory.
constexpr long long kMaxFrames = 1'000'000;

bool parseWhole(std::string_view text, long long& value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto [p, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && p == end && std::llabs(value) <= kMaxFrame;
}

}  // namespace

std::vector<double> FrameRange::frames() const {
  std::vector<double> out;
  out.reserve(static_cast<size_t>((last - first) / step + 1));
  for (long long f = first; f <= last; f += step) out.push_back(static_cast<double>(f));
  return out;
}

bool parseFrameRange(const std::string& text, const Timeline& timeline, FrameRange& range, std::string& problem) {
  if (text == "all") {
    if (!timeline.present) {
      problem = "\"all\" needs a \"time\" block with the scene's frame range; give A:B instead";
      return false;
    }
    if (timeline.start != std::floor(timeline.start) || timeline.end != std::floor(timeline.end)) {
      problem = "the scene's frame range is not in whole frames; give A:B instead";
      return false;
    }
    range = {static_cast<long long>(timeline.start), static_cast<long long>(timeline.end), 1};
    return true;
  }
  const size_t colon = text.find(':');
  if (colon == std::string::npos) {
    problem = "\"" + text + "\" is not a frame range: expected A:B or A:B:STEP (whole frames) or all";
    return false;
  }
  const size_t second = text.find(':', colon + 1);
  const std::string_view all(text);
  const std::string_view a = all.substr(0, colon);
  const std::string_view b =
      second == std::string::npos ? all.substr(colon + 1) : all.substr(colon + 1, second - colon - 1);
  const std::string_view s = second == std::string::npos ? std::string_view("1") : all.substr(second + 1);
  FrameRange r;
  if (!parseWhole(a, r.first) || !parseWhole(b, r.last) || !parseWhole(s, r.step)) {
    problem = "\"" + text + "\" is not a frame range: expected A:B or A:B:STEP with whole frames within +-" +
              std::to_string(kMaxFrame);
    return false;
  }
  if (r.last < r.first) {
    problem = "\"" + text + "\": the last frame comes before the first";
    return false;
  }
  if (r.step < 1) {
    problem = "\"" + text + "\": the step must be 1 or more";
    return false;
  }
  if ((r.last - r.first) / r.step + 1 > kMaxFrames) {
    problem = "\"" + text + "\" asks for " + std::to_string((r.last - r.first) / r.step + 1) +
              " frames; one run takes at most " + std::to_string(kMaxFrames);
    return false;
  }
  range = r;
  return true;
}

}  // namespace kurvo::animation
