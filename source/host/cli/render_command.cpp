// kurvo render SCENE -o OUT.png: a preview picture of the evaluated scene:
// shaded polygon objects (coloured by their materials), splines as lines and
// every object's editor drawing. With --frames: an animated preview (.gif or
// .mp4) of a range of frames; with --shard K/N only the K-th of N runs of
// them, for `kurvo merge` (shard_run.h).
#include <CLI/CLI.hpp>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <filesystem>
#include <string>

#include "commands.h"
#include "frame_outputs.h"
#include "render_budget.h"
#include "scene_tasks.h"
#include "shard_run.h"
#include "surface_normals.h"

namespace kurvo::cli {
namespace {

struct RenderCommandOptions {
  std::string scene;
  std::string out;
  std::string pluginDir;
  kurvo::scenefile::GeometryLimits limits;
  int width = 0;  // 0: the default, 1280 x 720 (640 x 360 for an animation)
  int height = 0;
  std::string view = "persp";
  bool flat = false;
  bool faceted = false;
  bool noHelpers = false;
  bool frameHelpers = false;
  std::string cameraPosition, cameraTarget, cameraUp;  // "X,Y,Z"; empty: not given
  float fov = 0.0f;                                     // 0: not given
  std::string frames;
  bool framesGiven = false;  // --frames '' is a mistake to name, not a still
  std::string shard;
};

// A shard's pictures, written as its part as they come.
class PartPictures final : public kurvo::media::AnimationWriter {
 public:
  PartPictures(std::filesystem::path part, farm::PartRecord record) : part_(std::move(part)), record_(std::move(record)) {}
  kurvo::media::Status open(const std::filesystem::path&, int width, int height, double fps) override {
    bytes_ = static_cast<size_t>(width) * static_cast<size_t>(height) * 3;
    const auto count = static_cast<size_t>(farm::frameCount(record_.frames));
    return writer_.open(part_, farm::imagesRecord(record_, width, height, fps, count));
  }
  kurvo::media::Status add(const kurvo::media::Image& frame) override {
    if (frame.rgb.size() != bytes_) return kurvo::media::Status::failure(part_.string() + ": a picture of another size");
    writer_.write(frame.rgb.data(), frame.rgb.size());
    return kurvo::media::Status::success();
  }
  kurvo::media::Status finish() override { return writer_.finish(); }

 private:
  std::filesystem::path part_;
  farm::PartRecord record_;
  farm::PartWriter writer_;
  size_t bytes_ = 0;
};

// "X,Y,Z" as three finite numbers.
bool parseTriple(const std::string& text, Vector& out) {
  float v[3];
  const char* at = text.c_str();
  for (int i = 0; i < 3; ++i) {
    char* end = nullptr;
    v[i] = std::strtof(at, &end);
    if (end == at || !std::isfinite(v[i])) return false;
    at = end;
    while (*at == ' ') ++at;
    if (i < 2) {
      if (*at != ',') return false;
      ++at;
    }
  }
  if (*at != '\0') return false;
  out = Vector(v[0], v[1], v[2]);
  return true;
}

// The camera the command line and the scene file place, if any: the scene's
// "camera" block with each option given replacing its field. An empty
// message and no camera when neither places one.
std::string placedCamera(const RenderCommandOptions& options, const std::optional<kurvo::media::CameraPlacement>& scene,
                         std::optional<kurvo::media::CameraPlacement>& out) {
  out = scene;
  const bool position = !options.cameraPosition.empty(), target = !options.cameraTarget.empty(),
             up = !options.cameraUp.empty();
  if (!out && !position) {
    if (target) return "--camera-target: give --camera-position as well (where the camera stands)";
    if (up) return "--camera-up: give --camera-position and --camera-target as well";
    return {};
  }
  if (!out && !target) return "--camera-position: give --camera-target as well (the point the camera looks at)";
  kurvo::media::CameraPlacement placement = out.value_or(kurvo::media::CameraPlacement{});
  if (position && !parseTriple(options.cameraPosition, placement.position))
    return "--camera-position: expected three numbers X,Y,Z, got \"" + options.cameraPosition + "\"";
  if (target && !parseTriple(options.cameraTarget, placement.target))
    return "--camera-target: expected three numbers X,Y,Z, got \"" + options.cameraTarget + "\"";
  if (up && !parseTriple(options.cameraUp, placement.up))
    return "--camera-up: expected three numbers X,Y,Z, got \"" + options.cameraUp + "\"";
  if (options.fov > 0.0f) placement.fov_degrees = options.fov;
  if (const std::string problem = kurvo::media::placement_problem(placement); !problem.empty())
    return std::string(scene && !position && !target && !up ? "camera" : "--camera-position/--camera-target") + ": " +
           problem;
  out = placement;
  return {};
}

std::string tripleText(const Vector& v) {
  char text[96];
  std::snprintf(text, sizeof text, "%.9g,%.9g,%.9g", v.x, v.y, v.z);
  return text;
}

kurvo::media::Status renderShard(SceneRun& run, const animation::FrameRange& range, const farm::Shard& shard,
                                 const RenderCommandOptions& options, const kurvo::media::RenderOptions& render,
                                 bool quiet) {
  auto frames = startShard(run, range, shard, options.out, quiet);
  if (!frames) return frames.status();
  if (isSequenceName(options.out)) return renderFrames(run, range, options.out, render, quiet, &frames.value());
  farm::PartRecord record;
  record.origin = partOrigin(run, "render", options.out, range,
                             {{"--width", std::to_string(render.width)},
                              {"--height", std::to_string(render.height)},
                              {"--view", options.view},
                              {"--flat", options.flat ? "on" : "off"},
                              {"--faceted", options.faceted ? "on" : "off"},
                              {"--no-helpers", options.noHelpers ? "on" : "off"},
                              {"--frame-helpers", options.frameHelpers ? "on" : "off"},
                              {"--fov", std::to_string(render.fov_degrees)},
                              {"--camera", render.camera ? tripleText(render.camera->position) + " " +
                                                               tripleText(render.camera->target) + " " +
                                                               tripleText(render.camera->up) + " " +
                                                               std::to_string(render.camera->fov_degrees)
                                                         : "framed"}});
  record.shard = shard;
  record.frames = frames.value();
  PartPictures part(farm::partName(options.out, shard), record);
  return renderFrames(run, range, options.out, render, quiet, &frames.value(), &part);
}

int runRender(const RenderCommandOptions& options, const CommonOptions& common) {
  std::string ext = std::filesystem::path(options.out).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const bool animated = options.framesGiven;
  if (!animated && ext != ".png") return reportFailure(options.out + ": the picture is written as PNG; name it .png");
  const bool sequence = isSequenceName(options.out);
  if (animated && ext != ".gif" && ext != ".mp4" && !(sequence && ext == ".png"))
    return reportFailure(options.out + ": --frames renders an animation: name it .gif or .mp4, or frames/f_####.png "
                                       "for one picture per frame");
  farm::Shard shard;
  if (!options.shard.empty()) {
    if (!animated) return reportFailure("--shard splits a range of frames; give --frames A:B as well");
    std::string problem;
    if (!farm::parseShard(options.shard, shard, problem)) return reportFailure("--shard: " + problem);
  }
  if (!animated && sequence)
    return reportFailure(options.out + ": a name with '#' writes one picture per frame; give --frames A:B");
  // Animations are many pictures: smaller unless a size is asked for.
  const int width = options.width ? options.width : animated ? 640 : 1280;
  const int height = options.height ? options.height : animated ? 360 : 720;
  if (std::string problem = kurvo::media::render_size_problem(width, height); !problem.empty())
    return reportFailure("--width/--height: " + problem);
  kurvo::media::RenderOptions render;
  const auto view = kurvo::media::parse_view(options.view);
  if (!view) return reportFailure("--view: unknown view \"" + options.view + "\" (front, top, side or persp)");
  render.view = *view;
  render.width = width;
  render.height = height;
  render.flat = options.flat;
  render.faceted = options.faceted;
  render.helpers = !options.noHelpers;
  render.frame_helpers = options.frameHelpers;
  if (options.fov > 0.0f) render.fov_degrees = options.fov;
  if (options.frameHelpers && options.noHelpers)
    return reportFailure("--frame-helpers frames the helpers that --no-helpers hides: give one of them");
  SceneRun run;
  run.limits = options.limits;
  if (auto s = startSession(options.pluginDir, common.quiet, run); !s) return reportFailure(s.message());
  if (animated) {
    if (auto s = loadOnly(run, options.scene, common.quiet); !s) return reportFailure(s.message());
    if (std::string problem = placedCamera(options, run.scene.camera, render.camera); !problem.empty())
      return reportFailure(problem);
    animation::FrameRange range;
    std::string problem;
    if (!animation::parseFrameRange(options.frames, run.scene.timeline, range, problem))
      return reportFailure("--frames: " + problem);
    if (auto s = options.shard.empty() ? renderFrames(run, range, options.out, render, common.quiet)
                                       : renderShard(run, range, shard, options, render, common.quiet);
        !s)
      return reportFailure(s.message());
  } else {
    if (auto s = loadAndEvaluate(run, options.scene, common.quiet); !s) return reportFailure(s.message());
    if (std::string problem = placedCamera(options, run.scene.camera, render.camera); !problem.empty())
      return reportFailure(problem);
    if (auto s = renderPreview(run, options.out, render); !s) return reportFailure(s.message());
  }
  if (!common.quiet) {
    const bool part = !options.shard.empty() && !sequence;
    std::printf("wrote %s\n", part ? farm::partName(options.out, shard).c_str() : options.out.c_str());
  }
  return 0;
}

}  // namespace

void addRenderCommand(CLI::App& app, CommonOptions& common) {
  auto options = std::make_shared<RenderCommandOptions>();
  CLI::App* cmd = app.add_subcommand("render", "Render a preview picture of a scene (PNG), or an animation of its frames");
  cmd->add_option("scene", options->scene, "Scene file (.json)")->required();
  cmd->add_option("-o,--out", options->out,
                  "Picture to write (.png; with --frames .gif, .mp4, or frames/f_####.png for one per frame)")
      ->required();
  cmd->add_option("--width", options->width, "Picture width in pixels (default 1280; 640 for --frames)")
      ->check(CLI::Range(16, 16384));
  cmd->add_option("--height", options->height, "Picture height in pixels (default 720; 360 for --frames)")
      ->check(CLI::Range(16, 16384));
  cmd->add_option("--frames", options->frames,
                  "Render frames A to B (every STEP-th) of an animated scene into an animation (.gif or .mp4) at "
                  "the scene's frame rate, one camera for all; \"all\" takes the scene's own range")
      ->type_name("A:B[:STEP]|all")
      ->each([options](const std::string&) { options->framesGiven = true; });
  cmd->add_option("--shard", options->shard,
                  "With --frames: render only the K-th of N equal runs of the frames (the camera still frames them "
                  "all) into OUT.part-K-of-N, which `kurvo merge OUT` joins into the animation one run writes")
      ->type_name("K/N");
  cmd->add_option("--view", options->view, "Camera: front, top, side or persp")
      ->check(CLI::IsMember({"front", "top", "side", "persp"}))
      ->capture_default_str();
  cmd->add_flag("--flat", options->flat, "No lighting: every surface in its plain colour");
  cmd->add_flag("--faceted", options->faceted,
                "One normal per face (faceted) instead of smooth shading from the surface normals");
  cmd->add_flag("--no-helpers", options->noHelpers,
                "Meshes only: no spline paths, deformer arrows or other editor drawing");
  cmd->add_flag("--frame-helpers", options->frameHelpers,
                "Frame the helpers (paths, arrows) too; by default the camera frames the meshes");
  cmd->add_option("--camera-position", options->cameraPosition,
                  "Place the camera here (with --camera-target) instead of framing a --view; replaces the scene "
                  "file's camera position")
      ->type_name("X,Y,Z");
  cmd->add_option("--camera-target", options->cameraTarget, "The point the placed camera looks at")
      ->type_name("X,Y,Z");
  cmd->add_option("--camera-up", options->cameraUp, "The placed camera's up direction (default 0,1,0)")
      ->type_name("X,Y,Z");
  cmd->add_option("--fov", options->fov,
                  "Vertical field of view in degrees of the placed camera or the persp view (default 40)")
      ->type_name("DEG")
      ->check(CLI::Range(1.0f, 179.0f));
  cmd->add_option("--plugins", options->pluginDir,
                  "Plug-in folder holding <Name>/<Name>.so (default: plugins beside kurvo)");
  cmd->add_flag("-q,--quiet", common.quiet, "No console echo, progress or summary");
  addSceneLimitOptions(*cmd, options->limits);
  const kurvo::media::RenderOptions defaults;
  char footer[768];
  std::snprintf(footer, sizeof footer,
                "Fixed settings: background (%g, %g, %g); objects without a material in the preview palette; "
                "light from above left behind the viewer, %g ambient + %g diffuse, two-sided; a free border of "
                "%g of each side around what is framed (the meshes); lines %g pixels wide, %g strength where a surface "
                "hides them; %d render threads. Views: front looks along +Z, top down along -Y, side along -X, "
                "persp from the front, right and above. Shading is smooth (hard edges kept beyond %g degrees) "
                "unless --faceted.",
                defaults.background.x, defaults.background.y, defaults.background.z, kurvo::media::kAmbientLight,
                kurvo::media::kDiffuseLight, defaults.margin,
                defaults.line_width, defaults.hidden_line_strength, defaults.threads,
                static_cast<double>(kurvo::media::kCreaseAngleDegrees));
  cmd->footer(footer);
  cmd->callback([options, &common] { exitStatus() = runRender(*options, common); });
}

}  // namespace kurvo::cli
