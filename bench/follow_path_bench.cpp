// Up mode 3 against mode 0 over 10^6 points on linear and cubic paths of 8
// and 1,000 control points (a linear path's every join is a corner), with the path unchanged from run to run (mode 3 keeps its
// table of carried up directions) and with the path edited before every run
// (`edited:1`: the points put back through the host, so the path's change
// counter moves and mode 3 builds its table again; the host's length table is
// kept by its contents in either case). One thread, rates per CPU second.
#include <benchmark/benchmark.h>

#include "bench_scene.h"
#include "core/task_pool.h"

namespace kurvo::bench {
namespace {

void BM_FollowThePath(benchmark::State& state) {
  host::TaskPool& pool = host::TaskPool::shared();
  const int32_t threads = pool.concurrency();
  pool.setConcurrency(1);
  SceneOptions options;
  options.points = 1000000;
  options.controls = static_cast<int32_t>(state.range(0));
  options.upMode = static_cast<int32_t>(state.range(1));
  const bool edited = state.range(2) != 0;
  options.interpolation = static_cast<int32_t>(state.range(3));
  DeformScene scene(options);
  scene.Modify();
  for (auto _ : state) {
    state.PauseTiming();
    scene.Restore();
    if (edited) scene.path()->setPoints(scene.path()->points());
    state.ResumeTiming();
    scene.Modify();
    benchmark::ClobberMemory();
  }
  if (!scene.AllFinite()) state.SkipWithError("a deformed point is not finite");
  state.SetItemsProcessed(state.iterations() * scene.pointCount());
  pool.setConcurrency(threads);
}

BENCHMARK(BM_FollowThePath)
    ->ArgNames({"controls", "up", "edited", "cubic"})
    ->ArgsProduct({{8, 1000}, {0, 3}, {0, 1}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace kurvo::bench
