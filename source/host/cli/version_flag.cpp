// kurvo --version: the tool's version, how it was built, and whether the
// module it loads by default is where it looks for it.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <string>
#include <system_error>

#include "commands.h"
#include "core/module_library.h"

namespace kurvo::cli {
namespace {

#ifndef KURVO_VERSION
#define KURVO_VERSION "unknown"
#endif
#ifndef KURVO_BUILD_TYPE
#define KURVO_BUILD_TYPE "unknown"
#endif

constexpr const char* kModuleName = "Kurvo2";

void printVersion() {
  std::printf("kurvo %s\n", KURVO_VERSION);
  std::printf("build: %s, %s\n", KURVO_BUILD_TYPE,
#if defined(__clang__)
              "clang " __clang_version__
#elif defined(__GNUC__)
              "gcc " __VERSION__
#elif defined(_MSC_VER)
              "msvc"
#else
              "unknown compiler"
#endif
  );
  const std::filesystem::path module =
      defaultPluginDir() / kModuleName / (std::string(kModuleName) + kurvo::host::kModuleSuffix);
  std::error_code ec;
  const bool found = std::filesystem::is_regular_file(module, ec);
  std::printf("module: %s (%s)\n", module.string().c_str(), found ? "found" : "not found");
}

}  // namespace

void addVersionFlag(CLI::App& app) {
  app.add_flag_callback(
         "--version",
         [] {
           printVersion();
           throw CLI::Success();
         },
         "Print the version, the build and where the module is looked for, then stop")
      ->trigger_on_parse();
}

}  // namespace kurvo::cli
