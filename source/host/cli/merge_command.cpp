// kurvo merge OUT [PARTS...]: joins the parts that `eval --shard` and
// `render --shard` wrote into the one file a single run writes: the same
// bytes for point caches and scene files with frames, the same animation
// for glTF and the same pictures for GIF and MP4.
//
// The parts are checked first (farm/part_set.h): one origin, every frame of
// the job exactly once. Series outputs (glTF, point caches) take what does
// not change from frame to frame (names, polygons, colours baked at the
// first frame) from the scene itself, evaluated once at the job's first
// frame, and everything per frame from the parts; so the merge needs the
// scene and the plug-ins the shards used, and checks they are the same.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <vector>

#include "animation/apply_frame.h"
#include "animation_writer.h"
#include "atomic_file.h"
#include "commands.h"
#include "fingerprint.h"
#include "finite_results.h"
#include "frame_outputs.h"
#include "gltf_animation.h"
#include "part_set.h"
#include "point_cache.h"
#include "scene/shading.h"
#include "scene_frames.h"
#include "scene_tasks.h"

namespace kurvo::cli {
namespace {

using kurvo::media::Status;

struct MergeOptions {
  std::string out;
  std::vector<std::string> parts;
  std::string pluginDir;
  bool keepParts = false;
};

std::string option(const farm::PartOrigin& origin, const std::string& name) {
  const auto it = origin.options.find(name);
  return it == origin.options.end() ? std::string() : it->second;
}

kurvo::media::ExportOptions exportOptionsOf(const farm::PartOrigin& origin) {
  kurvo::media::ExportOptions o;
  o.raw_axes = option(origin, "--raw-axes") == "on";
  o.scale = std::strtof(option(origin, "--scale").c_str(), nullptr);
  if (!(o.scale > 0.0f)) o.scale = 1.0f;
  o.normals = option(origin, "--normals") == "flat" ? kurvo::media::NormalStyle::flat : kurvo::media::NormalStyle::smooth;
  return o;
}

// The series' fixed part, from the scene at the job's first frame, with that
// frame's sample taken out again: the parts bring every sample.
Status seriesFrame(SceneRun& run, const farm::PartOrigin& origin, const std::filesystem::path& out,
                   kurvo::media::FrameSeries& series) {
  if (auto s = loadOnly(run, origin.sceneFile, true); !s) return s;
  if (farm::sceneFingerprint(run.scene) != origin.sceneFingerprint)
    return Status::failure(out.string() + ": " + origin.sceneFile +
                           " or a mesh it reads has changed since the shards ran; run them again");
  if (farm::moduleFingerprints(*run.session) != origin.modules)
    return Status::failure(out.string() + ": the plug-ins are not those the shards used (" + origin.modules +
                           "); give --plugins with their folder");
  if (auto s = framesFitOutput(*run.document, static_cast<size_t>(farm::frameCount(origin.range)), out); !s)
    return s;
  const double first = static_cast<double>(origin.range.first);
  animation::applyFrame(*run.document, run.scene.timeline, first);
  run.document->evaluate();
  if (auto s = kurvo::scenefile::checkFiniteResults(*run.document, run.session->state(), run.scene.file); !s) return s;
  series.fps = run.scene.timeline.fps;
  const kurvo::host::RenderShading shading(*run.document);
  if (auto s = kurvo::scenefile::appendSample(*run.document, &shading, first, series, &run.scene.sources); !s)
    return Status::failure(run.scene.file.string() + ": " + s.message());
  return Status::success();
}

Status mergeSeries(const std::vector<farm::Part>& parts, const MergeOptions& options, bool quiet) {
  const farm::PartOrigin& origin = parts.front().record.origin;
  SceneRun run;
  if (auto s = startSession(options.pluginDir, quiet, run); !s) return s;
  kurvo::media::FrameSeries series;
  if (auto s = seriesFrame(run, origin, options.out, series); !s) return s;
  for (const farm::Part& p : parts)
    if (auto s = farm::readSeriesPart(p.file, p.record, series); !s) return s;
  // Drop the merge's own first sample: the first part holds the same frame.
  series.frames.erase(series.frames.begin());
  for (auto& mesh : series.meshes) {
    mesh.placements.erase(mesh.placements.begin());
    mesh.points.erase(mesh.points.begin());
  }
  const kurvo::media::ExportOptions exportOptions = exportOptionsOf(origin);
  if (origin.output == ".glb" || origin.output == ".gltf")
    return kurvo::media::write_animated_gltf(series, options.out, exportOptions);
  return kurvo::media::write_point_caches(series, options.out, exportOptions);
}

Status mergeText(const std::vector<farm::Part>& parts, const std::filesystem::path& out) {
  std::string frames, scene, partFrames, partScene;
  for (const farm::Part& p : parts) {
    if (auto s = farm::readTextPart(p.file, p.record, partFrames, partScene); !s) return s;
    if (!frames.empty()) frames += ",\n";
    frames += partFrames;
    if (!partScene.empty()) scene = std::move(partScene);
  }
  if (scene.empty()) return Status::failure(parts.back().file.string() + ": the last part lacks the scene's text");
  return kurvo::scenefile::saveWithFrames(scene, frames, out);
}

Status mergeImages(const std::vector<farm::Part>& parts, const std::filesystem::path& out) {
  const nlohmann::json& content = parts.front().record.content;
  const int width = content.at("width").get<int>(), height = content.at("height").get<int>();
  auto made = kurvo::media::make_animation_writer(out);
  if (!made) return made.status();
  kurvo::media::AnimationWriter& writer = *made.value();
  if (auto s = writer.open(out, width, height, content.at("fps").get<double>()); !s) return s;
  for (const farm::Part& p : parts) {
    if (p.record.content.at("width") != content.at("width") || p.record.content.at("height") != content.at("height"))
      return Status::failure(p.file.string() + ": its pictures are not the size of the others'");
    kurvo::media::Image image;
    image.width = width;
    image.height = height;
    const auto add = [&](std::vector<uint8_t>& rgb) {
      image.rgb.swap(rgb);
      Status s = writer.add(image);
      image.rgb.swap(rgb);
      return s;
    };
    if (auto s = farm::readImagesPart(p.file, p.record, add); !s) return s;
  }
  return writer.finish();
}

int runMerge(const MergeOptions& options, const CommonOptions& common) {
  const std::filesystem::path out = options.out;
  std::vector<std::filesystem::path> files(options.parts.begin(), options.parts.end());
  if (files.empty()) files = farm::partsBeside(out);
  std::vector<farm::Part> parts;
  for (const auto& f : files) {
    auto record = farm::readRecord(f);
    if (!record) return reportFailure(record.message());
    parts.push_back({f, std::move(record.value())});
  }
  std::string ext = out.extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const farm::Part& p : parts)
    if (p.record.origin.output != ext)
      return reportFailure(p.file.string() + ": a part of a " + p.record.origin.output + " output, not of " +
                           out.string());
  if (auto s = farm::checkPartSet(parts, out); !s) return reportFailure(s.message());
  const farm::PartRecord& first = parts.front().record;
  kurvo::media::remove_temporaries_on_signals();
  Status merged = Status::success();
  try {
    kurvo::media::OutputBatch outputs;  // a point cache and its rest mesh appear together
    if (first.kind == "series")
      merged = mergeSeries(parts, options, common.quiet);
    else if (first.kind == "json")
      merged = mergeText(parts, out);
    else if (first.kind == "images")
      merged = mergeImages(parts, out);
    else
      merged = Status::failure(parts.front().file.string() + ": a part of an unknown kind \"" + first.kind + "\"");
    if (merged) merged = outputs.commit();
  } catch (const std::exception& e) {
    // A record whose content lacks a field it promises.
    merged = Status::failure(out.string() + ": a part's record is damaged (" + e.what() + ")");
  }
  if (!merged) return reportFailure(merged.message());
  if (!options.keepParts)
    for (const farm::Part& p : parts) {
      std::error_code ec;
      std::filesystem::remove(p.file, ec);
    }
  if (!common.quiet)
    std::printf("merged %zu part%s (%s) into %s\n", parts.size(), parts.size() == 1 ? "" : "s",
                farm::framesText(first.origin.range).c_str(), out.c_str());
  return 0;
}

}  // namespace

void addMergeCommand(CLI::App& app, CommonOptions& common) {
  auto options = std::make_shared<MergeOptions>();
  CLI::App* cmd = app.add_subcommand(
      "merge", "Join the parts of a sharded run (eval/render --shard K/N) into the file one run writes");
  cmd->add_option("out", options->out, "The output the shards were run for (tube.pc2, anim.glb, frames.json, anim.gif)")
      ->required();
  cmd->add_option("parts", options->parts, "The parts (default: every OUT.part-K-of-N beside OUT)");
  cmd->add_flag("--keep-parts", options->keepParts, "Keep the parts after a successful merge (they are removed)");
  cmd->add_option("--plugins", options->pluginDir,
                  "Plug-in folder the shards used, for glTF and point caches (default: plugins beside kurvo)");
  cmd->add_flag("-q,--quiet", common.quiet, "No summary line");
  cmd->callback([options, &common] { exitStatus() = runMerge(*options, common); });
}

}  // namespace kurvo::cli
