// kurvo: the headless host's command-line tool.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>

#include "commands.h"

int main(int argc, char** argv) {
  CLI::App app{"kurvo: loads Kurvo plug-in modules headless and works with their scenes"};
  app.require_subcommand(1);
  kurvo::cli::CommonOptions common;
  app.add_flag("-q,--quiet", common.quiet, "Do not echo the host console");
  kurvo::cli::addInfoCommand(app, common);
  kurvo::cli::addEvalCommand(app, common);
  kurvo::cli::addRenderCommand(app, common);
  kurvo::cli::addDemoCommand(app, common);
  kurvo::cli::addPanelCommand(app, common);
  kurvo::cli::addViewCommand(app, common);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kurvo: %s\n", e.what());
    return 1;
  }
  return kurvo::cli::exitStatus();
}
