#include "executable_path.h"

#if defined(__APPLE__)
#include <mach-o/dyld.h>

#include <cstdint>
#include <vector>
#endif

namespace kurvo::host {

std::filesystem::path executablePath() {
#if defined(__APPLE__)
  uint32_t size = 0;
  _NSGetExecutablePath(nullptr, &size);
  std::vector<char> buffer(size + 1, '\0');
  if (_NSGetExecutablePath(buffer.data(), &size) != 0) return {};
  std::error_code ec;
  const std::filesystem::path resolved = std::filesystem::canonical(buffer.data(), ec);
  return ec ? std::filesystem::path(buffer.data()) : resolved;
#else
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::filesystem::path() : exe;
#endif
}

}  // namespace kurvo::host
