#include "material.h"

#include "core/host_state.h"
#include "core/memory.h"

namespace kurvo::host {

std::unique_ptr<Shader> Shader::create(int32_t type) {
  HostState* host = currentHost();
  const RegisteredPlugin* plugin = host ? host->registry.find(KH_PLUGINTYPE_SHADER, type) : nullptr;
  if (!plugin || !Memory::admit()) return nullptr;
  std::unique_ptr<Shader> shader(new Shader(type));
  if (!shader->attachPlugin(plugin)) return nullptr;
  return shader;
}

const KhShaderPlugin* Shader::shaderRecord() const noexcept {
  return plugin() && plugin()->type == KH_PLUGINTYPE_SHADER ? plugin()->as<KhShaderPlugin>() : nullptr;
}

}  // namespace kurvo::host
