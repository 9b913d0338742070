// dlopen-based ModuleLibrary.
#include <dlfcn.h>

#include "module_library.h"

#if !defined(__APPLE__)
#include "elf_check.h"
#endif

namespace kurvo::host {
namespace {

class PosixLibrary final : public ModuleLibrary {
 public:
  PosixLibrary(void* handle, std::filesystem::path path) : handle_(handle), path_(std::move(path)) {}
  ~PosixLibrary() override { dlclose(handle_); }
  void* symbol(const char* name) const noexcept override { return dlsym(handle_, name); }
  const std::filesystem::path& path() const noexcept override { return path_; }

 private:
  void* handle_;
  std::filesystem::path path_;
};

}  // namespace

std::unique_ptr<ModuleLibrary> ModuleLibrary::open(const std::filesystem::path& file, std::string& error) {
  if (!isLibraryFile(file, error)) return nullptr;
#if !defined(__APPLE__)
  if (std::string problem = elfFileProblem(file); !problem.empty()) {
    error = file.string() + ": cannot be loaded: " + problem;
    return nullptr;
  }
#endif
  // RTLD_LOCAL keeps each module's symbols to itself.
  void* handle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    error = file.string() + ": cannot be loaded: " + (why ? why : "unknown reason");
    return nullptr;
  }
  return std::make_unique<PosixLibrary>(handle, file);
}

}  // namespace kurvo::host
