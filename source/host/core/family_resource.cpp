// Local resources: a module's res/ directory.
#include "boundary.h"
#include "families.h"
#include "host_state.h"
#include "memory.h"
#include "resource.h"
#include "utf8_path.h"

namespace kurvo::host {
namespace {

KhResource* KH_CALL load(const KhFilenameValue* dir) {
  return guarded<KhResource*>(nullptr, [&]() -> KhResource* {
    if (!Memory::admit()) return nullptr;
    std::string error;
    auto res = Resource::load(pathFromUtf8(textOf(dir)), error);
    if (!res) {
      if (HostState* host = currentHost()) host->addDiagnostic(error);
      return nullptr;
    }
    LiveHandles::added();
    return toHandle(res.release());
  });
}

void KH_CALL release(KhResource* handle) {
  if (Resource* res = resourceFrom(handle)) {
    delete res;
    LiveHandles::removed();
  }
}

const KhStringValue* KH_CALL loadString(KhResource* handle, int32_t id) {
  const Resource* res = resourceFrom(handle);
  const KhStringValue* s = res ? res->string(id) : nullptr;
  return s ? s : sharedEmptyString();
}

}  // namespace

const KhResourceFamily* resourceFamily() noexcept {
  static const KhResourceFamily family = [] {
    KhResourceFamily f{};
    f.load = load;
    f.free = release;
    f.load_string = loadString;
    return f;
  }();
  return &family;
}

}  // namespace kurvo::host
