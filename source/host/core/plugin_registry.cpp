#include "plugin_registry.h"

#include <cstring>

namespace kurvo::host {
namespace {

// Full record size of a plug-in type; 0 for a type the host does not know.
size_t recordSizeOf(int32_t type) {
  switch (type) {
    case KH_PLUGINTYPE_OBJECT: return sizeof(KhObjectPlugin);
    case KH_PLUGINTYPE_TAG: return sizeof(KhTagPlugin);
    case KH_PLUGINTYPE_SHADER: return sizeof(KhShaderPlugin);
    case KH_PLUGINTYPE_CUSTOMGUI: return sizeof(KhCustomGuiPlugin);
    default: return 0;
  }
}

// Records larger than this are refused as corrupt.
constexpr int32_t kMaxRecordSize = 1 << 16;

}  // namespace

bool PluginRegistry::add(int32_t apiVersion, int32_t type, int32_t id, std::string name,
                         const void* record, int32_t recordSize) {
  const size_t full = recordSizeOf(type);
  if (full == 0 || !record || recordSize <= 0 || recordSize > kMaxRecordSize) return false;
  if (byKey_.count({type, id})) return false;
  auto plugin = std::make_unique<RegisteredPlugin>();
  plugin->type = type;
  plugin->id = id;
  plugin->apiVersion = apiVersion;
  plugin->name = std::move(name);
  plugin->recordSize = recordSize;
  const size_t bytes = std::max(full, static_cast<size_t>(recordSize));
  plugin->storage.resize((bytes + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t));
  std::memset(plugin->storage.data(), 0, plugin->storage.size() * sizeof(std::max_align_t));
  std::memcpy(plugin->storage.data(), record, static_cast<size_t>(recordSize));
  byKey_[{type, id}] = plugin.get();
  plugins_.push_back(std::move(plugin));
  return true;
}

const RegisteredPlugin* PluginRegistry::find(int32_t type, int32_t id) const noexcept {
  auto it = byKey_.find({type, id});
  return it == byKey_.end() ? nullptr : it->second;
}

std::vector<const RegisteredPlugin*> PluginRegistry::all() const {
  std::vector<const RegisteredPlugin*> out;
  out.reserve(plugins_.size());
  for (const auto& p : plugins_) out.push_back(p.get());
  return out;
}

void PluginRegistry::clear() noexcept {
  byKey_.clear();
  plugins_.clear();
}

bool PluginRegistry::registryAdd(int32_t id, int32_t type, void* data) {
  if (registryFind(id, type)) return false;
  entries_.push_back(std::make_unique<Entry>(Entry{type, id, data}));
  return true;
}

PluginRegistry::Entry* PluginRegistry::registryFind(int32_t id, int32_t type) noexcept {
  for (auto& e : entries_)
    if (e->id == id && e->type == type) return e.get();
  return nullptr;
}

void PluginRegistry::dropModuleEntries() noexcept {
  if (entries_.size() > hostEntryCount_) entries_.resize(hostEntryCount_);
}

}  // namespace kurvo::host
