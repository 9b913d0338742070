// Noticing that the scene file, or a mesh file it names, changed on disk:
// each check compares the files' sizes and modification times with those of
// the last check and, when one differs, reloads. A file that fails to load is
// not tried again until it changes again; its message stays until then.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "result.h"

namespace kurvo::viewer {

class SceneWatch {
 public:
  using Files = std::function<std::vector<std::filesystem::path>()>;
  // Loads the files again; on failure leaves the scene as it was.
  using Loader = std::function<kurvo::media::Status()>;

  SceneWatch(Files files, Loader load);

  // {"version": reloads so far} and, while the files do not load, "error".
  nlohmann::json poll();
  // Takes the files as they now are as seen (after the viewer wrote one).
  void acknowledge();

 private:
  struct Stamp {
    std::filesystem::path file;
    std::uintmax_t size = 0;
    std::filesystem::file_time_type time{};
    bool exists = false;
    bool operator==(const Stamp&) const = default;
  };
  std::vector<Stamp> stamps() const;

  Files files_;
  Loader load_;
  std::vector<Stamp> seen_;
  int version_ = 0;
  std::string error_;
};

}  // namespace kurvo::viewer
