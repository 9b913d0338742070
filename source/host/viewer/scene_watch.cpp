#include "scene_watch.h"

namespace kurvo::viewer {

SceneWatch::SceneWatch(Files files, Loader load) : files_(std::move(files)), load_(std::move(load)) {
  seen_ = stamps();
}

std::vector<SceneWatch::Stamp> SceneWatch::stamps() const {
  std::vector<Stamp> out;
  for (const auto& file : files_()) {
    Stamp s;
    s.file = file;
    std::error_code ec;
    s.time = std::filesystem::last_write_time(file, ec);
    if (!ec) s.size = std::filesystem::file_size(file, ec);
    s.exists = !ec;
    out.push_back(std::move(s));
  }
  return out;
}

void SceneWatch::acknowledge() { seen_ = stamps(); }

nlohmann::json SceneWatch::poll() {
  std::vector<Stamp> now = stamps();
  if (now != seen_) {
    seen_ = std::move(now);
    if (auto s = load_(); s) {
      ++version_;
      error_.clear();
      seen_ = stamps();  // the new scene may name other mesh files
    } else {
      error_ = s.message();
    }
  }
  nlohmann::json out = {{"version", version_}};
  if (!error_.empty()) out["error"] = error_;
  return out;
}

}  // namespace kurvo::viewer
