// LoadLibrary-based ModuleLibrary.
#define WIN32_LEAN_AND_MEAN
#define NOMINMAX
#include <windows.h>

#include "module_library.h"

namespace kurvo::host {
namespace {

class WindowsLibrary final : public ModuleLibrary {
 public:
  WindowsLibrary(HMODULE handle, std::filesystem::path path) : handle_(handle), path_(std::move(path)) {}
  ~WindowsLibrary() override { FreeLibrary(handle_); }
  void* symbol(const char* name) const noexcept override {
    return reinterpret_cast<void*>(GetProcAddress(handle_, name));
  }
  const std::filesystem::path& path() const noexcept override { return path_; }

 private:
  HMODULE handle_;
  std::filesystem::path path_;
};

// The system's message for an error code, without its line break.
std::string describe(DWORD code) {
  char* text = nullptr;
  const DWORD n = FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string why = n && text ? std::string(text, n) : "error " + std::to_string(code);
  if (text) LocalFree(text);
  while (!why.empty() && (why.back() == '\n' || why.back() == '\r' || why.back() == ' ')) why.pop_back();
  return why;
}

}  // namespace

std::unique_ptr<ModuleLibrary> ModuleLibrary::open(const std::filesystem::path& file, std::string& error) {
  if (!isLibraryFile(file, error)) return nullptr;
  // The wide-character call, so that any file name loads. The module's own
  // folder joins the search for its dependencies, and no error box appears
  // for a file that is not a library.
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(file, ec);
  const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  HMODULE handle = LoadLibraryExW((ec ? file : absolute).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  const DWORD code = handle ? 0 : GetLastError();
  SetErrorMode(oldMode);
  if (!handle) {
    error = file.string() + ": cannot be loaded: " + describe(code);
    return nullptr;
  }
  return std::make_unique<WindowsLibrary>(handle, file);
}

}  // namespace kurvo::host
