// The calls of `kurvo view` that work on the scene beyond parameter edits:
// the current frame, dragged points and placements, undo and redo, and the
// check for a scene changed on disk.
#pragma once

#include <chrono>
#include <functional>
#include <mutex>

#include <nlohmann/json.hpp>

#include "view_session.h"

namespace httplib {
class Server;
struct Response;
}

namespace kurvo::viewer {

// Answers {"version": N} (N counts the reloads) or {"version": N, "error": text}
// for a changed file that no longer loads; reloads when a file changed.
using WatchCall = std::function<nlohmann::json()>;

// `lock` is held around every call on `session`; `watch` may be empty.
// When a request came: clock time, and the CPU time of the whole process (the
// task pool's threads included), which a loaded machine stretches less.
struct HostTime {
  HostTime();
  std::chrono::steady_clock::time_point received;
  double cpuMs;
};
// Sets the Server-Timing header: the host's part from `since` to now, as
// "host" (clock time) and "cpu" (the process's CPU time).
void setHostTime(httplib::Response& res, const HostTime& since);

void addEditRoutes(httplib::Server& server, ViewSession& session, std::mutex& lock, const WatchCall& watch);

}  // namespace kurvo::viewer
