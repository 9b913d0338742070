#include "plugin_hooks.h"

#include "maker.h"
#include "registrations.h"

Bool PluginStart() { return true; }

void PluginEnd() {}

String StartupBanner() { return String("Kurvo2 Lite V2.0 - Release ") + String(kMakerWebAddress); }

namespace {
// Strictly in this order; nothing already registered is taken back on failure.
Bool RunRegistrationChain() {
  if (!RegisterVorlaDeformer()) return false;
  if (!RegisterNimbobarGUI()) return false;
  if (!RegisterVorlaGradient()) return false;
  if (!RegisterVorlaDeformerTag()) return false;
  GePrint(StartupBanner());
  return true;
}
}  // namespace

Bool PluginMessage(int32 id, void*) {
  switch (id) {
    case kMessageLoadResources:
      if (resource.Init()) return true;
      GePrint("Missing RES Directory");
      return false;
    case kMessageRegister:
      return RunRegistrationChain();
    default:
      return true;
  }
}
