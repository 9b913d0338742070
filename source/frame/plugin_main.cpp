// The module's one exported entry: binding to the host, start, messages and
// shut-down.
#include <cstdint>

#include "hostapi/kurvo_api.h"
#include "plugin_hooks.h"

namespace {
// System-initialisation calls not yet matched by an end call.
int32 init_count = 0;

constexpr int32 kStartRefused = -3;
constexpr int32 kUnknown = -1;
constexpr int32 kQueryAnswer = 3;

int32 InitSystem(void* table, const void* module_file) {
  const int32 before = init_count++;
  if (before != 0) return 1;
  const int32 version = InitOS(table);
  if (version < kMinHostVersion || !module_file) return kStartRefused;
  // Stays null when memory is short; the start still counts as accepted.
  path_storage = new (std::nothrow) Filename(*Filename::From(static_cast<const KhFilenameValue*>(module_file)));
  return 1;
}

int32 EndSystem() {
  // An end without a matching start is ignored rather than driving the count
  // negative, which would keep a later start from binding.
  if (init_count <= 0) return 1;
  if (--init_count != 0) return 1;
  PluginEnd();
  // Unbound means nothing stored: the resource is released and its load
  // attempt forgotten, so a later start loads it afresh.
  resource.Reset();
  delete path_storage;
  path_storage = nullptr;
  return 1;
}
}  // namespace

extern "C" KH_EXPORT int32_t KH_CALL plugin_main(int32_t action, void* p1, void* p2, void* p3) noexcept {
  try {
    switch (action) {
      case KH_ACTION_INIT_SYS:
        return InitSystem(p1, p3);
      case KH_ACTION_START:
        return PluginStart();
      case KH_ACTION_END:
        return EndSystem();
      case KH_ACTION_QUERY:
        return kQueryAnswer;
      case KH_ACTION_MESSAGE:
        return PluginMessage(static_cast<int32>(reinterpret_cast<intptr_t>(p1)), p2) ? 1 : -1;
      default:
        return kUnknown;
    }
  } catch (...) {
    return kUnknown;
  }
}
