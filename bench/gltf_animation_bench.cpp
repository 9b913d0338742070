// Writing an animated .glb: a surface of 10^5 points over 100 frames that
// moves (node keys) and ripples (a morph target per frame), the size the
// animated export is meant to handle in well under two seconds.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <unistd.h>

#include "frame_series.h"
#include "gltf_animation.h"

namespace kurvo::bench {
namespace {

media::FrameSeries rippling_sheet(int side, int frames) {
  media::FrameSeries series;
  series.fps = 30.0;
  media::AnimatedMesh sheet;
  sheet.name = "Sheet";
  for (int y = 0; y + 1 < side; ++y)
    for (int x = 0; x + 1 < side; ++x) {
      const int a = y * side + x;
      sheet.polygons.push_back({a, a + side, a + side + 1, a + 1});
    }
  for (int f = 0; f < frames; ++f) {
    series.frames.push_back(f);
    sheet.placements.push_back(MatrixMove(Vector(0.1f * float(f), 0, 0)) * MatrixRotY(0.02f * float(f)));
    std::vector<Vector> points;
    points.reserve(size_t(side) * size_t(side));
    for (int y = 0; y < side; ++y)
      for (int x = 0; x < side; ++x)
        points.push_back(Vector(float(x), 5.0f * std::sin(0.1f * float(x) + 0.2f * float(f)), float(y)));
    sheet.points.push_back(std::move(points));
  }
  series.meshes.push_back(std::move(sheet));
  return series;
}

void BM_WriteAnimatedGlb(benchmark::State& state) {
  const media::FrameSeries series = rippling_sheet(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("kurvo_bench_" + std::to_string(::getpid()) + ".glb");
  for (auto _ : state) {
    const media::Status s = media::write_animated_gltf(series, file, {});
    if (!s.ok()) state.SkipWithError(s.message().c_str());
  }
  state.counters["points"] = double(series.meshes[0].points[0].size());
  state.counters["file_MB"] = double(std::filesystem::file_size(file)) / 1e6;
  std::filesystem::remove(file);
}
// 317 x 317 = 100489 points.
BENCHMARK(BM_WriteAnimatedGlb)->ArgNames({"side", "frames"})->Args({317, 100})->Args({317, 2})
    ->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace kurvo::bench
