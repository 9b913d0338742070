// The HTTP side of `kurvo view`: the page and its scripts from the assets
// folder, and the calls the page makes on the scene (view_session.h), on
// 127.0.0.1 only and for holders of the session's token only (access.h).
#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

#include "edit_routes.h"
#include "result.h"
#include "view_session.h"

namespace httplib {
class Server;
}

namespace kurvo::viewer {

class Access;

class ViewServer {
 public:
  // `assets`: the folder holding index.html and the page's scripts.
  ViewServer(ViewSession& session, std::filesystem::path assets);
  ~ViewServer();

  // Takes `port` on 127.0.0.1 (0: any free port); fails with a message when
  // the port is taken.
  kurvo::media::Status bind(int port);
  int port() const noexcept { return port_; }
  // The page's address with the token.
  std::string address() const;
  // Serves until stop() (from any thread).
  void run();
  void stop();
  // What the page's check for a changed scene file calls (under the scene's lock).
  void setWatch(WatchCall watch) { watch_ = std::move(watch); }

 private:
  void routes();

  ViewSession& session_;
  std::mutex lock_;  // one request at a time on the scene
  std::filesystem::path assets_;
  std::unique_ptr<httplib::Server> server_;
  std::unique_ptr<Access> access_;
  std::string token_;
  int port_ = 0;
  std::atomic<bool> stopRequested_{false};
  WatchCall watch_;
};

}  // namespace kurvo::viewer
