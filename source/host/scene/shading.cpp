#include "shading.h"

namespace kurvo::host {

RenderShading::Started::~Started() {
  for (auto it = shaders.rbegin(); it != shaders.rend(); ++it) {
    Shader* shader = *it;
    const KhShaderPlugin* record = shader->shaderRecord();
    if (record && record->free_render) record->free_render(shader->pluginData(), shader->handle());
  }
}

RenderShading::RenderShading(const Document& document) : document_(document) {
  const auto& materials = document.materials();
  // Reserved first, so that recording a started shader cannot fail after
  // its init_render ran.
  started_.shaders.reserve(materials.size());
  ready_.reserve(materials.size());
  for (const auto& m : materials) {
    Shader* shader = m->shader.get();
    if (!shader) continue;
    const KhShaderPlugin* record = shader->shaderRecord();
    if (!record || !shader->pluginData() || !record->output) {
      ready_[m.get()] = false;
      warnings_.push_back("material \"" + m->name + "\": the shader \"" + shader->name() +
                          "\" gives no colours; its objects are drawn in the fallback colour");
      continue;
    }
    int32_t answer = 0;
    if (record->init_render) {
      started_.shaders.push_back(shader);
      answer = record->init_render(shader->pluginData(), shader->handle(), nullptr);
    }
    ready_[m.get()] = answer >= 0;
    if (answer < 0)
      warnings_.push_back("material \"" + m->name + "\": the shader \"" + shader->name() +
                          "\" cannot render (code " + std::to_string(answer) +
                          "); its objects are drawn in the fallback colour");
  }
}

RenderShading::~RenderShading() = default;

Vector RenderShading::colour(const Material& material, const Object* object, const KhVector& p,
                             const KhVector& n) const {
  Shader* shader = material.shader.get();
  if (!shader) return material.colour;
  auto it = ready_.find(&material);
  if (it == ready_.end() || !it->second) return FromKh(kFallbackColour);
  const KhShaderPlugin* record = shader->shaderRecord();
  KhVolumeData volume{};
  volume.struct_size = static_cast<int32_t>(sizeof(KhVolumeData));
  volume.object = toObjectHandle(const_cast<Object*>(object));
  KhChannelData sample{};
  sample.p = p;
  sample.n = n;
  sample.vd = object ? &volume : nullptr;
  KhVector out{0.0f, 0.0f, 0.0f};
  record->output(shader->pluginData(), shader->handle(), &sample, &out);
  return FromKh(out);
}

std::optional<Vector> RenderShading::bakedColour(const Object& object) const {
  const Material* material = document_.materialOf(object);
  if (!material) return std::nullopt;
  return colour(*material, &object, kBakePoint);
}

}  // namespace kurvo::host
