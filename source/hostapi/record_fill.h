// Internal to the layer: filling the type-specific parts of registration
// records with the trampolines.
#pragma once

#include "registration.h"

// Object entries; ModifyObject only with info bit 1, GetVirtualObjects bit 4,
// GetContour bit 0x80, ModifyParticles bit 0x20; the others always.
void FillObjectPlugin(OBJECTPLUGIN* op, int32 info);
void FillTagPlugin(TAGPLUGIN* tp);
void FillCustomGuiPlugin(CUSTOMGUIPLUGIN* cp, int32 info, CustomGuiData* guidata);

enum : int32 {
  kObjectInfoModifier = 0x01,
  kObjectInfoGenerator = 0x04,
  kObjectInfoParticleModifier = 0x20,
  kObjectInfoSplineGenerator = 0x80
};
