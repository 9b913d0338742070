#include "part_set.h"

#include <algorithm>

namespace kurvo::farm {
namespace {

// The shard of a split into `count` whose frames hold `frame` of `range`.
Shard shardHolding(const animation::FrameRange& range, long long count, long long frame) {
  const long long m = frameCount(range);
  const long long i = (frame - range.first) / range.step;
  // Shard K holds [floor((K-1)M/N), floor(KM/N)): the first K with floor(KM/N) > i.
  long long k = (i * count) / m + 1;
  while (k > 1 && (k - 1) * m / count > i) --k;
  while (k < count && k * m / count <= i) ++k;
  return {k, count};
}

std::string missingText(const animation::FrameRange& range, long long first, long long last, long long count,
                        const std::filesystem::path& out) {
  std::string text = framesText({first, last, range.step}) + " are missing";
  if (first == last) text = framesText({first, last, range.step}) + " is missing";
  const Shard from = shardHolding(range, count, first);
  const Shard to = shardHolding(range, count, last);
  text += " (";
  const long long shards = to.index - from.index + 1;
  const long long shown = std::min<long long>(shards, 4);
  for (long long k = from.index; k < from.index + shown; ++k) {
    const Shard s{k, count};
    text += (k > from.index ? ", shard " : "shard ") + shardText(s) + ": " + partName(out, s).filename().string();
  }
  if (shards > shown) text += " and " + std::to_string(shards - shown) + " more";
  return text + ")";
}

}  // namespace

Status checkPartSet(std::vector<Part>& parts, const std::filesystem::path& out) {
  if (parts.empty())
    return Status::failure(out.string() + ": no parts to merge (named " + out.filename().string() +
                           ".part-K-of-N beside it, or given after the output)");
  // The job's origin is the one most parts share; the others are foreign.
  size_t reference = 0, most = 0;
  for (size_t i = 0; i < parts.size() && most <= parts.size() / 2; ++i) {
    size_t same = 0;
    for (const Part& p : parts) same += originDifference(p.record.origin, parts[i].record.origin).empty();
    if (same > most) most = same, reference = i;
  }
  std::swap(parts[0], parts[reference]);
  const PartRecord& first = parts.front().record;
  for (const Part& p : parts) {
    if (std::string d = originDifference(p.record.origin, first.origin); !d.empty())
      return Status::failure(p.file.string() + ": a foreign part, " + d + " as " + parts.front().file.string() +
                             " was");
    if (p.record.kind != first.kind)
      return Status::failure(p.file.string() + ": a part of another kind (" + p.record.kind + ", not " +
                             first.kind + ")");
    // The part's frames must be those its shard takes from the range.
    const animation::FrameRange expected = shardRange(first.origin.range, p.record.shard);
    if (p.record.shard.count > frameCount(first.origin.range) || p.record.frames.first != expected.first ||
        p.record.frames.last != expected.last || p.record.frames.step != expected.step)
      return Status::failure(p.file.string() + ": its frames are not those of shard " + shardText(p.record.shard));
  }
  std::stable_sort(parts.begin(), parts.end(), [](const Part& a, const Part& b) {
    return a.record.frames.first != b.record.frames.first ? a.record.frames.first < b.record.frames.first
                                                          : a.record.frames.last < b.record.frames.last;
  });
  const animation::FrameRange& range = first.origin.range;
  long long next = range.first;  // the first frame not yet covered
  long long count = parts.front().record.shard.count;
  for (size_t i = 0; i < parts.size(); ++i) {
    const PartRecord& r = parts[i].record;
    if (r.frames.first > next)
      return Status::failure(out.string() + ": " + missingText(range, next, r.frames.first - range.step, count, out));
    if (r.frames.first < next) {
      const Part& before = parts[i - 1];
      const long long overlapLast = std::min(r.frames.last, next - range.step);
      return Status::failure(out.string() + ": " + parts[i].file.filename().string() + " and " +
                             before.file.filename().string() + " both hold " +
                             framesText({r.frames.first, overlapLast, range.step}) + "; give only one");
    }
    next = r.frames.last + range.step;
    count = r.shard.count;
  }
  if (next <= lastFrame(range))
    return Status::failure(out.string() + ": " + missingText(range, next, lastFrame(range), count, out));
  return Status::success();
}

}  // namespace kurvo::farm
