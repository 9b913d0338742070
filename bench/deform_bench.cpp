// Points per second of the deformer's ModifyObject over meshes of 10^4, 10^5
// and 10^6 points, linear and cubic paths of 8 and 1,000 control points, up
// modes 0 to 3, with the default (flat) curves and with shaped curves and
// an active twist. Each timed run deforms the same rest points: putting them
// back is left out of the timing, and so is the first run, which builds the
// path's length table (BM_HostInitLength/.../changed measures a rebuild). Rates are per CPU second of the one thread
// (other work on a shared machine inflates wall time, not CPU time).
#include <benchmark/benchmark.h>

#include "alloc_counter.h"
#include "bench_scene.h"

namespace kurvo::bench {
namespace {

void BM_ModifyObject(benchmark::State& state) {
  SceneOptions options;
  options.points = static_cast<int32_t>(state.range(0));
  options.interpolation = static_cast<int32_t>(state.range(1));
  options.controls = static_cast<int32_t>(state.range(2));
  options.upMode = static_cast<int32_t>(state.range(3));
  options.shapedCurves = state.range(4) != 0;
  DeformScene scene(options);
  // One run outside the timing builds the path's length table, as the first
  // frame of an animation would; later runs over the unchanged path reuse it.
  scene.Modify();

  int64_t allocations = 0;
  for (auto _ : state) {
    state.PauseTiming();
    scene.Restore();
    const int64_t before = AllocationCount();
    state.ResumeTiming();
    scene.Modify();
    benchmark::ClobberMemory();
    allocations += AllocationCount() - before;
  }
  if (!scene.AllFinite()) state.SkipWithError("a deformed point is not finite");
  state.SetItemsProcessed(state.iterations() * scene.pointCount());
  // Heap blocks per run: a constant few (none per point) whatever the size.
  state.counters["allocs_per_run"] =
      benchmark::Counter(static_cast<double>(allocations) / static_cast<double>(state.iterations()));
}

BENCHMARK(BM_ModifyObject)
    ->ArgNames({"points", "cubic", "controls", "up", "shaped"})
    ->ArgsProduct({{10000, 100000, 1000000}, {0, 1}, {8, 1000}, {0, 1, 2, 3}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kurvo::bench

BENCHMARK_MAIN();
