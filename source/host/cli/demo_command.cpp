// kurvo demo [--out DIR]: the built-in example. Writes DIR/demo.json (the
// scene, ready to edit and run again with eval or render), DIR/demo.png (a
// preview of its first frame), DIR/demo.glb (the evaluated meshes with their
// animation: the bar travels along its wave and back) and DIR/demo.gif (an
// animated preview).
#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <string>
#include <system_error>

#include "atomic_file.h"
#include "commands.h"
#include "demo_scene.h"
#include "frame_outputs.h"
#include "render_budget.h"
#include "scene_tasks.h"

namespace kurvo::cli {
namespace {

struct DemoOptions {
  std::string out = "out";
  std::string pluginDir;
  int width = 1280;
  int height = 720;
};

int runDemo(const DemoOptions& options, const CommonOptions& common) {
  if (std::string problem = kurvo::media::render_size_problem(options.width, options.height); !problem.empty())
    return reportFailure("--width/--height: " + problem);
  const std::filesystem::path dir(options.out);
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  if (ec) return reportFailure(dir.string() + ": cannot create the folder: " + ec.message());
  const std::filesystem::path sceneFile = dir / "demo.json";
  const std::filesystem::path meshFile = dir / "demo.glb";
  const std::filesystem::path pictureFile = dir / "demo.png";
  const std::filesystem::path movieFile = dir / "demo.gif";

  // The scene goes through the same loader as a file would, so demo.json
  // reproduces exactly what the other two files show.
  const std::string text = kurvo::scenefile::prettyJson(kurvo::scenefile::demoScene());
  SceneRun run;
  if (auto s = startSession(options.pluginDir, common.quiet, run); !s) return reportFailure(s.message());
  if (auto s = loadAndEvaluate(run, sceneFile, common.quiet, &text); !s) return reportFailure(s.message());
  // The four files appear together or not at all.
  kurvo::media::OutputBatch outputs;
  if (auto s = kurvo::media::write_bytes_atomically(sceneFile, text); !s) return reportFailure(s.message());
  kurvo::media::RenderOptions render;
  render.width = options.width;
  render.height = options.height;
  if (auto s = renderPreview(run, pictureFile, render); !s) return reportFailure(s.message());
  animation::FrameRange range;
  std::string problem;
  if (!animation::parseFrameRange("all", run.scene.timeline, range, problem)) return reportFailure(problem);
  if (auto s = writeFrames(run, range, meshFile, {}, common.quiet); !s) return reportFailure(s.message());
  // The animated preview: every second frame, at half the picture's size.
  range.step = 2;
  kurvo::media::RenderOptions movie = render;
  movie.width = std::max(16, options.width / 2);
  movie.height = std::max(16, options.height / 2);
  if (auto s = renderFrames(run, range, movieFile, movie, common.quiet); !s) return reportFailure(s.message());
  if (auto s = outputs.commit(); !s) return reportFailure(s.message());
  if (!common.quiet)
    std::printf("wrote %s\nwrote %s\nwrote %s\nwrote %s\n", sceneFile.c_str(), pictureFile.c_str(), meshFile.c_str(),
                movieFile.c_str());
  return 0;
}

}  // namespace

void addDemoCommand(CLI::App& app, CommonOptions& common) {
  auto options = std::make_shared<DemoOptions>();
  CLI::App* cmd = app.add_subcommand(
      "demo", "Run the built-in example: writes demo.json, demo.png, demo.glb (animated) and demo.gif");
  cmd->add_option("--out", options->out, "Folder to write to (created when missing)")->capture_default_str();
  cmd->add_option("--width", options->width, "Picture width in pixels")->check(CLI::Range(16, 16384));
  cmd->add_option("--height", options->height, "Picture height in pixels")->check(CLI::Range(16, 16384));
  cmd->add_option("--plugins", options->pluginDir,
                  "Plug-in folder holding <Name>/<Name>.so (default: plugins beside kurvo)");
  cmd->add_flag("-q,--quiet", common.quiet, "No console echo, progress or summary");
  addThreadsOption(*cmd);
  cmd->callback([options, &common] { exitStatus() = runDemo(*options, common); });
}

}  // namespace kurvo::cli
