// Shading service: one render's (or one export's) use of a document's
// materials, as a renderer drives channel shaders.
//
// Construction starts the render: init_render once on every material's
// shader, on the calling thread. colour() answers one sample: it calls the
// shader's output with a channel-data sample whose render context names the
// object being shaded (or, for a sample that involves no object, without a
// render context, so the shader reads the texture coordinate). Destruction
// ends the render: free_render on every shader that init_render was called
// on, whether it succeeded or not, because a shader may hold what a failed
// preparation took. The same happens when construction itself fails part way.
//
// A shader that cannot render (init_render answers a negative code, such as
// -100) colours its material with kFallbackColour for the whole render, and
// the render keeps one warning line about it for the caller to show.
//
// colour() may be called from several threads at once between construction
// and destruction: it only reads what construction set up, and shaders'
// output is thread-safe between init_render and free_render.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "document.h"

namespace kurvo::host {

class RenderShading {
 public:
  // Magenta: plainly not a colour anybody chose.
  static constexpr KhVector kFallbackColour{1.0f, 0.0f, 1.0f};
  // The texture coordinate of a baked colour (one sample for the whole object).
  static constexpr KhVector kBakePoint{0.5f, 0.5f, 0.0f};

  explicit RenderShading(const Document& document);
  ~RenderShading();
  RenderShading(const RenderShading&) = delete;
  RenderShading& operator=(const RenderShading&) = delete;

  // One line per material whose shader cannot render, in material order.
  const std::vector<std::string>& warnings() const noexcept { return warnings_; }

  // The colour of one sample of `material`. `object`: the object being shaded,
  // named in the sample's render context; null: a sample without render
  // context. `p` is the texture coordinate (u, v, w), `n` the surface normal.
  // [thread-safe]
  Vector colour(const Material& material, const Object* object, const KhVector& p,
                const KhVector& n = {0.0f, 0.0f, 0.0f}) const;

  // The colour of `object`'s material as one sample at kBakePoint with the
  // object named; none for an object without a material.
  std::optional<Vector> bakedColour(const Object& object) const;

  const Document& document() const noexcept { return document_; }

 private:
  // Shaders that init_render was called on; their free_render runs when this
  // goes, also when the constructor throws after starting some of them.
  struct Started {
    std::vector<Shader*> shaders;
    ~Started();
  };

  const Document& document_;
  Started started_;
  std::unordered_map<const Material*, bool> ready_;  // false: fallback colour
  std::vector<std::string> warnings_;
};

}  // namespace kurvo::host
