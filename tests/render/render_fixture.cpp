#include "render_fixture.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "gradient.h"

namespace render_test {
namespace {

const KhShaderPlugin* g_original = nullptr;

int32_t KH_CALL countingInitRender(KhNodeData* d, KhNode* sh, void* irs) {
  shaderCalls().initRender.fetch_add(1, std::memory_order_relaxed);
  return g_original->init_render(d, sh, irs);
}

void KH_CALL countingFreeRender(KhNodeData* d, KhNode* sh) {
  shaderCalls().freeRender.fetch_add(1, std::memory_order_relaxed);
  g_original->free_render(d, sh);
}

void KH_CALL countingOutput(KhNodeData* d, KhNode* sh, KhChannelData* cd, KhVector* out) {
  ShaderCalls& calls = shaderCalls();
  calls.output.fetch_add(1, std::memory_order_relaxed);
  if (cd && !cd->vd) calls.outputWithoutContext.fetch_add(1, std::memory_order_relaxed);
  calls.noteThread();
  g_original->output(d, sh, cd, out);
}

}  // namespace

const char* const kRampKnots =
    R"([{"color": [1, 0.3, 0], "position": 0}, {"color": [0, 0.4, 1], "position": 1}])";

ShaderCalls& shaderCalls() {
  static ShaderCalls calls;
  return calls;
}

void ShaderCalls::reset() {
  initRender = 0;
  freeRender = 0;
  output = 0;
  outputWithoutContext = 0;
  for (auto& slot : threads) slot.store(std::thread::id(), std::memory_order_relaxed);
}

void ShaderCalls::noteThread() {
  const std::thread::id me = std::this_thread::get_id();
  for (auto& slot : threads) {
    std::thread::id current = slot.load(std::memory_order_relaxed);
    if (current == me) return;
    if (current == std::thread::id() &&
        slot.compare_exchange_strong(current, me, std::memory_order_relaxed, std::memory_order_relaxed))
      return;
  }
}

int ShaderCalls::distinctThreads() const {
  int n = 0;
  for (const auto& slot : threads)
    if (slot.load(std::memory_order_relaxed) != std::thread::id()) ++n;
  return n;
}

void registerCountingShader(kurvo::host::HostState& host) {
  const kurvo::host::RegisteredPlugin* gradient = host.registry.find(KH_PLUGINTYPE_SHADER, kGradientShader);
  ASSERT_NE(gradient, nullptr) << "the gradient shader is not registered";
  g_original = gradient->as<KhShaderPlugin>();
  KhShaderPlugin record = *g_original;
  record.init_render = countingInitRender;
  record.free_render = countingFreeRender;
  record.output = countingOutput;
  if (!host.registry.find(KH_PLUGINTYPE_SHADER, kCountingShader)) {
    ASSERT_TRUE(host.registry.add(gradient->apiVersion, KH_PLUGINTYPE_SHADER, kCountingShader, kCountingName, &record,
                                  static_cast<int32_t>(sizeof record)));
  }
  host.descriptions[kCountingShader] = host.descriptions.at(kGradientShader);
  shaderCalls().reset();
}

std::string tenCubes(const std::string& shader, const std::string& knots, bool random, int seed) {
  std::string objects;
  for (int i = 0; i < 10; ++i) {
    if (i) objects += ",";
    objects += R"({"name": "Cube)" + std::to_string(i) +
               R"(", "type": "polygon", "primitive": {"kind": "cube", "size": 100}, "position": [)" +
               std::to_string(-675 + 150 * i) + R"(, 0, 0], "material": "Ramp", "tags": [{"type": )" +
               std::to_string(kDeformerTag) + R"(, "params": {"1000": )" + std::to_string(i) +
               R"(, "1001": 10}}]})";
  }
  return R"({"format": "kurvo-scene", "version": 1, "materials": [{"name": "Ramp", "color": {"shader": )" + shader +
         R"(, "params": {"1004": {"knots": )" + knots + R"(}, "1005": )" + (random ? "true" : "false") +
         R"(, "1006": )" + std::to_string(seed) + R"(}}}], "objects": [)" + objects + "]}";
}

Vector rampAt(float position) {
  kurvo::geo::Gradient g;
  kurvo::geo::GradientKnot first, last;
  first.col = Vector(1.0f, 0.3f, 0.0f);
  last.col = Vector(0.0f, 0.4f, 1.0f);
  last.pos = 1.0f;
  g.InsertKnot(first);
  g.InsertKnot(last);
  g.InitRender();
  return g.CalcGradientPixel(position);
}

Rendered renderDocument(kurvo::host::Document& document, kurvo::media::RenderOptions options) {
  Rendered r;
  const kurvo::host::RenderShading shading(document);
  r.warnings = shading.warnings();
  const kurvo::scenefile::Preview preview = kurvo::scenefile::buildPreview(document, &shading);
  const kurvo::media::DrawList list = preview.drawList();
  r.camera = kurvo::media::camera_for(list, options);
  r.image = kurvo::media::render(list, options);
  return r;
}

std::array<uint8_t, 3> pixelAt(const Rendered& r, const Vector& world) {
  kurvo::media::ScreenPoint p{};
  EXPECT_TRUE(r.camera.project(world, p));
  const int x = std::clamp(static_cast<int>(p.x), 0, r.image.width - 1);
  const int y = std::clamp(static_cast<int>(p.y), 0, r.image.height - 1);
  return r.image.pixel(x, y);
}

std::array<uint8_t, 3> bytes(const Vector& c) {
  auto b = [](float v) { return static_cast<uint8_t>(std::clamp(v, 0.0f, 1.0f) * 255.0f + 0.5f); };
  return {b(c.x), b(c.y), b(c.z)};
}

int runTool(const std::string& arguments, std::string* firstErrorLine) {
  const std::filesystem::path err =
      std::filesystem::temp_directory_path() / ("kurvo_render_test_stderr_" + std::to_string(::getpid()));
  const std::string command = std::string(KURVO_TOOL) + " --quiet " + arguments + " --plugins " +
                              KURVO_PLUGIN_DIR + " 2> " + err.string();
  const int status = std::system(command.c_str());
  if (firstErrorLine) {
    std::ifstream in(err);
    firstErrorLine->clear();
    std::getline(in, *firstErrorLine);
  }
  std::filesystem::remove(err);
  return status;
}

}  // namespace render_test
