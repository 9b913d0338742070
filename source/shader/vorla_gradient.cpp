#include "shader/vorla_gradient.h"

#include "shader/vorla_deformer_tag.h"

namespace {

// Multiplier that spreads consecutive tag indices over the random sequence.
constexpr uint32 kIndexSeedStep = 32456u;

GradientKnot Knot(const Vector& colour, Real position) {
  GradientKnot knot;
  knot.col = colour;
  knot.brightness = 1.0f;
  knot.pos = position;
  knot.bias = 0.5f;
  knot.index = 0;
  return knot;
}

}  // namespace

Real TagGradientPosition(int32 index, int32 count, Bool random, int32 seed) {
  if (random) {
    Random generator;
    generator.Init(static_cast<uint32>(index) * kIndexSeedStep + static_cast<uint32>(seed));
    return generator.Get01();
  }
  // A fresh tag has no count yet; dividing by it would give no usable colour.
  if (count == 0) return 0.0f;
  const int32 divisor = count < 0 ? 1 : count;
  return static_cast<Real>(index) / static_cast<Real>(divisor);
}

NodeData* VorlaGradientClass::Alloc() { return gNew<VorlaGradientClass>(); }

Bool VorlaGradientClass::Init(GeListNode* node) {
  Gradient* gradient = Gradient::Alloc();
  if (!gradient) return false;
  gradient->InsertKnot(Knot(Vector(0.0f, 0.0f, 1.0f), 0.0f));
  gradient->InsertKnot(Knot(Vector(1.0f, 1.0f, 1.0f), 1.0f));
  {
    // The container keeps a copy of its own.
    const GeData value(KH_CUSTOMDATA_GRADIENT, *gradient);
    if (BaseContainer* data = static_cast<BaseList2D*>(node)->GetDataInstance())
      data->SetData(XVORLAGRADIENT_GRADIENT, value);
  }
  Gradient::Free(gradient);
  return true;
}

int32 VorlaGradientClass::InitRender(BaseShader* sh, InitRenderStruct*) {
  constexpr int32 kCannotRender = -100;
  const BaseContainer* data = sh ? sh->GetDataInstance() : nullptr;
  if (!data) return kCannotRender;
  seed_ = data->GetLong(XVORLAGRADIENT_SEED, 0);
  gradient_ = static_cast<Gradient*>(data->GetCustomDataType(XVORLAGRADIENT_GRADIENT, KH_CUSTOMDATA_GRADIENT));
  if (!gradient_) return kCannotRender;
  // On failure the pointer stays held; FreeRender lets it go.
  if (!gradient_->InitRender()) return kCannotRender;
  return 0;
}

void VorlaGradientClass::FreeRender(BaseShader*) {
  if (gradient_) gradient_->FreeRender();
  gradient_ = nullptr;
}

Vector VorlaGradientClass::Output(BaseShader* sh, ChannelData* cd) {
  // Outside a render there is nothing to evaluate: black, as without the
  // host's gradient library.
  if (!cd || !gradient_) return Vector();
  Real position = 0.0f;
  if (!cd->vd) {
    position = cd->p.x;
  } else {
    BaseObject* op = GetVolumeObject(cd->vd);
    BaseTag* tag = op ? op->GetTag(ID_VORLADEFORMERTAG, 0) : nullptr;
    const BaseContainer* tagData = tag ? tag->GetDataInstance() : nullptr;
    if (tagData) {
      const BaseContainer* shaderData = sh ? sh->GetDataInstance() : nullptr;
      const Bool random = shaderData ? shaderData->GetBool(XVORLAGRADIENT_RANDOM, false) : false;
      position = TagGradientPosition(tagData->GetLong(VORLADEFORMERTAG_INDEX, 0),
                                     tagData->GetLong(VORLADEFORMERTAG_COUNT, 0), random, seed_);
    }
  }
  return gradient_->CalcGradientPixel(position);
}
