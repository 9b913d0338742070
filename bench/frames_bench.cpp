// Playing an animated scene: 100 frames of a 10^5-point tube whose deformer's
// offset is animated, shown and evaluated one after the other through the
// evaluation loop, against 100 single evaluations after the same edit made by
// hand. The first must cost no more than the second: applying tracks and the
// change detection between frames add nothing that grows with the points.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>

#include "apply_frame.h"
#include "core/host_session.h"
#include "scene/document.h"
#include "scene_file.h"

namespace {

constexpr int kFrames = 100;

// 100 x 1000 segments: 100,000 points.
const char* kScene = R"({"format": "kurvo-scene", "version": 1, "time": {"fps": 25, "start": 0, "end": 99},
  "objects": [
    {"name": "Path", "type": "spline", "interpolation": "cubic",
     "points": [[0, 0, 0], [150, 80, 200], [0, 160, 400], [-150, 80, 600], [0, 0, 800],
                [150, -80, 1000], [0, -160, 1200], [-150, -80, 1400]]},
    {"name": "Tube", "type": "polygon",
     "primitive": {"kind": "cylinder", "radius": 30, "height": 400, "rotation_segments": 100, "height_segments": 999},
     "position": [0, 0, 200],
     "children": [{"name": "Bend", "type": "Kurvo2", "position": [0, 0, -200],
       "params": {"KURVO_SPLINE": "Path", "KURVO_UP_MODE": 0, "KURVO_UP_VECTOR": [1, 0, 0]},
       "tracks": [{"param": "KURVO_OFFSET", "keys": [[0, 0], [99, 0.6]]}]}]}]})";

struct Loaded {
  std::unique_ptr<kurvo::host::HostSession> session;
  kurvo::host::Document* document = nullptr;
  kurvo::scenefile::Scene scene;
};

Loaded load() {
  Loaded l;
  kurvo::host::HostSession::Options options;
  options.quiet = true;
  l.session = std::make_unique<kurvo::host::HostSession>(options);
  std::string error;
  if (!l.session->loadPluginFolder(KURVO_PLUGIN_DIR, error)) return l;
  l.document = &l.session->newDocument();
  auto scene = kurvo::scenefile::loadSceneText(kScene, "bench.json", *l.document, l.session->state());
  if (!scene) {
    l.document = nullptr;
    return l;
  }
  l.scene = std::move(scene.value());
  l.document->evaluate();
  return l;
}

kurvo::host::Object* find(kurvo::host::Document& doc, const char* name) {
  kurvo::host::Object* found = nullptr;
  doc.forEachObject([&](kurvo::host::Object& o) {
    if (o.name() == name) found = &o;
  });
  return found;
}

void BM_HundredFramesPlayed(benchmark::State& state) {
  Loaded l = load();
  if (!l.document) return state.SkipWithError("the module or the scene did not load");
  for (auto _ : state)
    for (int f = 0; f < kFrames; ++f) {
      kurvo::animation::applyFrame(*l.document, l.scene.timeline, f + 1);  // +1: frame 0 is already shown
      l.document->evaluate();
    }
  state.SetItemsProcessed(state.iterations() * kFrames * 100000);
}
BENCHMARK(BM_HundredFramesPlayed)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

void BM_HundredEditsEvaluated(benchmark::State& state) {
  Loaded l = load();
  if (!l.document) return state.SkipWithError("the module or the scene did not load");
  kurvo::host::Object* bend = find(*l.document, "Bend");
  for (auto _ : state)
    for (int f = 0; f < kFrames; ++f) {
      bend->parameters().setReal(1000, 0.6f * static_cast<float>(f + 1) / 99.0f);
      l.document->evaluate();
    }
  state.SetItemsProcessed(state.iterations() * kFrames * 100000);
}
BENCHMARK(BM_HundredEditsEvaluated)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
