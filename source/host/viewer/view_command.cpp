// kurvo view SCENE [--port N]: the scene live in a web browser. Serves one
// page on 127.0.0.1 with a random access token and runs until Ctrl-C.
#include <CLI/CLI.hpp>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <thread>

#include <pthread.h>

#include "cli/commands.h"
#include "cli/scene_tasks.h"
#include "core/executable_path.h"
#include "scene_watch.h"
#include "view_server.h"

namespace kurvo::cli {
namespace {

struct ViewOptions {
  std::string scene;
  std::string pluginDir;
  std::string saveDir;  // where saves and exports may also write
  int port = 7420;
};

// The page and its scripts: web/viewer beside the executable.
std::filesystem::path assetFolder() {
  const std::filesystem::path exe = kurvo::host::executablePath();
  return (exe.empty() ? std::filesystem::path(".") : exe.parent_path()) / "web" / "viewer";
}

// Stops the server on SIGINT or SIGTERM. The signals are blocked in every
// thread and taken here with sigtimedwait, so stopping runs as ordinary code
// and not inside a signal handler.
class StopOnSignal {
 public:
  explicit StopOnSignal(kurvo::viewer::ViewServer& server) {
    sigemptyset(&signals_);
    sigaddset(&signals_, SIGINT);
    sigaddset(&signals_, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
    watcher_ = std::thread([this, &server] {
      const timespec wait{0, 200'000'000};
      while (!done_) {
        if (sigtimedwait(&signals_, nullptr, &wait) > 0) {
          server.stop();
          return;
        }
      }
    });
  }
  ~StopOnSignal() {
    done_ = true;
    watcher_.join();
    pthread_sigmask(SIG_UNBLOCK, &signals_, nullptr);
  }

 private:
  sigset_t signals_;
  std::atomic<bool> done_{false};
  std::thread watcher_;
};

int runView(const ViewOptions& options, const CommonOptions& common) {
  const std::filesystem::path assets = assetFolder();
  if (!std::filesystem::exists(assets / "index.html"))
    return reportFailure(assets.string() + ": the viewer page is missing (built without npm?)");
  if (!options.saveDir.empty() && !std::filesystem::is_directory(options.saveDir))
    return reportFailure("--save-dir " + options.saveDir + ": no such folder");
  SceneRun run;
  if (auto s = startSession(options.pluginDir, common.quiet, run); !s) return reportFailure(s.message());
  if (auto s = loadAndEvaluate(run, options.scene, true); !s) return reportFailure(s.message());

  std::unique_ptr<kurvo::viewer::SceneWatch> watch;
  kurvo::viewer::ViewSession session(*run.session, *run.document, run.scene,
                                     [&run](const std::filesystem::path& out) -> kurvo::media::Status {
                                       std::string problem;
                                       if (!isKnownOutput(out, problem)) return kurvo::media::Status::failure(problem);
                                       return writeResult(run, out);
                                     });
  watch = std::make_unique<kurvo::viewer::SceneWatch>(
      [&run] {
        std::vector<std::filesystem::path> files{run.scene.file};
        for (const auto& [serial, source] : run.scene.sources)
          if (!source.meshFile.empty()) files.push_back(source.meshFile);
        return files;
      },
      [&run, &session]() -> kurvo::media::Status {
        // Loaded into a document of its own: one that fails leaves the shown scene alone.
        kurvo::host::Document& fresh = run.session->newDocument();
        kurvo::scenefile::LoadOptions load;
        load.limits = run.limits;
        auto loaded = kurvo::scenefile::loadScene(run.scene.file, fresh, run.session->state(), load);
        if (!loaded) {
          run.session->closeDocument(fresh);
          return loaded.status();
        }
        kurvo::host::Document* old = run.document;
        run.scene = std::move(loaded.value());
        run.document = &fresh;
        session.replaceDocument(fresh);
        run.session->closeDocument(*old);
        return kurvo::media::Status::success();
      });
  if (!options.saveDir.empty()) session.allowWritesIn(options.saveDir);
  session.onSaved([&watch] {
    if (watch) watch->acknowledge();
  });
  kurvo::viewer::ViewServer server(session, assets);
  server.setWatch([&watch] { return watch->poll(); });
  // Signals are taken from before the address is printed (whoever reads it
  // may stop the tool at once) and the server's workers, started by run(),
  // inherit the blocked mask.
  StopOnSignal stopper(server);
  if (auto s = server.bind(options.port); !s) return reportFailure(s.message());
  std::printf("kurvo view: %s at %s\n", options.scene.c_str(), server.address().c_str());
  std::printf("Open that address in a browser on this machine; Ctrl-C stops.\n");
  std::fflush(stdout);
  server.run();
  if (!common.quiet) std::printf("kurvo view: stopped\n");
  return 0;
}

}  // namespace

void addViewCommand(CLI::App& app, CommonOptions& common) {
  auto options = std::make_shared<ViewOptions>();
  CLI::App* cmd = app.add_subcommand("view", "Show a scene live in a web browser and edit its parameters");
  cmd->add_option("scene", options->scene, "Scene file (.json)")->required();
  cmd->add_option("--port", options->port, "Port on 127.0.0.1 (0: any free port)")->check(CLI::Range(0, 65535));
  cmd->add_option("--plugins", options->pluginDir,
                  "Plug-in folder holding <Name>/<Name>.so (default: plugins beside kurvo)");
  cmd->add_option("--save-dir", options->saveDir,
                  "A folder Save and Export may write to besides the scene's own (default: only the scene's folder)");
  cmd->add_flag("-q,--quiet", common.quiet, "No console echo");
  addThreadsOption(*cmd);
  cmd->callback([options, &common] { exitStatus() = runView(*options, common); });
}

}  // namespace kurvo::cli
