// The shard side of a farm job (eval --shard K/N, render --shard K/N): the
// checks before a shard starts, and the record each part carries of what
// made it. The split, the part files and the merge's checks are in
// source/host/farm.
#pragma once

#include <filesystem>
#include <map>
#include <string>

#include "frame_range.h"
#include "part_file.h"
#include "scene_tasks.h"
#include "shard_split.h"

namespace kurvo::cli {

// The origin of the parts that `command` writes for `out` over `range`.
farm::PartOrigin partOrigin(const SceneRun& run, const std::string& command, const std::filesystem::path& out,
                            const animation::FrameRange& range, std::map<std::string, std::string> options);

// Whether the loaded scene may be split into `shards` shards of `range`:
// enough frames, and nothing that depends on the evaluations before a
// frame (farm/repeatable.h). One shard is a single run and always may.
kurvo::media::Status checkSplit(const SceneRun& run, const animation::FrameRange& range, long long shards);

// Starts a shard: checks the split, turns on progress lines for a log
// without a terminal, prints what the shard does, and answers its frames.
kurvo::media::Result<animation::FrameRange> startShard(const SceneRun& run, const animation::FrameRange& range,
                                                       const farm::Shard& shard, const std::filesystem::path& out,
                                                       bool quiet);

// "--scale" and its value as a record keeps them: the float's exact value.
std::string optionNumber(double value);

}  // namespace kurvo::cli
