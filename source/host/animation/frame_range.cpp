#include "frame_range.h"

#include <charconv>
#include <cmath>

namespace kurvo::animation {
namespace {

bool parseWhole(std::string_view text, long long& value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto [p, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && p == end && std::llabs(value) <= kMaxFrameNumber;
}

}  // namespace

long long frameCount(long long first, long long last, long long step) {
  return last < first || step < 1 ? 0 : (last - first) / step + 1;
}

std::string frameCountProblem(long long first, long long last, long long step) {
  const long long count = frameCount(first, last, step);
  if (count <= kMaxFramesPerRun) return {};
  return "asks for " + std::to_string(count) + " frames; one run takes at most " + std::to_string(kMaxFramesPerRun);
}

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
    const FrameRange all{static_cast<long long>(timeline.start), static_cast<long long>(timeline.end), 1};
    if (std::string count = frameCountProblem(all.first, all.last, all.step); !count.empty()) {
      problem = "\"all\" (the scene's frames " + std::to_string(all.first) + " to " + std::to_string(all.last) +
                ") " + count + "; give A:B or A:B:STEP";
      return false;
    }
    range = all;
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
              std::to_string(kMaxFrameNumber);
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
  if (std::string count = frameCountProblem(r.first, r.last, r.step); !count.empty()) {
    problem = "\"" + text + "\" " + count;
    return false;
  }
  range = r;
  return true;
}

}  // namespace kurvo::animation
