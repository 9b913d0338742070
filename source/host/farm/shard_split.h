// Shards of a frame range: the K-th of N contiguous parts of the frames a
// range samples, fixed by the range and N alone, so every task of a farm
// (and the merge) computes the same split without talking to the others.
//
// The range's M frames are split into N runs whose lengths differ by at most
// one: shard K (1-based) takes frames
// [floor((K-1)·M/N), floor(K·M/N)) of the range, in sampling order.
#pragma once

#include <string>

#include "frame_range.h"

namespace kurvo::farm {

struct Shard {
  long long index = 1;  // K, from 1
  long long count = 1;  // N
};

// Parses "K/N" (1 <= K <= N); on failure answers false and says why.
bool parseShard(const std::string& text, Shard& shard, std::string& problem);

// Frames of the range, and the last one it samples (B, or the last step
// before it).
long long frameCount(const animation::FrameRange& range);
long long lastFrame(const animation::FrameRange& range);

// The frames of `shard` as a range of their own (same step). Needs
// shard.count <= frameCount(range): a shard is never empty.
animation::FrameRange shardRange(const animation::FrameRange& range, const Shard& shard);

// Empty when `shards` shards of `range` can be made, else why not.
std::string splitProblem(const animation::FrameRange& range, long long shards);

// "K/N" and "frames A to B" for messages.
std::string shardText(const Shard& shard);
std::string framesText(const animation::FrameRange& range);

}  // namespace kurvo::farm
