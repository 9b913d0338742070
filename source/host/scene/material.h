// Materials: what colours a polygon object in renders and mesh exports.
//
// A material has either a plain colour or a channel shader: a node of a
// registered shader plug-in (type 2) whose data object the plug-in's record
// makes (alloc, then init) and whose parameters live in the node's own
// container. The material owns its shader node; the document owns its
// materials and records which material each object uses (document.h).
// Rendering with a shader goes through RenderShading (shading.h).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "node.h"

namespace kurvo::host {

class Shader final : public Node {
 public:
  // A new free shader node of the registered shader plug-in `type`, or null
  // when no shader plug-in has that ID or its data cannot be made.
  static std::unique_ptr<Shader> create(int32_t type);

  const KhShaderPlugin* shaderRecord() const noexcept;

 private:
  explicit Shader(int32_t type) : Node(Kind::Shader, type) {}
};

struct Material {
  std::string name;
  Vector colour{0.8f, 0.8f, 0.8f};  // the plain colour, used when there is no shader
  std::unique_ptr<Shader> shader;    // null: the plain colour
};

}  // namespace kurvo::host
