#include "shard_split.h"

#include <charconv>

namespace kurvo::farm {
namespace {

// More shards than this is surely a typo; Slurm's own array limit is lower.
constexpr long long kMaxShards = 1'000'000;

bool parseWhole(std::string_view text, long long& value) {
  if (text.empty()) return false;
  const char* end = text.data() + text.size();
  const auto [p, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && p == end;
}

}  // namespace

bool parseShard(const std::string& text, Shard& shard, std::string& problem) {
  const size_t slash = text.find('/');
  Shard s;
  if (slash == std::string::npos || !parseWhole(std::string_view(text).substr(0, slash), s.index) ||
      !parseWhole(std::string_view(text).substr(slash + 1), s.count)) {
    problem = "\"" + text + "\" is not a shard: expected K/N, the K-th of N parts (1 <= K <= N)";
    return false;
  }
  if (s.count < 1 || s.count > kMaxShards || s.index < 1 || s.index > s.count) {
    problem = "\"" + text + "\": K/N needs 1 <= K <= N <= " + std::to_string(kMaxShards);
    return false;
  }
  shard = s;
  return true;
}

long long frameCount(const animation::FrameRange& range) { return (range.last - range.first) / range.step + 1; }

long long lastFrame(const animation::FrameRange& range) { return range.first + (frameCount(range) - 1) * range.step; }

animation::FrameRange shardRange(const animation::FrameRange& range, const Shard& shard) {
  const long long m = frameCount(range);
  // Frame counts are at most a million and shards as many: no overflow.
  const long long begin = (shard.index - 1) * m / shard.count;
  const long long end = shard.index * m / shard.count;
  return {range.first + begin * range.step, range.first + (end - 1) * range.step, range.step};
}

std::string splitProblem(const animation::FrameRange& range, long long shards) {
  const long long m = frameCount(range);
  if (shards <= m) return {};
  return std::to_string(shards) + " shards for " + std::to_string(m) + (m == 1 ? " frame" : " frames") +
         " would leave shards without a frame; give at most " + std::to_string(m);
}

std::string shardText(const Shard& shard) {
  return std::to_string(shard.index) + "/" + std::to_string(shard.count);
}

std::string framesText(const animation::FrameRange& range) {
  std::string text = range.first == range.last ? "frame " + std::to_string(range.first)
                                               : "frames " + std::to_string(range.first) + " to " +
                                                     std::to_string(range.last);
  if (range.step != 1 && range.first != range.last) text += " every " + std::to_string(range.step);
  return text;
}

}  // namespace kurvo::farm
