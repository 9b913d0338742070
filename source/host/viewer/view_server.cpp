#include "view_server.h"

#include <httplib.h>

#include <condition_variable>
#include <fstream>
#include <sstream>
#include <thread>

#include "access.h"

namespace kurvo::viewer {
namespace {

constexpr const char* kBinary = "application/octet-stream";
constexpr size_t kMaxConnections = 256;

void answerJson(httplib::Response& res, const nlohmann::json& body, int status = 200) {
  res.status = status;
  res.set_content(body.dump(), "application/json");
}

void answerError(httplib::Response& res, const std::string& message, int status = 422) {
  answerJson(res, {{"error", message}}, status);
}

// The token: calls send it in their header; the page itself is opened with
// it in the address, from where its scripts take it. It is never put in a
// cookie, which browsers would send to every port of 127.0.0.1.
std::string requestToken(const httplib::Request& req) {
  if (req.path == "/") return req.has_param("token") ? req.get_param_value("token") : std::string();
  return req.get_header_value("X-Kurvo-Token");
}

// The page's scripts, styles and libraries: the same for everybody, so they
// are served without the token (a module script's request carries no header).
bool publicAsset(const httplib::Request& req) { return req.method == "GET" && req.path.rfind("/app/", 0) == 0; }

// Every connection gets its own thread at once, up to a cap: connections that
// send nothing, or dribble, hold only their own thread until the read timeout
// ends them, and never keep the page's requests waiting in a queue.
class ConnectionThreads : public httplib::TaskQueue {
 public:
  explicit ConnectionThreads(size_t cap) : state_(std::make_shared<State>()), cap_(cap) {}
  void enqueue(std::function<void()> fn) override {
    std::unique_lock hold(state_->lock);
    // Over the cap the accepting thread waits: each connection ends within
    // the timeouts, so a place comes free.
    state_->changed.wait(hold, [&] { return state_->running < cap_; });
    ++state_->running;
    hold.unlock();
    std::thread([state = state_, fn = std::move(fn)] {
      fn();
      std::lock_guard done(state->lock);
      --state->running;
      state->changed.notify_all();
    }).detach();
  }
  void shutdown() override {
    std::unique_lock hold(state_->lock);
    state_->changed.wait(hold, [&] { return state_->running == 0; });
  }

 private:
  struct State {
    std::mutex lock;
    std::condition_variable changed;
    size_t running = 0;
  };
  std::shared_ptr<State> state_;
  size_t cap_;
};

const char* contentType(const std::filesystem::path& file) {
  const std::string ext = file.extension().string();
  if (ext == ".html") return "text/html; charset=utf-8";
  if (ext == ".js" || ext == ".mjs") return "text/javascript; charset=utf-8";
  if (ext == ".css") return "text/css; charset=utf-8";
  if (ext == ".png") return "image/png";
  return kBinary;
}

bool readFile(const std::filesystem::path& file, std::string& out) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  out = text.str();
  return true;
}

// A JSON request body; answers 400 for anything else. Names past the cap
// are dropped while parsing (an ordered object finds its keys one by one) and
// the body is refused.
bool jsonBody(const httplib::Request& req, httplib::Response& res, nlohmann::ordered_json& out) {
  constexpr size_t kMaxNames = 4096;
  size_t names = 0;
  out = nlohmann::ordered_json::parse(
      req.body,
      [&names](int, nlohmann::ordered_json::parse_event_t event, nlohmann::ordered_json&) {
        return event != nlohmann::ordered_json::parse_event_t::key || ++names <= kMaxNames;
      },
      false);
  if (names > kMaxNames) {
    answerError(res, "the request names more than " + std::to_string(kMaxNames) + " values", 413);
    return false;
  }
  if (out.is_discarded() || !out.is_object()) {
    answerError(res, "the request body is not a JSON object", 400);
    return false;
  }
  return true;
}

bool point(const nlohmann::ordered_json& body, int32_t& x, int32_t& y) {
  if (!body.contains("x") || !body.contains("y") || !body["x"].is_number_integer() || !body["y"].is_number_integer())
    return false;
  x = body["x"].get<int32_t>();
  y = body["y"].get<int32_t>();
  return true;
}

uint64_t objectParam(const httplib::Request& req) {
  try {
    return req.has_param("object") ? std::stoull(req.get_param_value("object")) : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

}  // namespace

ViewServer::ViewServer(ViewSession& session, std::filesystem::path assets)
    : session_(session), assets_(std::move(assets)), server_(std::make_unique<httplib::Server>()),
      token_(newToken()) {
  // The scene itself takes one request at a time (lock_); the threads are for
  // the page's overlapping requests and for outlasting idle connections.
  server_->new_task_queue = [] { return new ConnectionThreads(kMaxConnections); };
  server_->set_payload_max_length(16u << 20);
  // A connection that sends nothing for this long is closed: idle ones, and
  // slow ones between their bytes. Browsers open a new one when they need it.
  server_->set_read_timeout(2, 0);
  server_->set_write_timeout(5, 0);
  server_->set_keep_alive_timeout(2);
  server_->set_keep_alive_max_count(1000);
  // The library's default also sets SO_REUSEPORT, with which a second viewer
  // would share the port and take over part of the first one's requests.
  server_->set_socket_options([](socket_t sock) {
    int yes = 1;
    setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  routes();
}

ViewServer::~ViewServer() = default;

kurvo::media::Status ViewServer::bind(int port) {
  if (port == 0) {
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) return kurvo::media::Status::failure("could not listen on 127.0.0.1");
  } else {
    if (!server_->bind_to_port("127.0.0.1", port))
      return kurvo::media::Status::failure("127.0.0.1:" + std::to_string(port) +
                                           " is taken (is another kurvo view running?); choose another with --port");
    port_ = port;
  }
  access_ = std::make_unique<Access>(token_, port_);
  return kurvo::media::Status::success();
}

std::string ViewServer::address() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/?token=" + token_;
}

void ViewServer::run() {
  if (!stopRequested_) server_->listen_after_bind();
}

void ViewServer::stop() {
  // A stop that comes before run() must still keep run() from serving.
  stopRequested_ = true;
  server_->stop();
}

void ViewServer::routes() {
  httplib::Server& s = *server_;
  s.set_pre_routing_handler([this](const httplib::Request& req, httplib::Response& res) {
    const AccessRequest request{req.get_header_value("Host"), req.get_header_value("Origin"), requestToken(req)};
    std::string refusal = access_->refusal(request);
    if (publicAsset(req) && refusal.rfind("no access token", 0) == 0) refusal.clear();
    if (refusal.empty()) return httplib::Server::HandlerResponse::Unhandled;
    res.status = 403;
    res.set_content("kurvo view: " + refusal + "\n", "text/plain");
    return httplib::Server::HandlerResponse::Handled;
  });
  s.set_post_routing_handler([](const httplib::Request&, httplib::Response& res) {
    res.set_header("Cache-Control", "no-store");
    res.set_header("X-Content-Type-Options", "nosniff");
    // The page's address holds the token: it goes to no other site.
    res.set_header("Referrer-Policy", "no-referrer");
  });

  s.Get("/", [this](const httplib::Request&, httplib::Response& res) {
    std::string page;
    if (!readFile(assets_ / "index.html", page)) return answerError(res, "the page is missing from " + assets_.string(), 500);
    res.set_content(page, contentType("index.html"));
  });
  s.Get(R"(/app/([A-Za-z0-9_./-]+))", [this](const httplib::Request& req, httplib::Response& res) {
    // Only files that lie in the page's folder once every link is followed.
    const std::filesystem::path file = fileInside(assets_, req.matches[1]);
    std::string body;
    if (file.empty() || !readFile(file, body)) return answerError(res, "no such file", 404);
    res.set_content(body, contentType(file));
  });

  s.Get("/api/scene", [this](const httplib::Request& req, httplib::Response& res) {
    int32_t w = 1280, h = 720;
    try {
      if (req.has_param("w")) w = std::clamp(std::stoi(req.get_param_value("w")), 16, 16384);
      if (req.has_param("h")) h = std::clamp(std::stoi(req.get_param_value("h")), 16, 16384);
    } catch (const std::exception&) {
      return answerError(res, "w and h are whole pixels", 400);
    }
    std::lock_guard guard(lock_);
    answerJson(res, session_.sceneInfo(w, h));
  });
  s.Get("/api/geometry", [this](const httplib::Request&, httplib::Response& res) {
    std::lock_guard guard(lock_);
    res.set_content(session_.geometry(true), kBinary);
  });
  s.Post("/api/edit", [this](const httplib::Request& req, httplib::Response& res) {
    const HostTime received;
    nlohmann::ordered_json body;
    if (!jsonBody(req, res, body)) return;
    if (!body.contains("object") || !body["object"].is_number_unsigned() || !body.contains("params"))
      return answerError(res, "an edit is {\"object\": id, \"params\": {...}}", 400);
    std::lock_guard guard(lock_);
    EditAnswer answer = session_.edit(body["object"].get<uint64_t>(), body["params"]);
    if (!answer.error.empty()) return answerError(res, answer.error);
    res.set_content(std::move(answer.geometry), kBinary);
    setHostTime(res, received);
  });
  s.Get("/api/panel", [this](const httplib::Request& req, httplib::Response& res) {
    std::lock_guard guard(lock_);
    auto panel = req.has_param("object") ? session_.panel(objectParam(req))
                                         : kurvo::media::Result<nlohmann::json>(session_.panelRows());
    if (!panel) return answerError(res, panel.message());
    answerJson(res, panel.value());
  });
  s.Get("/api/panel/element", [this](const httplib::Request& req, httplib::Response& res) {
    size_t index = 0;
    try {
      index = req.has_param("index") ? std::stoul(req.get_param_value("index")) : 0;
    } catch (const std::exception&) {
      return answerError(res, "index is a whole number", 400);
    }
    std::lock_guard guard(lock_);
    std::string pixels = session_.elementPixels(index);
    if (pixels.empty()) return answerError(res, "the panel has no element " + std::to_string(index), 404);
    res.set_content(std::move(pixels), kBinary);
  });
  s.Post("/api/panel/pointer", [this](const httplib::Request& req, httplib::Response& res) {
    nlohmann::ordered_json body;
    if (!jsonBody(req, res, body)) return;
    int32_t x = -1, y = -1;
    if (!point(body, x, y)) return answerError(res, "a pointer is {\"x\": X, \"y\": Y} in panel pixels", 400);
    std::lock_guard guard(lock_);
    session_.pointer(x, y);
    answerJson(res, nlohmann::json::object());
  });
  s.Post("/api/panel/click", [this](const httplib::Request& req, httplib::Response& res) {
    nlohmann::ordered_json body;
    if (!jsonBody(req, res, body)) return;
    int32_t x = -1, y = -1;
    if (!point(body, x, y)) return answerError(res, "a click is {\"x\": X, \"y\": Y} in panel pixels", 400);
    std::lock_guard guard(lock_);
    const std::string open = session_.click(x, y);
    answerJson(res, open.empty() ? nlohmann::json::object() : nlohmann::json{{"open", open}});
  });
  s.Post("/api/panel/tick", [this](const httplib::Request& req, httplib::Response& res) {
    nlohmann::ordered_json body;
    if (!jsonBody(req, res, body)) return;
    if (!body.contains("ms") || !body["ms"].is_number_integer())
      return answerError(res, "a tick is {\"ms\": milliseconds}", 400);
    std::lock_guard guard(lock_);
    // A page that was away long (a hidden tab) must not run the timers for minutes.
    session_.tick(std::clamp(body["ms"].get<int32_t>(), 0, 1000));
    answerJson(res, nlohmann::json::object());
  });
  s.Post("/api/save", [this](const httplib::Request& req, httplib::Response& res) {
    nlohmann::ordered_json body;
    if (!jsonBody(req, res, body)) return;
    std::lock_guard guard(lock_);
    std::filesystem::path file = session_.sceneFile();
    if (body.contains("file")) {
      if (!body["file"].is_string() || body["file"].get<std::string>().empty())
        return answerError(res, "save: \"file\" is the name of the file to write", 400);
      file = std::filesystem::u8path(body["file"].get<std::string>());
    }
    const kurvo::media::Status saved = session_.save(file);
    if (!saved) return answerError(res, saved.message());
    answerJson(res, {{"saved", file.string()}});
  });
  addEditRoutes(s, session_, lock_, watch_);
}

}  // namespace kurvo::viewer
