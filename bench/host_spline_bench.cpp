// The host's per-point spline entries on their own, through the function
// table as the module calls them: arc-length conversion, point and tangent,
// and the length-table build of a path that did not change.
#include <benchmark/benchmark.h>

#include <vector>

#include "bench_scene.h"
#include "core/host_session.h"
#include "kh_host_table.h"

namespace kurvo::bench {
namespace {

// A session with one path spline and positions spread over [0, 1].
struct SplineFixture {
  host::HostSession session;
  host::Object* path;
  KhObject* handle;
  const KhObjectFamily* object;
  std::vector<float> positions;

  SplineFixture(int32_t interpolation, int32_t controls)
      : path(MakeWavePath(session.newDocument(), interpolation, controls, Vector(0, 0, 0))),
        handle(host::toObjectHandle(path)),
        object(session.table().object) {
    for (int i = 0; i < 4096; ++i) positions.push_back(static_cast<float>((i * 2654435761u) % 4096u) / 4096.0f);
  }
};

void BM_HostSplineEntries(benchmark::State& state) {
  SplineFixture f(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)));
  f.object->init_length(f.handle, 0, nullptr);
  size_t i = 0;
  for (auto _ : state) {
    const float t = f.object->uniform_to_natural(f.handle, f.positions[i++ & 4095]);
    KhVector p, d;
    f.object->spline_point(f.handle, t, 0, nullptr, &p);
    f.object->spline_tangent(f.handle, t, 0, nullptr, &d);
    benchmark::DoNotOptimize(p);
    benchmark::DoNotOptimize(d);
  }
  f.object->free_length(f.handle);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HostSplineEntries)->ArgNames({"cubic", "controls"})->ArgsProduct({{0, 1}, {8, 1000}});

// InitLength and FreeLength of an unchanged path, as every run makes them.
void BM_HostInitLength(benchmark::State& state) {
  SplineFixture f(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(f.object->init_length(f.handle, 0, nullptr));
    f.object->free_length(f.handle);
  }
}
BENCHMARK(BM_HostInitLength)->ArgNames({"cubic", "controls"})->ArgsProduct({{0, 1}, {8, 1000}})
    ->Unit(benchmark::kMicrosecond);

// InitLength of a path that changed since the last run: a full rebuild.
void BM_HostInitLengthChanged(benchmark::State& state) {
  SplineFixture f(static_cast<int32_t>(state.range(0)), static_cast<int32_t>(state.range(1)));
  Vector& moved = f.path->points()[1];
  for (auto _ : state) {
    moved.x += 0.001f;  // an edit in place, as a deformer of the path would make
    benchmark::DoNotOptimize(f.object->init_length(f.handle, 0, nullptr));
    f.object->free_length(f.handle);
  }
}
BENCHMARK(BM_HostInitLengthChanged)->ArgNames({"cubic", "controls"})->ArgsProduct({{0, 1}, {8, 1000}})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace kurvo::bench
