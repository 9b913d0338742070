#include "shard_run.h"

#include <cstdio>

#include "fingerprint.h"
#include "frame_outputs.h"
#include "progress.h"
#include "repeatable.h"

#ifndef KURVO_VERSION
#define KURVO_VERSION "unknown"
#endif
#ifndef KURVO_BUILD_TYPE
#define KURVO_BUILD_TYPE "unknown"
#endif

namespace kurvo::cli {

using kurvo::media::Status;

std::string optionNumber(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

farm::PartOrigin partOrigin(const SceneRun& run, const std::string& command, const std::filesystem::path& out,
                            const animation::FrameRange& range, std::map<std::string, std::string> options) {
  farm::PartOrigin o;
  o.tool = std::string(KURVO_VERSION) + " (" + KURVO_BUILD_TYPE + ")";
  o.modules = farm::moduleFingerprints(*run.session);
  o.sceneFile = std::filesystem::absolute(run.scene.file).lexically_normal().string();
  o.sceneFingerprint = farm::sceneFingerprint(run.scene);
  o.command = command;
  std::string ext = out.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  o.output = ext;
  o.options = std::move(options);
  o.range = range;
  return o;
}

Status checkSplit(const SceneRun& run, const animation::FrameRange& range, long long shards) {
  if (std::string problem = farm::splitProblem(range, shards); !problem.empty())
    return Status::failure("--shard: " + problem);
  if (shards == 1) return Status::success();
  return farm::checkRepeatable(*run.document, run.session->state(), run.scene.timeline, run.scene.file.string());
}

kurvo::media::Result<animation::FrameRange> startShard(const SceneRun& run, const animation::FrameRange& range,
                                                       const farm::Shard& shard, const std::filesystem::path& out,
                                                       bool quiet) {
  if (auto s = checkSplit(run, range, shard.count); !s) return s;
  const animation::FrameRange frames = farm::shardRange(range, shard);
  kurvo::media::ProgressBar::log_lines(true);
  if (!quiet) {
    const std::string into = isSequenceName(out) ? out.string() : farm::partName(out, shard).string();
    std::printf("shard %s: %s of %s into %s\n", farm::shardText(shard).c_str(), farm::framesText(frames).c_str(),
                farm::framesText(range).c_str(), into.c_str());
    std::fflush(stdout);
  }
  return frames;
}

}  // namespace kurvo::cli
