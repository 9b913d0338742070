// The scene commands in a build without the media layer (the Windows builds):
// each is still known to the tool, but answers that this build lacks it.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "commands.h"

namespace kurvo::cli {
namespace {

void addMissing(CLI::App& app, const std::string& name) {
  CLI::App* cmd = app.add_subcommand(name, "Not in this build (built without the media layer)");
  cmd->allow_extras();
  cmd->callback([name] {
    std::fprintf(stderr, "kurvo: %s: not available in this build, which has no media layer (see docs/platforms.md)\n",
                 name.c_str());
    exitStatus() = 1;
  });
}

}  // namespace

void addEvalCommand(CLI::App& app, CommonOptions&) { addMissing(app, "eval"); }
void addRenderCommand(CLI::App& app, CommonOptions&) { addMissing(app, "render"); }
void addDemoCommand(CLI::App& app, CommonOptions&) { addMissing(app, "demo"); }
void addPanelCommand(CLI::App& app, CommonOptions&) { addMissing(app, "panel"); }
void addViewCommand(CLI::App& app, CommonOptions&) { addMissing(app, "view"); }
void addMergeCommand(CLI::App& app, CommonOptions&) { addMissing(app, "merge"); }
void addFarmCommand(CLI::App& app, CommonOptions&) { addMissing(app, "farm"); }

}  // namespace kurvo::cli
