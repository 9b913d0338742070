#include <system_error>

#include "commands.h"
#include "core/executable_path.h"

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

}  // namespace kurvo::cli
