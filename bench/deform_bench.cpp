// Points per second of the deformer's ModifyObject over meshes of 10^4, 10^5
// and 10^6 points, linear and cubic paths of 8 and 1,000 control points, up
// modes 0 to 3, with the default (flat) curves and with shaped curves and
// an active twist, the mesh's points ring after ring (neighbours share their
// path position, as in most meshes) or scattered (none do: every point pays
// the full per-point price). Each timed run deforms the same rest points: putting them
// back is left out of the timing, and so is the first run, which builds the
// path's length table (BM_HostInitLength/.../changed measures a rebuild).
// BM_ModifyObject runs on one thread (the host's pool set to one): its rates
// are per CPU second of that thread (other work on a shared machine inflates
// wall time, not CPU time). BM_ModifyObjectThreads splits one object over
// 1, 2, ... of the pool's threads and reports wall-clock rates, for the
// scaling curve, in both point orders.
#include <benchmark/benchmark.h>

#include "alloc_counter.h"
#include "bench_scene.h"
#include "core/task_pool.h"

namespace kurvo::bench {
namespace {

// Sets the host's pool for one benchmark and puts it back after.
class PoolSize {
 public:
  explicit PoolSize(int32_t threads) : was_(host::TaskPool::shared().concurrency()) {
    host::TaskPool::shared().setConcurrency(threads);
  }
  ~PoolSize() { host::TaskPool::shared().setConcurrency(was_); }

 private:
  int32_t was_;
};

void BM_ModifyObject(benchmark::State& state) {
  const PoolSize oneThread(1);
  SceneOptions options;
  options.points = static_cast<int32_t>(state.range(0));
  options.interpolation = static_cast<int32_t>(state.range(1));
  options.controls = static_cast<int32_t>(state.range(2));
  options.upMode = static_cast<int32_t>(state.range(3));
  options.shapedCurves = state.range(4) != 0;
  options.scattered = state.range(5) != 0;
  DeformScene scene(options);
  // One run outside the timing builds the path's length table, as the first
  // frame of an animation would; later runs over the unchanged path reuse it.
  scene.Modify();

  int64_t allocations = 0;
  for (auto _ : state) {
    state.PauseTiming();
    scene.Restore();
    state.ResumeTiming();
    // Counted around the run alone: resuming the timer takes heap blocks of
    // its own in this benchmark library.
    const int64_t before = AllocationCount();
    scene.Modify();
    allocations += AllocationCount() - before;
    benchmark::ClobberMemory();
  }
  if (!scene.AllFinite()) state.SkipWithError("a deformed point is not finite");
  state.SetItemsProcessed(state.iterations() * scene.pointCount());
  // Heap blocks per run: a constant few (none per point) whatever the size.
  state.counters["allocs_per_run"] =
      benchmark::Counter(static_cast<double>(allocations) / static_cast<double>(state.iterations()));
}

BENCHMARK(BM_ModifyObject)
    ->ArgNames({"points", "cubic", "controls", "up", "shaped", "scattered"})
    ->ArgsProduct({{10000, 100000, 1000000}, {0, 1}, {8, 1000}, {0, 1, 2, 3}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

void BM_ModifyObjectThreads(benchmark::State& state) {
  const PoolSize pool(static_cast<int32_t>(state.range(0)));
  SceneOptions options;
  options.points = static_cast<int32_t>(state.range(1));
  options.upMode = static_cast<int32_t>(state.range(2));
  options.scattered = state.range(3) != 0;
  DeformScene scene(options);
  scene.Modify();
  for (auto _ : state) {
    state.PauseTiming();
    scene.Restore();
    state.ResumeTiming();
    scene.Modify();
    benchmark::ClobberMemory();
  }
  if (!scene.AllFinite()) state.SkipWithError("a deformed point is not finite");
  state.SetItemsProcessed(state.iterations() * scene.pointCount());
}

BENCHMARK(BM_ModifyObjectThreads)
    ->ArgNames({"threads", "points", "up", "scattered"})
    ->ArgsProduct({{1, 2, 4}, {100000, 1000000}, {0, 1, 2, 3}, {0, 1}})
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kurvo::bench

BENCHMARK_MAIN();
