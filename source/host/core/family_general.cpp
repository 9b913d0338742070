// General services: memory, console, registration, registry, modelling.
#include "boundary.h"
#include "families.h"
#include "host_state.h"
#include "memory.h"
#include "modeling.h"
#include "text_value.h"

namespace kurvo::host {
namespace {

void* KH_CALL alloc(int64_t size, int32_t, const char*) { return Memory::alloc(size); }
void KH_CALL release(void* block) { Memory::release(block); }

void KH_CALL print(const KhStringValue* text) {
  guardedVoid([&] {
    if (HostState* host = currentHost()) host->console.print(textOf(text));
  });
}

// A headless host has no browser: the address becomes one console line.
void KH_CALL openHtml(const KhStringValue* address) {
  guardedVoid([&] {
    if (HostState* host = currentHost()) host->console.print("Open HTML: " + textOf(address));
  });
}

int32_t KH_CALL registerPlugin(int32_t apiVersion, int32_t type, int32_t id,
                               const KhStringValue* name, const void* record, int32_t recordSize) {
  return guarded<int32_t>(0, [&] {
    HostState* host = currentHost();
    return host && host->registry.add(apiVersion, type, id, textOf(name), record, recordSize) ? 1 : 0;
  });
}

int32_t KH_CALL registryAdd(int32_t id, int32_t type, void* data) {
  return guarded<int32_t>(0, [&] {
    HostState* host = currentHost();
    return host && data && host->registry.registryAdd(id, type, data) ? 1 : 0;
  });
}

KhRegistry* KH_CALL registryFind(int32_t id, int32_t type) {
  HostState* host = currentHost();
  return host ? reinterpret_cast<KhRegistry*>(host->registry.registryFind(id, type)) : nullptr;
}

void* KH_CALL registryGetData(KhRegistry* entry) {
  return entry ? reinterpret_cast<PluginRegistry::Entry*>(entry)->data : nullptr;
}

const void* KH_CALL findPlugin(int32_t id, int32_t type) {
  HostState* host = currentHost();
  const RegisteredPlugin* p = host ? host->registry.find(type, id) : nullptr;
  return p ? p->record() : nullptr;
}

int32_t KH_CALL sendModelingCommand(int32_t command, KhModelingCommandData* data) {
  return guarded<int32_t>(0, [&] { return data && runModelingCommand(command, data) ? 1 : 0; });
}

// Commands here change objects in place and produce no result list.
void KH_CALL freeModelingResult(void*) {}

}  // namespace

const KhGeneralFamily* generalFamily() noexcept {
  static const KhGeneralFamily family = [] {
    KhGeneralFamily f{};
    f.alloc = alloc;
    f.free = release;
    f.print = print;
    f.open_html = openHtml;
    f.register_plugin = registerPlugin;
    f.registry_add = registryAdd;
    f.registry_find = registryFind;
    f.registry_get_data = registryGetData;
    f.find_plugin = findPlugin;
    f.send_modeling_command = sendModelingCommand;
    f.free_modeling_result = freeModelingResult;
    return f;
  }();
  return &family;
}

}  // namespace kurvo::host
