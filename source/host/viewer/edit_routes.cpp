#include "edit_routes.h"

#include <httplib.h>

#include <chrono>
#include <ctime>

namespace kurvo::viewer {
namespace {

void answerJson(httplib::Response& res, const nlohmann::json& body, int status = 200) {
  res.status = status;
  res.set_content(body.dump(), "application/json");
}

using Clock = std::chrono::steady_clock;

}  // namespace

double processCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

HostTime::HostTime() : received(std::chrono::steady_clock::now()), cpuMs(processCpuMs()) {}

void setHostTime(httplib::Response& res, const HostTime& since) {
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - since.received).count();
  res.set_header("Server-Timing",
                 "host;dur=" + std::to_string(ms) + ", cpu;dur=" + std::to_string(processCpuMs() - since.cpuMs));
}

namespace {

// The geometry an edit changed, with the host's time from the request to
// the answer as Server-Timing.
void answer(httplib::Response& res, EditAnswer&& a, const HostTime& received) {
  if (!a.error.empty()) return answerJson(res, {{"error", a.error}}, 422);
  res.set_content(std::move(a.geometry), "application/octet-stream");
  setHostTime(res, received);
}

bool body(const httplib::Request& req, httplib::Response& res, nlohmann::json& out) {
  out = nlohmann::json::parse(req.body, nullptr, false);
  if (out.is_discarded() || !out.is_object()) {
    answerJson(res, {{"error", "the request body is not a JSON object"}}, 400);
    return false;
  }
  return true;
}

}  // namespace

void addEditRoutes(httplib::Server& s, ViewSession& session, std::mutex& lock, const WatchCall& watch) {
  s.Get("/api/time", [&](const httplib::Request&, httplib::Response& res) {
    std::lock_guard guard(lock);
    answerJson(res, session.timeState());
  });
  s.Post("/api/frame", [&](const httplib::Request& req, httplib::Response& res) {
    const HostTime received;
    nlohmann::json b;
    if (!body(req, res, b)) return;
    if (!b.contains("frame") || !b["frame"].is_number())
      return answerJson(res, {{"error", "a frame is {\"frame\": F}"}}, 400);
    std::lock_guard guard(lock);
    answer(res, session.setFrame(b["frame"].get<double>()), received);
  });
  s.Get("/api/shape", [&](const httplib::Request& req, httplib::Response& res) {
    uint64_t id = 0;
    try {
      id = req.has_param("object") ? std::stoull(req.get_param_value("object")) : 0;
    } catch (const std::exception&) {
    }
    std::lock_guard guard(lock);
    auto shape = session.objectShape(id);
    if (!shape) return answerJson(res, {{"error", shape.message()}}, 422);
    answerJson(res, shape.value());
  });
  s.Post("/api/shape", [&](const httplib::Request& req, httplib::Response& res) {
    const HostTime received;
    nlohmann::json b;
    if (!body(req, res, b)) return;
    if (!b.contains("object") || !b["object"].is_number_unsigned())
      return answerJson(res, {{"error", "a shape edit is {\"object\": id, \"points\" | \"position\"...}"}}, 400);
    std::lock_guard guard(lock);
    answer(res, session.setShape(b["object"].get<uint64_t>(), b), received);
  });
  s.Post("/api/undo", [&](const httplib::Request&, httplib::Response& res) {
    const HostTime received;
    std::lock_guard guard(lock);
    answer(res, session.undo(), received);
  });
  s.Post("/api/redo", [&](const httplib::Request&, httplib::Response& res) {
    const HostTime received;
    std::lock_guard guard(lock);
    answer(res, session.redo(), received);
  });
  s.Get("/api/watch", [&](const httplib::Request&, httplib::Response& res) {
    std::lock_guard guard(lock);
    answerJson(res, watch ? watch() : nlohmann::json{{"version", 0}});
  });
}

}  // namespace kurvo::viewer
