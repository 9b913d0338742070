// kurvo info: loads the plug-ins and lists what they registered.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>

#include "commands.h"
#include "message_text.h"
#include "core/host_session.h"

namespace kurvo::cli {
namespace {

struct InfoOptions {
  std::string pluginDir;
};

const char* typeName(int32_t type) {
  switch (type) {
    case KH_PLUGINTYPE_OBJECT: return "object";
    case KH_PLUGINTYPE_TAG: return "tag";
    case KH_PLUGINTYPE_SHADER: return "shader";
    case KH_PLUGINTYPE_CUSTOMGUI: return "gui";
    default: return "other";
  }
}

int runInfo(const InfoOptions& options, const CommonOptions& common) {
  const std::filesystem::path dir =
      options.pluginDir.empty() ? defaultPluginDir() : std::filesystem::path(options.pluginDir);
  kurvo::host::HostSession::Options sessionOptions;
  sessionOptions.quiet = common.quiet;
  kurvo::host::HostSession session(sessionOptions);
  std::string error;
  if (!session.loadPluginFolder(dir, error)) {
    std::fprintf(stderr, "kurvo: %s\n", printable(error).c_str());
    return 1;
  }
  for (const auto* p : session.registry().all())
    std::printf("%-6s  %7d  %s\n", typeName(p->type), p->id, printable(p->name).c_str());
  std::fflush(stdout);
  for (const std::string& d : session.state().diagnostics()) std::fprintf(stderr, "kurvo: %s\n", printable(d).c_str());
  for (const std::string& e : session.errors()) std::fprintf(stderr, "kurvo: %s\n", printable(e).c_str());
  if (session.modules().empty() && session.errors().empty()) {
    std::fprintf(stderr, "kurvo: %s\n", printable(noPluginFound(dir)).c_str());
    return 1;
  }
  return session.errors().empty() ? 0 : 1;
}

}  // namespace

void addInfoCommand(CLI::App& app, CommonOptions& common) {
  auto options = std::make_shared<InfoOptions>();
  CLI::App* cmd = app.add_subcommand("info", "Load the plug-ins and list what they registered");
  cmd->add_option("--plugins", options->pluginDir,
                  "Plug-in folder holding <Name>/<Name>.so (default: plugins beside kurvo)");
  cmd->add_flag("-q,--quiet", common.quiet, "Do not echo the host console");
  cmd->callback([options, &common] { exitStatus() = runInfo(*options, common); });
}

}  // namespace kurvo::cli
