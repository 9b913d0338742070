// Shared by the material and shading tests: a session with the built module,
// the ten-cube gradient scene, and a counting stand-in for the gradient
// shader that records how the host drives it.
#ifndef KURVO_TESTS_RENDER_RENDER_FIXTURE_H
#define KURVO_TESTS_RENDER_RENDER_FIXTURE_H

#include <atomic>
#include <string>
#include <thread>

#include "raster.h"
#include "scene/shading.h"
#include "scene_fixture.h"
#include "scene_preview.h"

namespace render_test {

inline constexpr int32_t kGradientShader = 1024167;
inline constexpr int32_t kDeformerTag = 1024306;
// The counting stand-in's plug-in ID and name.
inline constexpr int32_t kCountingShader = 1999001;
inline constexpr const char* kCountingName = "Counting Gradient";

// What the host did to the counting shader. Counters and thread slots are
// relaxed atomics on purpose: a lock here would order the render threads
// and hide a data race from ThreadSanitizer.
struct ShaderCalls {
  static constexpr int kSlots = 16;
  std::atomic<int> initRender{0};
  std::atomic<int> freeRender{0};
  std::atomic<int> output{0};
  std::atomic<int> outputWithoutContext{0};
  std::atomic<std::thread::id> threads[kSlots];

  void reset();
  int distinctThreads() const;
  void noteThread();
};
ShaderCalls& shaderCalls();

// Registers the counting shader: the module's gradient shader record with
// init_render, free_render and output wrapped, under kCountingShader, with
// the gradient shader's description. Resets the counts.
void registerCountingShader(kurvo::host::HostState& host);

// Ten cubes in a row along X (Cube0 .. Cube9, 150 apart), each with a deformer
// tag (index i, count 10), sharing the material "Ramp" of `shader` (an ID or a
// quoted name as JSON) with the gradient `knots` (JSON list) and the given
// random switch and seed.
std::string tenCubes(const std::string& shader, const std::string& knots, bool random = false, int seed = 0);
// Two knots: (1, 0.3, 0) at 0 and (0, 0.4, 1) at 1, as in examples/gradient_cubes.json.
extern const char* const kRampKnots;

// The colour of kRampKnots at `position`, from the host's own gradient.
Vector rampAt(float position);

// Renders the evaluated document with its materials.
struct Rendered {
  kurvo::media::Image image;
  kurvo::media::Camera camera;
  std::vector<std::string> warnings;
};
Rendered renderDocument(kurvo::host::Document& document, kurvo::media::RenderOptions options);

// The pixel where `world` lands in the picture.
std::array<uint8_t, 3> pixelAt(const Rendered& r, const Vector& world);

// 8-bit colour of `c` as the rasteriser writes it.
std::array<uint8_t, 3> bytes(const Vector& c);

// Runs the kurvo tool with `arguments`; answers its exit status and the
// first line it wrote on stderr (the rest is ignored).
int runTool(const std::string& arguments, std::string* firstErrorLine = nullptr);

}  // namespace render_test

#endif
