// The kurvo tool's commands: each file adds one subcommand to the app.
#pragma once

#include <filesystem>
#include <string>

namespace CLI {
class App;
}

namespace kurvo::cli {

// Options every command shares.
struct CommonOptions {
  bool quiet = false;
};

// Exit status of the command that ran (0 success, 1 failure).
int& exitStatus();

// The folder `plugins` beside the running executable.
std::filesystem::path defaultPluginDir();
// The line for a plug-in folder that holds no plug-in at all (a mistyped
// --plugins): every command that loads plug-ins refuses to go on without one.
std::string noPluginFound(const std::filesystem::path& dir);

// --version on the main command.
void addVersionFlag(CLI::App& app);

void addInfoCommand(CLI::App& app, CommonOptions& common);
void addEvalCommand(CLI::App& app, CommonOptions& common);
void addRenderCommand(CLI::App& app, CommonOptions& common);
void addDemoCommand(CLI::App& app, CommonOptions& common);
void addPanelCommand(CLI::App& app, CommonOptions& common);
void addViewCommand(CLI::App& app, CommonOptions& common);
void addMergeCommand(CLI::App& app, CommonOptions& common);
void addFarmCommand(CLI::App& app, CommonOptions& common);

}  // namespace kurvo::cli
