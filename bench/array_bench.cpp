// Arrays against one large object: 10,000 copies of a 1,000-point tube,
// every copy with its own deformer and tag, against one 10^7-point tube
// under one deformer, both filling the same stretch of the same path. The
// copies should evaluate within 1.2 times the large object's time: an array
// adds its bookkeeping (making, placing and numbering copies, copying
// deformer edits into them, staging 10,000 runs) and the per-run set-up of
// each copy's deformer, and nothing per point.
//
//   Edit: one deformer edit (the offset), then one evaluation: every point is
//         bent again.
//   First: a fresh document's first evaluation, the copies made (arrays)
//          and the rest state kept (both), loading excluded.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "core/host_session.h"
#include "scene/document.h"
#include "scene_file.h"

namespace {

// A wave along +Z, 0 to 100,000: both scenes lie on it end to end.
const char* kPath = R"({"name": "Path", "type": "spline", "interpolation": "cubic",
  "points": [[0, 0, 0], [3000, 1500, 14000], [0, 3000, 28000], [-3000, 1500, 42000], [0, 0, 56000],
             [3000, -1500, 70000], [0, -3000, 85000], [0, 0, 100000]]})";
const char* kBend = R"("type": "Kurvo2", "params": {"KURVO_SPLINE": "Path", "KURVO_UP_MODE": 0,
  "KURVO_UP_VECTOR": [1, 0, 0]})";

std::string arrayScene() {
  // 20 x 50 = 1,000 points, 10 long: 10,000 copies end to end.
  return std::string(R"({"format": "kurvo-scene", "version": 1, "objects": [)") + kPath +
         R"(, {"name": "Row", "type": "array", "count": 10000, "children": [
           {"name": "Piece", "type": "polygon", "position": [0, 0, 5],
            "primitive": {"kind": "tube", "radius": 30, "height": 10, "rotation_segments": 20, "height_segments": 49}},
           {"name": "Bend", )" + kBend + "}]}]}";
}

std::string largeScene() {
  // 100 x 100,000 = 10^7 points, 100,000 long.
  return std::string(R"({"format": "kurvo-scene", "version": 1, "objects": [)") + kPath +
         R"(, {"name": "Tube", "type": "polygon", "position": [0, 0, 50000],
            "primitive": {"kind": "tube", "radius": 30, "height": 100000, "rotation_segments": 100,
                          "height_segments": 99999},
            "children": [{"name": "Bend", "position": [0, 0, -50000], )" + kBend + "}]}]}";
}

struct Loaded {
  std::unique_ptr<kurvo::host::HostSession> session;
  kurvo::host::Document* document = nullptr;
  kurvo::host::Object* bend = nullptr;
};

Loaded load(const std::string& text) {
  Loaded l;
  kurvo::host::HostSession::Options options;
  options.quiet = true;
  l.session = std::make_unique<kurvo::host::HostSession>(options);
  std::string error;
  if (!l.session->loadPluginFolder(KURVO_PLUGIN_DIR, error)) return l;
  l.document = &l.session->newDocument();
  if (!kurvo::scenefile::loadSceneText(text, "bench.json", *l.document, l.session->state())) {
    l.document = nullptr;
    return l;
  }
  l.document->forEachObject([&](kurvo::host::Object& o) {
    if (!l.bend && o.name() == "Bend") l.bend = &o;
  });
  return l;
}

void edits(benchmark::State& state, const std::string& text) {
  Loaded l = load(text);
  if (!l.document || !l.bend) return state.SkipWithError("the module or the scene did not load");
  l.document->evaluate();
  float offset = 0.0f;
  for (auto _ : state) {
    offset = offset == 0.0f ? 0.01f : 0.0f;
    l.bend->parameters().setReal(1000, offset);  // KURVO_OFFSET
    l.document->evaluate();
  }
  state.SetItemsProcessed(state.iterations() * 10'000'000);
}

void firstEvaluation(benchmark::State& state, const std::string& text) {
  for (auto _ : state) {
    state.PauseTiming();
    Loaded l = load(text);
    if (!l.document) return state.SkipWithError("the module or the scene did not load");
    state.ResumeTiming();
    l.document->evaluate();
    state.PauseTiming();
    l = Loaded();  // the session and its copies go outside the timing
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * 10'000'000);
}

void BM_ArrayEdit(benchmark::State& state) { edits(state, arrayScene()); }
void BM_LargeObjectEdit(benchmark::State& state) { edits(state, largeScene()); }
void BM_ArrayFirst(benchmark::State& state) { firstEvaluation(state, arrayScene()); }
void BM_LargeObjectFirst(benchmark::State& state) { firstEvaluation(state, largeScene()); }

BENCHMARK(BM_ArrayEdit)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_LargeObjectEdit)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
BENCHMARK(BM_ArrayFirst)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(3);
BENCHMARK(BM_LargeObjectFirst)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
