// The gradient channel shader: answers a colour from a user-editable colour
// gradient. At render time each object picks its own position on the gradient
// from its deformer tag (index divided by count, or a random position seeded
// by the index), so tagged objects that share a material get different
// colours that stay put from frame to frame. A sample without render context
// lays the gradient out along the texture's U coordinate.
#pragma once

#include "kurvo_api.h"

enum : int32 {
  ID_VORLAGRADIENT = 1024167,      // plug-in ID
  IDS_VORLAGRADIENT = 10001,       // string resource: the shader's name
  XVORLAGRADIENT_GRADIENT = 1004,  // gradient (custom data 1000481)
  XVORLAGRADIENT_RANDOM = 1005,    // bool: random position per tagged object
  XVORLAGRADIENT_SEED = 1006       // integer added into every random seed
};

// Icons cut from "gradienttypes.tif" for the description resources to refer to.
enum : int32 { ID_VORLAGRADIENT_FIRST_ICON = 200000135, VORLAGRADIENT_ICON_COUNT = 8 };

class VorlaGradientClass : public ShaderData {
 public:
  static NodeData* Alloc();

  // Writes the default gradient (blue at 0, white at 1) into 1004.
  Bool Init(GeListNode* node) override;
  // Takes the seed and a pointer to the stored gradient; 0, or -100 when
  // there is no gradient or the host cannot prepare it.
  int32 InitRender(BaseShader* sh, InitRenderStruct* irs) override;
  void FreeRender(BaseShader* sh) override;
  // Thread-safe between InitRender and FreeRender: all working state is local.
  Vector Output(BaseShader* sh, ChannelData* cd) override;

 private:
  // Borrowed from the shader's own container, held from InitRender to
  // FreeRender only.
  Gradient* gradient_ = nullptr;
  int32 seed_ = 0;
};

// The position on the gradient for a tagged object.
//  - random on: the first Get01 of a Random seeded with index * 32456 + seed,
//    computed in wrapping 32-bit arithmetic;
//  - random off: index / count, or index / 1 when count is negative. A count
//    of 0 (a fresh tag) would divide by zero and hand the gradient an infinity
//    or a NaN: it gives position 0 instead.
// Positions outside 0..1 are not clamped; the gradient decides what they show.
Real TagGradientPosition(int32 index, int32 count, Bool random, int32 seed);

// Registers the shader and its icons; false when the icon strip cannot be
// loaded, true without registering when the name string is missing.
Bool RegisterVorlaGradient();
