// Checking a set of parts before they are merged: all of one origin, and
// together covering the job's frames exactly once. A gap, an overlap or a
// part from another scene or other options is refused with a message that
// names what is missing or wrong, so a user can re-run just that shard.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "part_file.h"

namespace kurvo::farm {

struct Part {
  std::filesystem::path file;
  PartRecord record;
};

// Sorts `parts` into frame order and answers success when they can be
// merged into `out`, else the first problem found. Missing frames name the
// shard that would have made them and its part's file name.
Status checkPartSet(std::vector<Part>& parts, const std::filesystem::path& out);

}  // namespace kurvo::farm
