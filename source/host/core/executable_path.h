// Where the running program's file lives; each platform answers it in its
// own file (executable_path_posix.cpp, executable_path_windows.cpp).
#pragma once

#include <filesystem>

namespace kurvo::host {

// The running program's file, or an empty path when the system cannot say.
std::filesystem::path executablePath();

}  // namespace kurvo::host
