// The readers below take paths, as a scene hands them over: each input is
// written to a file in a folder of this process first.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

inline std::filesystem::path fuzzFolder() {
  static const std::filesystem::path folder = [] {
    auto f = std::filesystem::temp_directory_path() / ("kurvo_fuzz_" + std::to_string(::getpid()));
    std::filesystem::create_directories(f / "inside");
    return f / "inside";
  }();
  return folder;
}

inline std::filesystem::path fuzzFile(const std::string& name, const uint8_t* data, size_t size) {
  const std::filesystem::path file = fuzzFolder() / name;
  std::ofstream(file, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                                 static_cast<std::streamsize>(size));
  return file;
}

// The import library reads in a child process within limits; a fuzz run
// keeps them well inside libFuzzer's own (-rss_limit_mb=4096, -timeout=20),
// so that a runaway read ends as the tool's message, not as a fuzzer report.
// The child's coverage does not reach the fuzzer: these targets explore the
// checks made before the library parses, the isolation and what comes back.
inline void limitImportLibraryForFuzzing() {
  ::setenv("KURVO_IMPORT_MEMORY_MB", "512", 1);
  ::setenv("KURVO_IMPORT_CPU_SECONDS", "4", 1);
}
