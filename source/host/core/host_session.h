// One run of the headless host: the function table, the services behind it,
// the loaded modules and the documents. Only one session is current at a
// time (the table's C entries reach it through currentHost()).
//
// Start-up of a module: plugin_main action 1 (table, module file name),
// action 2, action 6 message 1 (resources), action 6 message 1000
// (registration). Each step is sent whatever the one before answered (the
// answers are kept in ModuleAnswers), except that a refused action 1 skips
// the rest. Shut-down: documents are freed, then custom GUI elements and
// objects, then each module bound by action 1 (refused or not) gets action 3,
// in reverse load order, and is unloaded.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host_state.h"
#include "kh_host_table.h"

namespace kurvo::host {

class Container;
class Document;
class Dialog;
class ModuleLibrary;

// What plugin_main answered at each start-up step (0: not called).
struct ModuleAnswers {
  int32_t initSys = 0;
  int32_t start = 0;
  int32_t initResources = 0;
  int32_t registerPlugins = 0;
};

struct LoadedModule {
  std::string name;
  std::filesystem::path file;
  std::unique_ptr<ModuleLibrary> library;  // null for an in-process entry
  KhPluginMain entry = nullptr;
  KhFilenameValue fileValue{};
  ModuleAnswers answers;
  bool bound = false;  // action 1 was sent: action 3 is owed
};

class HostSession {
 public:
  struct Options {
    int32_t version = KH_HOST_VERSION;
    bool quiet = false;  // console lines are kept but not echoed
  };

  HostSession();
  explicit HostSession(Options options);
  ~HostSession();
  HostSession(const HostSession&) = delete;
  HostSession& operator=(const HostSession&) = delete;

  // Loads and starts every <dir>/<Name>/<Name>.so (the platform's suffix). False with `error` when the
  // folder is missing; a module that fails to load is skipped and its error
  // collected in `errors()`.
  bool loadPluginFolder(const std::filesystem::path& dir, std::string& error);
  // Loads and starts one module file.
  bool loadModule(const std::filesystem::path& file, std::string& error);
  // Starts a module whose entry is linked into this program; `moduleFile` is
  // where it pretends to live (its res/ is looked for beside it).
  bool startModule(KhPluginMain entry, const std::filesystem::path& moduleFile, std::string& error);

  // Frees documents and custom GUI objects, ends and unloads every module.
  // Runs at destruction too.
  void shutdown();

  HostState& state() noexcept { return *state_; }
  Console& console() noexcept { return state_->console; }
  PluginRegistry& registry() noexcept { return state_->registry; }
  const KhHostTable& table() const noexcept { return table_; }
  const std::vector<std::unique_ptr<LoadedModule>>& modules() const noexcept { return modules_; }
  // Load problems of modules skipped by loadPluginFolder.
  const std::vector<std::string>& errors() const noexcept { return errors_; }

  // A new empty document owned by the session.
  Document& newDocument();
  // Frees a document of the session (a reloaded scene's old one).
  void closeDocument(Document& document);

  // A custom GUI element of the registered GUI `id` for `settings`: the
  // module's dialog, or null. Freed with freeCustomGui (or at shut-down).
  Dialog* createCustomGui(int32_t id, const Container* settings = nullptr);
  void freeCustomGui(Dialog* dialog);

 private:
  bool startLoaded(std::unique_ptr<LoadedModule> module, std::string& error);
  void destroyCustomGuiObjects();
  void addHostDescriptions();

  std::unique_ptr<HostState> state_;
  KhHostTable table_{};
  std::vector<std::unique_ptr<LoadedModule>> modules_;
  std::vector<std::unique_ptr<Document>> documents_;
  struct GuiElement {
    int32_t pluginId;
    Dialog* dialog;
  };
  std::vector<GuiElement> guiElements_;
  std::vector<std::string> errors_;
  bool shutDown_ = false;
};

}  // namespace kurvo::host
