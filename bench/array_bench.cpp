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

// 100 x 10 = 1,000 points, 10 long: 10,000 copies end to end, their rings
// as far apart as the large tube's (the deformer looks the path up once per
// ring). With `rings` 2 instead of 10, the pieces have 200 points and what
// is left is mostly the cost of having 10,000 objects.
std::string arrayScene(int64_t copies, int rings = 10) {
  return std::string(R"({"format": "kurvo-scene", "version": 1, "objects": [)") + kPath +
         R"(, {"name": "Row", "type": "array", "count": )" + std::to_string(copies) + R"(, "children": [
           {"name": "Piece", "type": "polygon", "position": [0, 0, 5],
            "primitive": {"kind": "tube", "radius": 30, "height": 10, "rotation_segments": 100, "height_segments": )" +
         std::to_string(rings - 1) + R"(}}, {"name": "Bend", )" + kBend + "}]}]}";
}

// The same points as `copies` pieces in one tube: 100 x 100,000 = 10^7
// points, 100,000 long, for 10,000.
std::string largeScene(int64_t copies) {
  const std::string half = std::to_string(copies * 5);
  return std::string(R"({"format": "kurvo-scene", "version": 1, "objects": [)") + kPath +
         R"(, {"name": "Tube", "type": "polygon", "position": [0, 0, )" + half + R"(],
            "primitive": {"kind": "tube", "radius": 30, "height": )" + std::to_string(copies * 10) +
         R"(, "rotation_segments": 100, "height_segments": )" + std::to_string(copies * 10 - 1) + R"(},
            "children": [{"name": "Bend", "position": [0, 0, -)" + half + "], " + kBend + "}]}]}";
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

// One timed step, on its own so that valgrind can count it alone
// (valgrind --tool=callgrind --collect-atstart=no
// --toggle-collect='*editAndEvaluate*', docs/performance.md).
[[gnu::noinline]] void editAndEvaluate(Loaded& l, float offset) {
  l.bend->parameters().setReal(1000, offset);  // KURVO_OFFSET
  l.document->evaluate();
}

void edits(benchmark::State& state, const std::string& text, int64_t points) {
  Loaded l = load(text);
  if (!l.document || !l.bend) return state.SkipWithError("the module or the scene did not load");
  l.document->evaluate();
  float offset = 0.0f;
  for (auto _ : state) {
    offset = offset == 0.0f ? 0.01f : 0.0f;
    editAndEvaluate(l, offset);
  }
  state.SetItemsProcessed(state.iterations() * points);
}

void firstEvaluation(benchmark::State& state, const std::string& text, int64_t points) {
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
  state.SetItemsProcessed(state.iterations() * points);
}

// Argument: the copies (1,000 points each), or the large tube's points in
// thousands.
void BM_ArrayEdit(benchmark::State& state) { edits(state, arrayScene(state.range(0)), state.range(0) * 1000); }
void BM_LargeObjectEdit(benchmark::State& state) { edits(state, largeScene(state.range(0)), state.range(0) * 1000); }
void BM_ArrayOfSmallPiecesEdit(benchmark::State& state) {
  edits(state, arrayScene(state.range(0), 2), state.range(0) * 200);
}
void BM_ArrayFirst(benchmark::State& state) {
  firstEvaluation(state, arrayScene(state.range(0)), state.range(0) * 1000);
}
void BM_LargeObjectFirst(benchmark::State& state) {
  firstEvaluation(state, largeScene(state.range(0)), state.range(0) * 1000);
}

#define KURVO_ARRAY_BENCH(name) \
  BENCHMARK(name)->ArgName("copies")->Arg(10000)->Arg(1000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime()
KURVO_ARRAY_BENCH(BM_ArrayEdit);
KURVO_ARRAY_BENCH(BM_LargeObjectEdit);
KURVO_ARRAY_BENCH(BM_ArrayOfSmallPiecesEdit);
KURVO_ARRAY_BENCH(BM_ArrayFirst)->Iterations(3);
KURVO_ARRAY_BENCH(BM_LargeObjectFirst)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
