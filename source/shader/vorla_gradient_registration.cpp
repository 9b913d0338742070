// Registration of the gradient shader and the icons of its description.
#include "frame/registrations.h"
#include "shader/vorla_gradient.h"

namespace {
constexpr int32 kIconSize = 32;
constexpr int32 kIconFlags = 1;
}  // namespace

Bool RegisterVorlaGradient() {
  const String name = GeLoadString(IDS_VORLAGRADIENT);
  if (!name.Content()) return true;  // no name: quietly not offered

  BaseBitmap* strip = BaseBitmap::Alloc();
  if (!strip) return false;
  const Filename file = GeGetPluginPath() + Filename("res") + Filename("gradienttypes.tif");
  if (strip->Init(file, -1, nullptr) != IMAGE_OK) {
    BaseBitmap::Free(strip);
    return false;
  }
  // Left to right along the strip's top edge; the host copies the pixels, and
  // a refused icon does not stop the shader.
  for (int32 i = 0; i < VORLAGRADIENT_ICON_COUNT; ++i)
    RegisterIcon(ID_VORLAGRADIENT_FIRST_ICON + i, strip, kIconSize * i, 0, kIconSize, kIconSize, kIconFlags);

  const Bool registered = RegisterShaderPlugin(ID_VORLAGRADIENT, name, 0, VorlaGradientClass::Alloc,
                                               String("Xvorlagradient"), 0, nullptr);
  BaseBitmap::Free(strip);
  return registered;
}
