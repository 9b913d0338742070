// kurvo farm: the same job as `kurvo eval --frames`, run as a Slurm job
// array. `kurvo farm SCENE --frames R -o OUT --shards N` checks the scene
// and the split here, writes OUT.farm/shards.sbatch (an array of N tasks,
// each `kurvo eval --shard K/N`) and OUT.farm/merge.sbatch (`kurvo merge
// OUT`, after every task), submits both with sbatch and says where the logs
// go. `kurvo farm --batch LIST` runs one evaluation per line of the list as
// an array. --dry-run prints the scripts instead of writing and submitting.
// Animations and pictures (.gif, .mp4, f_####.png) run `kurvo render --shard`.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "atomic_file.h"
#include "batch_list.h"
#include "commands.h"
#include "core/executable_path.h"
#include "frame_outputs.h"
#include "part_file.h"
#include "scene_tasks.h"
#include "shard_run.h"
#include "slurm_job.h"

namespace kurvo::cli {
namespace {

using kurvo::media::Status;

struct FarmOptions {
  std::string scene;
  std::string out;
  std::string frames;
  long long shards = 0;
  std::string batch;
  std::string pluginDir;
  kurvo::scenefile::GeometryLimits limits;
  bool rawAxes = false;
  float scale = 1.0f;
  std::string normals = "smooth";
  farm::SlurmOptions slurm;
  bool dryRun = false;
  // Renders (.gif, .mp4, f_####.png): as for kurvo render.
  int width = 0, height = 0;
  std::string view = "persp";
  bool flat = false;
  bool faceted = false, noHelpers = false, frameHelpers = false;
  std::string cameraPosition, cameraTarget, cameraUp;
  float fov = 0.0f;
};

std::string lowerExtension(const std::string& out) {
  std::string ext = std::filesystem::path(out).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

// An animation or pictures: the tasks run kurvo render, not eval.
bool isRender(const std::string& out) {
  const std::string ext = lowerExtension(out);
  return ext == ".gif" || ext == ".mp4" || (ext == ".png" && isSequenceName(out));
}

std::vector<std::string> renderWords(const FarmOptions& o) {
  std::vector<std::string> w{"--view", o.view};
  if (o.width) w.insert(w.end(), {"--width", std::to_string(o.width)});
  if (o.height) w.insert(w.end(), {"--height", std::to_string(o.height)});
  if (o.flat) w.push_back("--flat");
  if (o.faceted) w.push_back("--faceted");
  if (o.noHelpers) w.push_back("--no-helpers");
  if (o.frameHelpers) w.push_back("--frame-helpers");
  if (o.fov > 0.0f) w.insert(w.end(), {"--fov", std::to_string(o.fov)});
  if (!o.cameraPosition.empty()) w.insert(w.end(), {"--camera-position", o.cameraPosition});
  if (!o.cameraTarget.empty()) w.insert(w.end(), {"--camera-target", o.cameraTarget});
  if (!o.cameraUp.empty()) w.insert(w.end(), {"--camera-up", o.cameraUp});
  return w;
}

std::string absolutePath(const std::filesystem::path& p) { return std::filesystem::absolute(p).lexically_normal().string(); }

// The words every task's kurvo eval shares: plug-ins, threads, limits, shaping.
std::vector<std::string> sharedWords(const FarmOptions& o, bool render = false) {
  std::vector<std::string> w{"--plugins",
                             absolutePath(o.pluginDir.empty() ? defaultPluginDir() : std::filesystem::path(o.pluginDir)),
                             "-j", farm::kThreadsWord, "--max-points", std::to_string(o.limits.maxScenePoints)};
  if (render) {
    const auto r = renderWords(o);
    w.insert(w.end(), r.begin(), r.end());
  } else {
    w.insert(w.end(), {"--scale", optionNumber(o.scale), "--normals", o.normals});
    if (o.rawAxes) w.push_back("--raw-axes");
  }
  if (o.limits.allowOutsideResources) w.push_back("--allow-outside-resources");
  return w;
}

std::string kurvoPath() { return absolutePath(kurvo::host::executablePath()); }

// Writes (or with --dry-run prints) one script.
Status putScript(const std::filesystem::path& file, const std::string& text, bool dryRun) {
  if (dryRun) {
    std::printf("# %s\n%s\n", file.c_str(), text.c_str());
    return Status::success();
  }
  return kurvo::media::write_bytes_atomically(file, text);
}

Status makeFolders(const std::filesystem::path& folder, bool dryRun) {
  if (dryRun) return Status::success();
  std::error_code ec;
  std::filesystem::create_directories(folder / "logs", ec);
  if (ec) return Status::failure((folder / "logs").string() + ": cannot create the folder: " + ec.message());
  return Status::success();
}

int runShards(const FarmOptions& options, const CommonOptions& common) {
  std::string problem;
  if (options.scene.empty() || options.out.empty() || options.frames.empty() || options.shards < 1)
    return reportFailure("farm: give SCENE --frames A:B -o OUT --shards N (or --batch LIST)");
  const bool render = isRender(options.out);
  if (!render && !isKnownFramesOutput(options.out, problem)) return reportFailure(problem);
  SceneRun run;
  run.limits = options.limits;
  if (auto s = startSession(options.pluginDir, true, run); !s) return reportFailure(s.message());
  if (auto s = loadOnly(run, options.scene, common.quiet); !s) return reportFailure(s.message());
  animation::FrameRange range;
  if (!animation::parseFrameRange(options.frames, run.scene.timeline, range, problem))
    return reportFailure("--frames: " + problem);
  if (auto s = checkSplit(run, range, options.shards); !s) return reportFailure(s.message());
  if (!render)
    if (auto s = framesFitOutput(*run.document, static_cast<size_t>(farm::frameCount(range)), options.out); !s)
      return reportFailure(s.message());

  const std::string out = absolutePath(options.out);
  const std::filesystem::path folder = out + ".farm";
  const std::filesystem::path logs = folder / "logs";
  const std::string frames =
      std::to_string(range.first) + ":" + std::to_string(range.last) + ":" + std::to_string(range.step);
  const std::string name = "kurvo-" + std::filesystem::path(out).filename().string();
  const std::string n = std::to_string(options.shards);

  std::vector<std::string> task{kurvoPath(), render ? "render" : "eval", absolutePath(options.scene), "--frames", frames,
                                "--shard", std::string(farm::kTaskWord) + "/" + n, "-o", out};
  const auto shared = sharedWords(options, render);
  task.insert(task.end(), shared.begin(), shared.end());
  const bool merge = !isSequenceName(out);
  const std::string again = "One shard again: sbatch --array=K " + (folder / "shards.sbatch").string() +
                            (merge ? ", then sbatch " + (folder / "merge.sbatch").string() : std::string());
  const std::string shardsText =
      farm::arrayScript(name, "kurvo farm: " + n + " shards of " + farm::framesText(range) + " of " +
                                  absolutePath(options.scene) + " into " + out + "\n# " + again,
                        options.shards, task, {}, logs, options.slurm);
  farm::SlurmOptions mergeSlurm = options.slurm;
  mergeSlurm.cpusPerTask = 1;
  const std::string mergeText = farm::mergeScript(
      name + "-merge", "kurvo farm: joins the shards' parts into " + out + " once every shard has ended",
      {kurvoPath(), "merge", out, "--plugins", shared[1]}, logs, mergeSlurm);

  // Parts of an earlier job for the same output would join this one's.
  if (const auto earlier = farm::partsBeside(out); merge && !earlier.empty())
    return reportFailure(earlier.front().string() + ": a part of an earlier job for " + out +
                         " is still there; merge it (kurvo merge) or remove it first");
  if (auto s = makeFolders(folder, options.dryRun); !s) return reportFailure(s.message());
  if (auto s = putScript(folder / "shards.sbatch", shardsText, options.dryRun); !s) return reportFailure(s.message());
  if (merge)
    if (auto s = putScript(folder / "merge.sbatch", mergeText, options.dryRun); !s) return reportFailure(s.message());
  if (options.dryRun) {
    std::printf("# submit: sbatch --parsable %s\n", (folder / "shards.sbatch").c_str());
    if (merge) std::printf("# then:   sbatch --dependency=afterany:JOB %s\n", (folder / "merge.sbatch").c_str());
    return 0;
  }
  auto shardsJob = farm::submit(folder / "shards.sbatch", {});
  if (!shardsJob) return reportFailure(shardsJob.message() + "; the scripts are in " + folder.string());
  std::printf("submitted %s shards as job %s (array 1-%s)\n", n.c_str(), shardsJob.value().c_str(), n.c_str());
  if (merge) {
    auto mergeJob = farm::submit(folder / "merge.sbatch", {"--dependency=afterany:" + shardsJob.value()});
    if (!mergeJob) return reportFailure(mergeJob.message());
    std::printf("submitted the merge as job %s (into %s), after every shard\n", mergeJob.value().c_str(), out.c_str());
    std::printf("logs: %s (task-%s_K.out per shard, merge-%s.out)\n", logs.c_str(), shardsJob.value().c_str(),
                mergeJob.value().c_str());
  } else {
    std::printf("logs: %s (task-%s_K.out per shard); the sequence needs no merge\n", logs.c_str(),
                shardsJob.value().c_str());
  }
  std::printf("%s\n", again.c_str());
  return 0;
}

int runBatch(const FarmOptions& options) {
  if (!options.scene.empty() || !options.out.empty() || options.shards)
    return reportFailure("farm --batch: the scenes and outputs come from the list; give no SCENE, -o or --shards");
  auto entries = farm::readBatchList(options.batch);
  if (!entries) return reportFailure(entries.message());
  std::vector<std::vector<std::string>> tasks;
  const auto shared = sharedWords(options);
  for (const farm::BatchEntry& e : entries.value()) {
    std::string problem;
    const std::string where = options.batch + ": line " + std::to_string(e.line) + ": ";
    if (!std::filesystem::is_regular_file(e.scene)) return reportFailure(where + e.scene.string() + ": no such scene");
    const bool known = options.frames.empty() ? isKnownOutput(e.output, problem) && !isSequenceName(e.output)
                                              : isKnownFramesOutput(e.output, problem);
    if (!known) return reportFailure(where + (problem.empty() ? e.output.string() + ": a sequence needs --frames" : problem));
    std::vector<std::string> words{kurvoPath(), "eval", e.scene.string(), "-o", e.output.string()};
    if (!options.frames.empty()) words.insert(words.end(), {"--frames", options.frames});
    words.insert(words.end(), shared.begin(), shared.end());
    tasks.push_back(std::move(words));
  }
  const std::string list = absolutePath(options.batch);
  const std::filesystem::path folder = list + ".farm";
  const std::string name = "kurvo-" + std::filesystem::path(list).filename().string();
  const std::string text = farm::arrayScript(
      name, "kurvo farm: one evaluation per line of " + list + "\n# One line again: sbatch --array=K " +
                (folder / "batch.sbatch").string() + " (K counts the list's scenes from 1)",
      static_cast<long long>(tasks.size()), {}, tasks, folder / "logs", options.slurm);
  if (auto s = makeFolders(folder, options.dryRun); !s) return reportFailure(s.message());
  // The tasks write into these folders; make them as eval would want them.
  for (const farm::BatchEntry& e : entries.value()) {
    std::error_code ec;
    if (!options.dryRun) std::filesystem::create_directories(e.output.parent_path(), ec);
    if (ec) return reportFailure(e.output.parent_path().string() + ": cannot create the folder: " + ec.message());
  }
  if (auto s = putScript(folder / "batch.sbatch", text, options.dryRun); !s) return reportFailure(s.message());
  if (options.dryRun) {
    std::printf("# submit: sbatch --parsable %s\n", (folder / "batch.sbatch").c_str());
    return 0;
  }
  auto job = farm::submit(folder / "batch.sbatch", {});
  if (!job) return reportFailure(job.message() + "; the script is in " + folder.string());
  std::printf("submitted %zu evaluations as job %s (array 1-%zu)\nlogs: %s (task-%s_K.out per line)\n", tasks.size(),
              job.value().c_str(), tasks.size(), (folder / "logs").c_str(), job.value().c_str());
  return 0;
}

}  // namespace

void addFarmCommand(CLI::App& app, CommonOptions& common) {
  auto options = std::make_shared<FarmOptions>();
  CLI::App* cmd = app.add_subcommand(
      "farm", "Run an eval --frames job on a Slurm cluster: N shards as a job array, then the merge");
  cmd->add_option("scene", options->scene, "Scene file (.json)");
  cmd->add_option("-o,--out", options->out,
                  "Output, as for eval --frames (.pc2 .mdd .glb .gltf .json, frames/f_####.obj) or render --frames "
                  "(.gif .mp4 frames/f_####.png)");
  cmd->add_option("--frames", options->frames, "Frames A to B (every STEP-th), or all; with --batch, for every line")
      ->type_name("A:B[:STEP]|all");
  cmd->add_option("--shards", options->shards, "Tasks to split the frames into (each evaluates about 1/N of them)")
      ->check(CLI::Range(1LL, 1000000LL));
  cmd->add_option("--batch", options->batch,
                  "A list of evaluations, one \"SCENE OUTPUT\" per line, run as one task each (paths relative to the list)");
  cmd->add_option("--partition", options->slurm.partition, "Slurm partition (default: the cluster's default)");
  cmd->add_option("--cpus-per-task", options->slurm.cpusPerTask, "CPUs Slurm gives each task (kurvo uses them all)")
      ->check(CLI::Range(1, 1024))
      ->capture_default_str();
  cmd->add_option("--time", options->slurm.time, "Slurm time limit of each task (default: the partition's)");
  cmd->add_flag("--dry-run", options->dryRun, "Print the batch scripts and the sbatch commands; write and submit nothing");
  cmd->add_flag("--raw-axes", options->rawAxes, "As for eval");
  cmd->add_option("--scale", options->scale, "As for eval")->check(CLI::PositiveNumber)->default_str("1");
  cmd->add_option("--normals", options->normals, "As for eval")
      ->check(CLI::IsMember({"smooth", "flat"}))
      ->default_str("smooth");
  cmd->add_option("--width", options->width, "Renders (.gif .mp4 f_####.png): as for render")->check(CLI::Range(16, 16384));
  cmd->add_option("--height", options->height, "Renders: as for render")->check(CLI::Range(16, 16384));
  cmd->add_option("--view", options->view, "Renders: as for render")
      ->check(CLI::IsMember({"front", "top", "side", "persp"}))
      ->capture_default_str();
  cmd->add_flag("--flat", options->flat, "Renders: as for render");
  cmd->add_flag("--faceted", options->faceted, "Renders: as for render");
  cmd->add_flag("--no-helpers", options->noHelpers, "Renders: as for render");
  cmd->add_flag("--frame-helpers", options->frameHelpers, "Renders: as for render");
  cmd->add_option("--fov", options->fov, "Renders: as for render")->check(CLI::Range(1.0f, 179.0f));
  cmd->add_option("--camera-position", options->cameraPosition, "Renders: as for render")->type_name("X,Y,Z");
  cmd->add_option("--camera-target", options->cameraTarget, "Renders: as for render")->type_name("X,Y,Z");
  cmd->add_option("--camera-up", options->cameraUp, "Renders: as for render")->type_name("X,Y,Z");
  cmd->add_option("--plugins", options->pluginDir, "Plug-in folder the tasks load (default: plugins beside kurvo)");
  cmd->add_flag("-q,--quiet", common.quiet, "No console echo or progress while checking the scene");
  addSceneLimitOptions(*cmd, options->limits);
  cmd->callback([options, &common] {
    exitStatus() = options->batch.empty() ? runShards(*options, common) : runBatch(*options);
  });
}

}  // namespace kurvo::cli
