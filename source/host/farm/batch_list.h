// A batch list for `kurvo farm --batch`: one evaluation per line, the scene
// and the output, separated by spaces or tabs. A path with spaces is written
// in double quotes; blank lines and lines starting with '#' are skipped.
// Relative paths are taken from the list's own folder, so a list moves with
// its scenes.
//
//   # scene                 output
//   shots/a.json            out/a.glb
//   "shots/b 2.json"        out/b.pc2
#pragma once

#include <filesystem>
#include <vector>

#include "result.h"

namespace kurvo::farm {

struct BatchEntry {
  std::filesystem::path scene;   // absolute
  std::filesystem::path output;  // absolute
  int line = 0;                  // in the list, from 1
};

// Reads the list; a line that is not "SCENE OUTPUT" is refused naming the
// file and the line.
kurvo::media::Result<std::vector<BatchEntry>> readBatchList(const std::filesystem::path& list);

}  // namespace kurvo::farm
