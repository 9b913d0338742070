// Arrays against one large object: 10,000 copies of a 1,000-point tube,
// every copy with its own deformer and tag, against the same 10^7 points
// joined into one object under one deformer. The
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
#include <vector>

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

// The array's copies, once made, joined into one object in copy order (the
// same points in the same order, so every point costs the deformer what it
// costs in its copy) under the array's deformer; the array goes.
Loaded joined(int64_t copies) {
  Loaded l = load(arrayScene(copies));
  if (!l.document || !l.bend) return l;
  kurvo::host::Document& doc = *l.document;
  doc.generate();
  std::vector<Vector> points;
  std::vector<kurvo::geo::Polygon> polygons;
  kurvo::host::Object* row = l.bend->parent();
  for (kurvo::host::Object* c = row->firstChild(); c; c = c->nextObject()) {
    if (c->role() != kurvo::host::ObjectRole::arrayCopy) continue;
    const KhMatrix m = c->globalMatrix();
    const int32_t base = static_cast<int32_t>(points.size());
    for (const Vector& p : c->points())
      points.push_back({m.off.x + m.v1.x * p.x + m.v2.x * p.y + m.v3.x * p.z,
                        m.off.y + m.v1.y * p.x + m.v2.y * p.y + m.v3.y * p.z,
                        m.off.z + m.v1.z * p.x + m.v2.z * p.y + m.v3.z * p.z});
    for (kurvo::geo::Polygon q : c->polygons()) {
      q.a += base, q.b += base, q.c += base, q.d += base;
      polygons.push_back(q);
    }
  }
  kurvo::host::Object* tube = doc.createObject(KH_TYPE_POLYGON);
  tube->setName("Tube");
  doc.setPoints(tube, std::move(points));
  doc.setPolygons(tube, std::move(polygons));
  doc.insertUnder(l.bend, tube);
  doc.destroy(row);
  return l;
}

void edits(benchmark::State& state, Loaded l, int64_t points) {
  if (!l.document || !l.bend) return state.SkipWithError("the module or the scene did not load");
  l.document->evaluate();
  float offset = 0.0f;
  for (auto _ : state) {
    offset = offset == 0.0f ? 0.01f : 0.0f;
    editAndEvaluate(l, offset);
  }
  state.SetItemsProcessed(state.iterations() * points);
}

template <class Make>
void firstEvaluation(benchmark::State& state, Make make, int64_t points) {
  for (auto _ : state) {
    state.PauseTiming();
    Loaded l = make();
    if (!l.document) return state.SkipWithError("the module or the scene did not load");
    state.ResumeTiming();
    l.document->evaluate();
    state.PauseTiming();
    l = Loaded();  // the session and its objects go outside the timing
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * points);
}

// Argument: the copies, of 1,000 points each; the large object holds as many
// points.
void BM_ArrayEdit(benchmark::State& state) {
  edits(state, load(arrayScene(state.range(0))), state.range(0) * 1000);
}
void BM_LargeObjectEdit(benchmark::State& state) { edits(state, joined(state.range(0)), state.range(0) * 1000); }
void BM_ArrayOfSmallPiecesEdit(benchmark::State& state) {
  edits(state, load(arrayScene(state.range(0), 2)), state.range(0) * 200);
}
void BM_ArrayFirst(benchmark::State& state) {
  firstEvaluation(state, [&] { return load(arrayScene(state.range(0))); }, state.range(0) * 1000);
}
void BM_LargeObjectFirst(benchmark::State& state) {
  firstEvaluation(state, [&] { return joined(state.range(0)); }, state.range(0) * 1000);
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
