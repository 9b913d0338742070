// kurvo eval SCENE -o OUT: loads a scene, evaluates it once and writes the
// result: the scene again (.json, with the deformed points) or every polygon
// object as a world-space mesh (.obj, .glb, .ply, .stl, ...). With --frames
// it evaluates a range of frames and writes them (frame_outputs.h); with
// --shard K/N only the K-th of N parts of the range, for `kurvo merge`
// (shard_run.h).
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "commands.h"
#include "frame_outputs.h"
#include "message_text.h"
#include "progress.h"
#include "scene_file.h"
#include "scene_tasks.h"
#include "shard_run.h"

namespace kurvo::cli {
namespace {

struct EvalOptions {
  std::string scene;
  std::string out;
  std::string pluginDir;
  kurvo::scenefile::GeometryLimits limits;
  bool rawAxes = false;
  float scale = 1.0f;
  std::string normals = "smooth";
  bool normalsGiven = false;
  std::string frames;
  bool framesGiven = false;  // --frames '' is a mistake to name, not a still
  std::string shard;
};

// The files written, by name: one per mesh of a point cache (and its rest
// mesh), side files, every frame of a sequence (the first and last of a
// long one).
void printWritten(const std::vector<std::filesystem::path>& files) {
  if (files.size() <= 8) {
    for (const std::filesystem::path& f : files) std::printf("wrote %s\n", printable(f.string()).c_str());
    return;
  }
  std::printf("wrote %zu files: %s ... %s\n", files.size(), printable(files.front().string()).c_str(),
              printable(files.back().string()).c_str());
}

// The options that shape an output, as a part records them.
std::map<std::string, std::string> shapingOptions(const EvalOptions& o) {
  return {{"--raw-axes", o.rawAxes ? "on" : "off"}, {"--scale", optionNumber(o.scale)}, {"--normals", o.normals == "renew" ? "smooth" : o.normals}};
}

// The shard's frames written as its part (or, for a sequence, as its own files).
kurvo::media::Status writeShard(SceneRun& run, const animation::FrameRange& range, const farm::Shard& shard,
                                const EvalOptions& options, const kurvo::media::ExportOptions& exportOptions,
                                bool quiet) {
  const std::filesystem::path out = options.out;
  auto frames = startShard(run, range, shard, out, quiet);
  if (!frames) return frames.status();
  // The merge holds every frame: refuse what a single run would refuse.
  if (auto s = framesFitOutput(*run.document, static_cast<size_t>(farm::frameCount(range)), out); !s) return s;
  farm::PartRecord record;
  record.origin = partOrigin(run, "eval", out, range, shapingOptions(options));
  record.shard = shard;
  record.frames = frames.value();
  const std::filesystem::path part = farm::partName(out, shard);
  const CollectedWriter writePart = [&](const CollectedFrames& collected) {
    if (collected.series) return farm::writeSeriesPart(part, record, *collected.series);
    // A single run writes the scene's text after its last frame: the part
    // holding the last frame carries it.
    if (record.frames.last != farm::lastFrame(range)) return farm::writeTextPart(part, record, *collected.framesText, nullptr);
    kurvo::scenefile::SaveOptions save;
    save.deformedPoints = false;
    auto text = kurvo::scenefile::sceneText(*run.document, run.scene, out, run.session->state(), save);
    if (!text) return text.status();
    return farm::writeTextPart(part, record, *collected.framesText, &text.value());
  };
  return writeFrames(run, frames.value(), out, exportOptions, quiet, writePart);
}

int runEval(const EvalOptions& options, const CommonOptions& common) {
  std::string problem;
  const bool animated = options.framesGiven;
  if (animated ? !isKnownFramesOutput(options.out, problem) : !isKnownOutput(options.out, problem))
    return reportFailure(problem);
  farm::Shard shard;
  if (!options.shard.empty()) {
    if (!animated) return reportFailure("--shard splits a range of frames; give --frames A:B as well");
    if (!farm::parseShard(options.shard, shard, problem)) return reportFailure("--shard: " + problem);
    kurvo::media::ProgressBar::log_lines(true);  // a shard's log shows how far it got
  }
  if (!animated && isSequenceName(options.out))
    return reportFailure(options.out + ": a name with '#' writes one file per frame; give --frames A:B");
  if (animated && options.normals == "carry")
    return reportFailure("--normals carry: authored normals are carried into a still result only; with --frames "
                         "they are made again from each bent frame (give --normals renew or flat)");
  SceneRun run;
  run.limits = options.limits;
  if (auto s = startSession(options.pluginDir, common.quiet, run); !s) return reportFailure(s.message());
  kurvo::media::ExportOptions exportOptions;
  exportOptions.raw_axes = options.rawAxes;
  exportOptions.scale = options.scale;
  exportOptions.normals = options.normals == "flat" ? kurvo::media::NormalStyle::flat : kurvo::media::NormalStyle::smooth;
  const kurvo::scenefile::NormalChoice normalChoice =
      !options.normalsGiven         ? kurvo::scenefile::NormalChoice::asScene
      : options.normals == "carry" ? kurvo::scenefile::NormalChoice::carry
                                   : kurvo::scenefile::NormalChoice::renew;
  kurvo::media::OutputBatch outputs;  // a mesh and its side files (or all frames) appear together
  if (animated) {
    if (auto s = loadOnly(run, options.scene, common.quiet); !s) return reportFailure(s.message());
    animation::FrameRange range;
    if (!animation::parseFrameRange(options.frames, run.scene.timeline, range, problem))
      return reportFailure("--frames: " + problem);
    if (auto s = options.shard.empty() ? writeFrames(run, range, options.out, exportOptions, common.quiet)
                                       : writeShard(run, range, shard, options, exportOptions, common.quiet);
        !s)
      return reportFailure(s.message());
  } else {
    if (auto s = loadAndEvaluate(run, options.scene, common.quiet); !s) return reportFailure(s.message());
    // Nothing uses the document after this export: it hands its geometry over.
    if (auto s = writeFinalResult(run, options.out, exportOptions, normalChoice); !s) return reportFailure(s.message());
  }
  if (auto s = outputs.commit(); !s) return reportFailure(s.message());
  if (!common.quiet) {
    if (!options.shard.empty() && !isSequenceName(options.out))
      std::printf("wrote %s\n", printable(farm::partName(options.out, shard).string()).c_str());
    else
      printWritten(outputs.written().empty() ? std::vector<std::filesystem::path>{options.out} : outputs.written());
  }
  return 0;
}

}  // namespace

void addEvalCommand(CLI::App& app, CommonOptions& common) {
  auto options = std::make_shared<EvalOptions>();
  CLI::App* cmd = app.add_subcommand("eval", "Load a scene, evaluate it once and write the result");
  cmd->add_option("scene", options->scene, "Scene file (.json)")->required();
  cmd->add_option("-o,--out", options->out,
                  "Output: .json (the scene with deformed points) or a mesh file (.obj .glb .gltf .ply .stl ...)")
      ->required();
  cmd->add_flag("--raw-axes", options->rawAxes,
                "Mesh files: write the scene's own left-handed coordinates (Y up, Z into the screen) and winding "
                "unchanged instead of converting them to the format's right-handed frame");
  cmd->add_option("--scale", options->scale,
                  "Mesh files: file units per scene unit (e.g. 0.01 to write a scene unit of 1 cm in metres)")
      ->check(CLI::PositiveNumber)
      ->default_str("1");
  cmd->add_option("--normals", options->normals,
                  "renew (also spelt smooth): made again from the bent surface, keeping the file's split between "
                  "smooth and hard (else split at edges sharper than 40 degrees); carry: a mesh file's authored "
                  "normals carried through the bend itself (still results; overrides each object's \"normals\"); "
                  "flat: one normal per face")
      ->check(CLI::IsMember({"renew", "smooth", "flat", "carry"}))
      ->each([options](const std::string&) { options->normalsGiven = true; })
      ->default_str("renew");
  cmd->add_option("--frames", options->frames,
                  "Evaluate frames A to B (every STEP-th) of an animated scene and write them all: .glb/.gltf "
                  "(morph targets and node animation), .pc2/.mdd (point caches with rest OBJ), .json (the scene "
                  "with every frame's points) or a sequence named with #### (frames/bent_####.obj); \"all\" "
                  "takes the scene's own range")
      ->type_name("A:B[:STEP]|all")
      ->each([options](const std::string&) { options->framesGiven = true; });
  cmd->add_option("--shard", options->shard,
                  "With --frames: evaluate only the K-th of N equal runs of the frames. A sequence writes its own "
                  "files; a single-file output writes OUT.part-K-of-N, which `kurvo merge OUT` joins into the "
                  "file one run writes")
      ->type_name("K/N");
  cmd->add_option("--plugins", options->pluginDir,
                  "Plug-in folder holding <Name>/<Name>.so (default: plugins beside kurvo)");
  cmd->add_flag("-q,--quiet", common.quiet, "No console echo, progress or summary");
  addSceneLimitOptions(*cmd, options->limits);
  cmd->callback([options, &common] { exitStatus() = runEval(*options, common); });
}

}  // namespace kurvo::cli
