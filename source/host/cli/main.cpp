// kurvo: the headless host's command-line tool.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>

#include "commands.h"
#include "huge_pages.h"
#include "message_text.h"

int main(int argc, char** argv) {
  kurvo::cli::useHugePages();
  CLI::App app{"kurvo: loads Kurvo plug-in modules headless and works with their scenes"};
  app.require_subcommand(1);
  kurvo::cli::CommonOptions common;
  app.add_flag("-q,--quiet", common.quiet, "Do not echo the host console");
  kurvo::cli::addVersionFlag(app);
  kurvo::cli::addInfoCommand(app, common);
  kurvo::cli::addEvalCommand(app, common);
  kurvo::cli::addRenderCommand(app, common);
  kurvo::cli::addDemoCommand(app, common);
  kurvo::cli::addPanelCommand(app, common);
  kurvo::cli::addViewCommand(app, common);
  kurvo::cli::addMergeCommand(app, common);
  kurvo::cli::addFarmCommand(app, common);
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == 0) return app.exit(e);  // --help and the like
    // A usage mistake is one line and status 1, like every other failure.
    std::fprintf(stderr, "kurvo: %s (see kurvo --help)\n", kurvo::cli::printable(e.what()).c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "kurvo: %s\n", e.what());
    return 1;
  }
  return kurvo::cli::exitStatus();
}
