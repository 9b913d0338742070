// The readers below take paths, as a scene hands them over: each input is
// written to a file in a folder of this process first.
#pragma once

#include <unistd.h>

#include <cstdint>
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
