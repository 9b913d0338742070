#include <system_error>

#include "commands.h"

namespace kurvo::cli {

int& exitStatus() {
  static int status = 0;
  return status;
}

std::filesystem::path defaultPluginDir() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return std::filesystem::path("plugins");
  return exe.parent_path() / "plugins";
}

}  // namespace kurvo::cli
