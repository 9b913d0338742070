#include <string>
#include <system_error>

#include "commands.h"
#include "core/executable_path.h"
#include "core/module_library.h"

namespace kurvo::cli {

int& exitStatus() {
  static int status = 0;
  return status;
}

std::filesystem::path defaultPluginDir() {
  const std::filesystem::path exe = kurvo::host::executablePath();
  if (exe.empty()) return std::filesystem::path("plugins");
  return exe.parent_path() / "plugins";
}

std::string noPluginFound(const std::filesystem::path& dir) {
  return "no plug-in was found in " + dir.string() + " (a plug-in is " + (dir / "<Name>" / "<Name>").string() +
         kurvo::host::kModuleSuffix + "; give the folder with --plugins)";
}

}  // namespace kurvo::cli
