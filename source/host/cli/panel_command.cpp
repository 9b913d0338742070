// kurvo panel SCENE --object NAME -o OUT.png [--pointer X,Y] [--click X,Y]:
// the attribute panel of one object of the scene as a picture. --pointer
// moves the mouse there first and lets the element timers run, so the title
// bar shows its lit row over the link zone; --click then clicks (a click in
// the link zone prints the address the bar opens).
#include <CLI/CLI.hpp>

#include <charconv>
#include <cstdio>
#include <optional>
#include <string>

#include "attribute_panel.h"
#include "commands.h"
#include "png_writer.h"
#include "scene_tasks.h"

namespace kurvo::cli {
namespace {

struct PanelCommandOptions {
  std::string scene;
  std::string object;
  std::string out;
  std::string pointer;
  std::string click;
  std::string pluginDir;
  kurvo::scenefile::GeometryLimits limits;
  int width = 460;
};

struct Point {
  int32_t x = 0, y = 0;
};

// "X,Y" with two integers.
std::optional<Point> parsePoint(const std::string& text) {
  const size_t comma = text.find(',');
  if (comma == std::string::npos) return std::nullopt;
  Point p;
  const char* begin = text.data();
  const char* mid = begin + comma;
  const char* end = begin + text.size();
  auto [xEnd, xError] = std::from_chars(begin, mid, p.x);
  if (xError != std::errc() || xEnd != mid) return std::nullopt;
  auto [yEnd, yError] = std::from_chars(mid + 1, end, p.y);
  if (yError != std::errc() || yEnd != end) return std::nullopt;
  return p;
}

// Parses an optional "X,Y" option; answers an error message or nothing.
std::optional<std::string> readPoint(const char* option, const std::string& text, std::optional<Point>& out) {
  if (text.empty()) return std::nullopt;
  out = parsePoint(text);
  if (!out) return std::string(option) + ": \"" + text + "\" is not X,Y in whole pixels (for example 60,40)";
  return std::nullopt;
}

std::optional<std::string> checkInside(const char* option, const Point& p, const kurvo::panel::AttributePanel& panel) {
  if (p.x >= 0 && p.y >= 0 && p.x < panel.width() && p.y < panel.height()) return std::nullopt;
  return std::string(option) + ": " + std::to_string(p.x) + "," + std::to_string(p.y) + " lies outside the panel (" +
         std::to_string(panel.width()) + " x " + std::to_string(panel.height()) + " pixels)";
}

kurvo::host::Object* findObject(kurvo::host::Document& document, const std::string& name, std::string& names) {
  kurvo::host::Object* found = nullptr;
  document.forEachObject([&](kurvo::host::Object& o) {
    // An array's copies and its own geometry have no panel of their own.
    if (o.isGenerated() || o.role() == kurvo::host::ObjectRole::arrayGeometry) return;
    if (!found && o.name() == name) found = &o;
    names += (names.empty() ? "" : ", ") + o.name();
  });
  return found;
}

// Clock time the pointer rests before the picture is taken: a few of the
// title bar's 100 ms timer ticks.
constexpr int32_t kRestMs = 300;

int runPanel(const PanelCommandOptions& options, const CommonOptions& common) {
  std::optional<Point> pointer, click;
  if (auto e = readPoint("--pointer", options.pointer, pointer)) return reportFailure(*e);
  if (auto e = readPoint("--click", options.click, click)) return reportFailure(*e);

  SceneRun run;
  run.limits = options.limits;
  if (auto s = startSession(options.pluginDir, common.quiet, run); !s) return reportFailure(s.message());
  if (auto s = loadAndEvaluate(run, options.scene, common.quiet); !s) return reportFailure(s.message());
  std::string names;
  kurvo::host::Object* object = findObject(*run.document, options.object, names);
  if (!object)
    return reportFailure(options.scene + ": no object named \"" + options.object + "\" (objects: " + names + ")");

  kurvo::panel::PanelOptions panelOptions;
  panelOptions.width = options.width;
  auto built = kurvo::panel::AttributePanel::build(*run.session, *object, panelOptions);
  if (!built) return reportFailure(options.scene + ": " + built.message());
  kurvo::panel::AttributePanel& panel = *built.value();
  if (pointer)
    if (auto e = checkInside("--pointer", *pointer, panel)) return reportFailure(*e);
  if (click)
    if (auto e = checkInside("--click", *click, panel)) return reportFailure(*e);

  if (pointer) {
    panel.movePointer(pointer->x, pointer->y);
    panel.advanceClock(kRestMs);
  }
  if (click) {
    panel.click(click->x, click->y);
    panel.advanceClock(kRestMs);
  }
  const kurvo::media::Image image = panel.render();
  panel.close();
  if (auto s = kurvo::media::write_png(image, options.out); !s) return reportFailure(s.message());
  if (!common.quiet) std::printf("wrote %s (%d x %d)\n", options.out.c_str(), image.width, image.height);
  return 0;
}

}  // namespace

void addPanelCommand(CLI::App& app, CommonOptions& common) {
  auto options = std::make_shared<PanelCommandOptions>();
  CLI::App* cmd = app.add_subcommand("panel", "Render the attribute panel of one object of a scene (PNG)");
  cmd->add_option("scene", options->scene, "Scene file (.json)")->required();
  cmd->add_option("--object", options->object, "Name of the object whose panel to show")->required();
  cmd->add_option("-o,--out", options->out, "Picture to write (.png)")->required();
  cmd->add_option("--pointer", options->pointer, "Move the mouse to X,Y (panel pixels) first");
  cmd->add_option("--click", options->click, "Click the left button at X,Y (panel pixels)");
  cmd->add_option("--width", options->width, "Panel width in pixels")->check(CLI::Range(260, 4096));
  cmd->add_option("--plugins", options->pluginDir,
                  "Plug-in folder holding <Name>/<Name>.so (default: plugins beside kurvo)");
  cmd->add_flag("-q,--quiet", common.quiet, "No console echo, progress or summary");
  addSceneLimitOptions(*cmd, options->limits);
  cmd->callback([options, &common] { exitStatus() = runPanel(*options, common); });
}

}  // namespace kurvo::cli
