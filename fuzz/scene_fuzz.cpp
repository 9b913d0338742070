// Fuzz target: the scene loader, with the module loaded. An input that loads
// is also evaluated, saved and loaded again: the saved text must load, and
// saving that gives the same text.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "core/host_session.h"
#include "scene/document.h"
#include "scene_file.h"

namespace {

kurvo::host::HostSession& session() {
  static std::unique_ptr<kurvo::host::HostSession> s = [] {
    kurvo::host::HostSession::Options options;
    options.quiet = true;
    auto made = std::make_unique<kurvo::host::HostSession>(options);
    std::string error;
    if (!made->loadPluginFolder(KURVO_PLUGIN_DIR, error)) std::abort();
    return made;
  }();
  return *s;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace sf = kurvo::scenefile;
  kurvo::host::HostSession& host = session();
  sf::LoadOptions options;
  options.limits.maxPrimitivePoints = 20000;  // keeps each run fast
  options.limits.allowMeshFiles = false;
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  kurvo::host::Document first;
  auto scene = sf::loadSceneText(text, "fuzz.json", first, host.state(), options);
  if (!scene.ok()) return 0;
  first.evaluate();
  auto saved = sf::sceneText(first, scene.value(), "fuzz.json", host.state());
  if (!saved.ok()) return 0;  // e.g. names the writer refuses

  kurvo::host::Document second;
  auto again = sf::loadSceneText(saved.value(), "fuzz.json", second, host.state(), options);
  if (!again.ok()) __builtin_trap();  // what we write, we must read
  second.evaluate();
  auto resaved = sf::sceneText(second, again.value(), "fuzz.json", host.state());
  if (!resaved.ok() || resaved.value() != saved.value()) __builtin_trap();
  return 0;
}
