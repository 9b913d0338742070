// A loaded shared library. One small interface; each platform implements it
// in its own file: module_library_posix.cpp with dlopen,
// module_library_windows.cpp with LoadLibrary.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace kurvo::host {

// File name ending of a module on this platform.
#if defined(_WIN64)
inline constexpr const char* kModuleSuffix = ".cdl64";
#elif defined(_WIN32)
inline constexpr const char* kModuleSuffix = ".cdl";
#elif defined(__APPLE__)
inline constexpr const char* kModuleSuffix = ".dylib";
#else
inline constexpr const char* kModuleSuffix = ".so";
#endif

// True when `file` is a regular file; otherwise false with `error` naming it.
// Both loaders check this first, so a missing module reads the same on every
// platform.
inline bool isLibraryFile(const std::filesystem::path& file, std::string& error) {
  std::error_code ec;
  if (std::filesystem::is_regular_file(file, ec)) return true;
  error = file.string() + ": no such library file";
  return false;
}

class ModuleLibrary {
 public:
  virtual ~ModuleLibrary() = default;  // unloads the library
  // The address of an exported symbol, or null.
  virtual void* symbol(const char* name) const noexcept = 0;
  virtual const std::filesystem::path& path() const noexcept = 0;

  // Loads `file`; null with `error` naming the file and the reason.
  static std::unique_ptr<ModuleLibrary> open(const std::filesystem::path& file, std::string& error);
};

}  // namespace kurvo::host
