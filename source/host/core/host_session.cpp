#include "host_session.h"

#include <algorithm>
#include <stdexcept>

#include "data_value.h"
#include "families.h"
#include "gui.h"
#include "host_libraries.h"
#include "memory.h"
#include "module_library.h"
#include "scene/array.h"
#include "scene/document.h"
#include "text_value.h"
#include "utf8_path.h"

namespace kurvo::host {
namespace {

void* asPointer(intptr_t v) { return reinterpret_cast<void*>(v); }

}  // namespace

HostSession::HostSession() : HostSession(Options{}) {}

HostSession::HostSession(Options options) : state_(std::make_unique<HostState>()) {
  if (currentHost()) throw std::logic_error("another host session is running");
  table_ = makeHostTable(options.version);
  state_->console.setQuiet(options.quiet);
  installHostLibraries(state_->registry);
  state_->registry.markHostEntries();
  addHostDescriptions();
  setCurrentHost(state_.get());
}

// The host's own object types with a panel: the array.
void HostSession::addHostDescriptions() { state_->descriptions[kTypeArray] = arrayDescription(); }

HostSession::~HostSession() {
  shutdown();
  setCurrentHost(nullptr);
}

bool HostSession::loadPluginFolder(const std::filesystem::path& dir, std::string& error) {
  std::error_code ec;
  if (!std::filesystem::is_directory(dir, ec)) {
    error = dir.string() + ": plug-in folder missing";
    return false;
  }
  std::vector<std::filesystem::path> files;
  std::error_code listError;
  for (const auto& entry : std::filesystem::directory_iterator(dir, listError)) {
    std::error_code probe;
    if (!entry.is_directory(probe)) continue;
    const std::string name = entry.path().filename().string();
    const std::filesystem::path file = entry.path() / (name + kModuleSuffix);
    if (std::filesystem::is_regular_file(file, probe)) files.push_back(file);
  }
  if (listError) {
    error = dir.string() + ": cannot be read: " + listError.message();
    return false;
  }
  std::sort(files.begin(), files.end());  // a stable order for the console
  for (const auto& file : files) {
    std::string moduleError;
    if (!loadModule(file, moduleError)) errors_.push_back(moduleError);
  }
  return true;
}

bool HostSession::loadModule(const std::filesystem::path& file, std::string& error) {
  auto module = std::make_unique<LoadedModule>();
  module->library = ModuleLibrary::open(file, error);
  if (!module->library) return false;
  module->entry = reinterpret_cast<KhPluginMain>(module->library->symbol(KH_PLUGIN_MAIN_NAME));
  if (!module->entry) {
    error = file.string() + ": no " KH_PLUGIN_MAIN_NAME " entry";
    return false;
  }
  module->file = file;
  module->name = file.stem().string();
  return startLoaded(std::move(module), error);
}

bool HostSession::startModule(KhPluginMain entry, const std::filesystem::path& moduleFile,
                              std::string& error) {
  if (!entry) {
    error = moduleFile.string() + ": no entry function";
    return false;
  }
  auto module = std::make_unique<LoadedModule>();
  module->entry = entry;
  module->file = moduleFile;
  module->name = moduleFile.stem().string();
  return startLoaded(std::move(module), error);
}

bool HostSession::startLoaded(std::unique_ptr<LoadedModule> module, std::string& error) {
  if (shutDown_) {
    error = module->file.string() + ": the session has ended";
    return false;
  }
  LoadedModule& m = *module;
  modules_.push_back(std::move(module));
  initText(&m.fileValue, utf8FromPath(m.file));
  m.bound = true;
  m.answers.initSys = m.entry(KH_ACTION_INIT_SYS, &table_, nullptr, &m.fileValue);
  if (m.answers.initSys != 1) {
    error = m.file.string() + ": refused to start (answer " + std::to_string(m.answers.initSys) +
            " to system initialisation)";
    return false;
  }
  m.answers.start = m.entry(KH_ACTION_START, nullptr, nullptr, nullptr);
  m.answers.initResources = m.entry(KH_ACTION_MESSAGE, asPointer(KH_MSG_INIT_RESOURCES), nullptr, nullptr);
  m.answers.registerPlugins = m.entry(KH_ACTION_MESSAGE, asPointer(KH_MSG_REGISTER), nullptr, nullptr);
  return true;
}

Document& HostSession::newDocument() {
  documents_.push_back(std::make_unique<Document>());
  return *documents_.back();
}

void HostSession::closeDocument(Document& document) {
  std::erase_if(documents_, [&](const std::unique_ptr<Document>& d) { return d.get() == &document; });
}

Dialog* HostSession::createCustomGui(int32_t id, const Container* settings) {
  const RegisteredPlugin* p = state_->registry.find(KH_PLUGINTYPE_CUSTOMGUI, id);
  if (!p) return nullptr;
  const auto* record = p->as<KhCustomGuiPlugin>();
  if (!record->alloc) return nullptr;
  Container empty;
  const Container& s = settings ? *settings : empty;
  Dialog* dialog = dialogFrom(record->alloc(record->data, &s.self));
  if (dialog) guiElements_.push_back({id, dialog});
  return dialog;
}

void HostSession::freeCustomGui(Dialog* dialog) {
  auto it = std::find_if(guiElements_.begin(), guiElements_.end(),
                         [&](const GuiElement& e) { return e.dialog == dialog; });
  if (it == guiElements_.end()) return;
  const int32_t id = it->pluginId;
  guiElements_.erase(it);
  const RegisteredPlugin* p = state_->registry.find(KH_PLUGINTYPE_CUSTOMGUI, id);
  if (!p) return;
  const auto* record = p->as<KhCustomGuiPlugin>();
  if (record->free && dialogFrom(dialog->handle()))
    record->free(record->data, dialog->handle(), dialog->userObject);
}

void HostSession::destroyCustomGuiObjects() {
  while (!guiElements_.empty()) freeCustomGui(guiElements_.back().dialog);
  for (const RegisteredPlugin* p : state_->registry.all()) {
    if (p->type != KH_PLUGINTYPE_CUSTOMGUI) continue;
    const auto* record = p->as<KhCustomGuiPlugin>();
    if (!record->data) continue;
    if (record->destructor) record->destructor(record->data);
    Memory::release(record->data);
  }
}

void HostSession::shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  documents_.clear();
  destroyCustomGuiObjects();
  for (auto it = modules_.rbegin(); it != modules_.rend(); ++it) {
    LoadedModule& m = **it;
    if (m.bound) m.entry(KH_ACTION_END, nullptr, nullptr, nullptr);
    m.bound = false;
  }
  // Records and libraries point into the modules: drop them before unloading.
  state_->registry.clear();
  state_->registry.dropModuleEntries();
  state_->descriptions.clear();
  state_->icons.clear();
  for (auto it = modules_.rbegin(); it != modules_.rend(); ++it) {
    freeText(&(*it)->fileValue);
    (*it)->library.reset();
  }
}

}  // namespace kurvo::host
