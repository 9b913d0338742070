// Writers of animated output: an animated GIF and an MP4 video of rendered
// frames, and point caches of a deforming mesh, at the sizes the tool writes by default.
#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <unistd.h>

#include "animation_writer.h"
#include "point_cache.h"
#include "raster.h"

using namespace kurvo::media;

namespace {

// A wavy sheet of n x n quads, bent a little more at each frame.
Mesh wave(int n, float phase) {
  Mesh mesh;
  mesh.name = "sheet";
  mesh.colour = Vector(0.3f, 0.6f, 0.9f);
  for (int j = 0; j <= n; ++j)
    for (int i = 0; i <= n; ++i) {
      const float x = static_cast<float>(i) / n * 4 - 2, z = static_cast<float>(j) / n * 4 - 2;
      mesh.points.emplace_back(x, 0.4f * std::sin(2 * x + phase) * std::cos(1.5f * z), z);
    }
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) {
      const int a = j * (n + 1) + i;
      mesh.add_face({a, a + 1, a + n + 2, a + n + 1});
    }
  return mesh;
}

std::filesystem::path scratch(const char* name) {
  return std::filesystem::temp_directory_path() / (std::string("kurvo_bench_") + std::to_string(::getpid()) + name);
}

// 100 rendered 640x360 frames as a GIF (0) or an MP4 (1); rendering is not timed.
void Animation(benchmark::State& state) {
  RenderOptions options;
  options.width = 640;
  options.height = 360;
  std::vector<Image> frames;  // a few distinct pictures, repeated
  for (int f = 0; f < 4; ++f) {
    const Mesh mesh = wave(40, 0.5f * static_cast<float>(f));
    DrawList list;
    list.meshes.push_back(&mesh);
    frames.push_back(render(list, options));
  }
  const std::filesystem::path file = scratch(state.range(0) == 0 ? "anim.gif" : "anim.mp4");
  for (auto _ : state) {
    auto writer = make_animation_writer(file);
    if (!writer.ok() || !writer.value()->open(file, 640, 360, 30).ok()) state.SkipWithError("open failed");
    for (int f = 0; f < 100; ++f) writer.value()->add(frames[static_cast<size_t>(f) % frames.size()]);
    if (!writer.value()->finish().ok()) state.SkipWithError("finish failed");
  }
  state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(file));
  std::filesystem::remove(file);
}
BENCHMARK(Animation)->ArgName("mp4")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// A .pc2 of a 100,000-point mesh over 100 samples (120 MB) and its rest OBJ.
void PointCache(benchmark::State& state) {
  FrameSeries series;
  AnimatedMesh sheet;
  const Mesh rest = wave(315, 0);
  sheet.name = rest.name;
  sheet.surface = rest;
  sheet.surface.points.clear();
  sheet.polygons = mesh_polygons(rest);
  for (int s = 0; s < 100; ++s) {
    series.frames.push_back(s);
    sheet.placements.push_back(Matrix());
    sheet.points.push_back(wave(315, 0.1f * static_cast<float>(s)).points);
  }
  series.meshes.push_back(std::move(sheet));
  const std::filesystem::path file = scratch("cache.pc2");
  for (auto _ : state)
    if (!write_point_caches(series, file, ExportOptions{}).ok()) state.SkipWithError("write failed");
  std::filesystem::remove(file);
  std::filesystem::path obj = file;
  std::filesystem::remove(obj.replace_extension(".obj"));
}
BENCHMARK(PointCache)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
