// Point caches (.pc2, .mdd), read back by a reader written here from the
// layouts alone, against world positions worked out here and against the
// rest OBJ written beside them.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "atomic_file.h"
#include "point_cache.h"
#include "temp_dir.h"

using namespace kurvo::media;

namespace {

using Point = std::array<float, 3>;

struct Cache {
  // PC2 only
  std::string signature;
  int32_t version = 0;
  float start = 0, rate = 0;
  // MDD only
  std::vector<float> times;
  int32_t points = 0, samples = 0;
  std::vector<std::vector<Point>> positions;  // per sample, per point
  bool complete = false;                      // the size is exactly what the header promises
};

std::string read_file(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Reads 4 bytes at `at` in the given byte order.
uint32_t word(const std::string& bytes, size_t at, bool big_endian) {
  uint32_t v = 0;
  for (size_t k = 0; k < 4; ++k) {
    const auto b = static_cast<unsigned char>(bytes[at + (big_endian ? k : 3 - k)]);
    v = (v << 8) | b;
  }
  return v;
}
float real(const std::string& bytes, size_t at, bool big_endian) {
  const uint32_t w = word(bytes, at, big_endian);
  float f;
  std::memcpy(&f, &w, 4);
  return f;
}

void read_positions(const std::string& bytes, size_t at, bool big_endian, Cache& cache) {
  const size_t expected = at + static_cast<size_t>(cache.points) * static_cast<size_t>(cache.samples) * 12;
  cache.complete = bytes.size() == expected;
  if (!cache.complete) return;
  for (int32_t s = 0; s < cache.samples; ++s) {
    cache.positions.emplace_back();
    for (int32_t i = 0; i < cache.points; ++i, at += 12)
      cache.positions.back().push_back(
          {real(bytes, at, big_endian), real(bytes, at + 4, big_endian), real(bytes, at + 8, big_endian)});
  }
}

Cache read_pc2(const std::filesystem::path& file) {
  const std::string bytes = read_file(file);
  Cache cache;
  if (bytes.size() < 32) return cache;
  cache.signature = bytes.substr(0, 12);
  cache.version = static_cast<int32_t>(word(bytes, 12, false));
  cache.points = static_cast<int32_t>(word(bytes, 16, false));
  cache.start = real(bytes, 20, false);
  cache.rate = real(bytes, 24, false);
  cache.samples = static_cast<int32_t>(word(bytes, 28, false));
  read_positions(bytes, 32, false, cache);
  return cache;
}

Cache read_mdd(const std::filesystem::path& file) {
  const std::string bytes = read_file(file);
  Cache cache;
  if (bytes.size() < 8) return cache;
  cache.samples = static_cast<int32_t>(word(bytes, 0, true));
  cache.points = static_cast<int32_t>(word(bytes, 4, true));
  if (bytes.size() < 8 + 4 * static_cast<size_t>(cache.samples)) return cache;
  for (int32_t s = 0; s < cache.samples; ++s) cache.times.push_back(real(bytes, 8 + 4 * static_cast<size_t>(s), true));
  read_positions(bytes, 8 + 4 * static_cast<size_t>(cache.samples), true, cache);
  return cache;
}

// The "v" lines of an OBJ, as floats.
std::vector<Point> obj_vertices(const std::filesystem::path& file) {
  std::vector<Point> out;
  std::istringstream in(read_file(file));
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("v ", 0) != 0) continue;
    Point p;
    std::istringstream(line.substr(2)) >> p[0] >> p[1] >> p[2];
    out.push_back(p);
  }
  return out;
}

// Two meshes, both moving (placement) and deforming (points), sampled at
// frames 10, 12, 14, 16 of a 24 fps timeline.
FrameSeries moving_meshes(std::vector<double> frames = {10, 12, 14, 16}) {
  FrameSeries series;
  series.fps = 24.0;
  series.frames = frames;
  AnimatedMesh arm;
  arm.name = "Arm";
  arm.colour = Vector(0.8f, 0.2f, 0.1f);
  arm.polygons = {Polygon{0, 1, 2, 3}, make_triangle(0, 2, 4)};
  AnimatedMesh leg;
  leg.name = "Leg 2/left";  // not a file name as it stands
  leg.polygons = {make_triangle(0, 1, 2)};
  for (size_t s = 0; s < frames.size(); ++s) {
    const float t = static_cast<float>(s);
    const float c = std::cos(0.3f * t), n = std::sin(0.3f * t);
    // Turning about Y and moving along X and Z.
    arm.placements.push_back(Matrix(Vector(t, 1.0f, 2.0f - t), Vector(c, 0, -n), Vector(0, 1, 0), Vector(n, 0, c)));
    arm.points.push_back({Vector(0, 0, 0), Vector(1, 0, 0), Vector(1, 1, t), Vector(0, 1, 0), Vector(0.5f, 2, -t)});
    leg.placements.push_back(Matrix(Vector(-3, t * 0.5f, 1), Vector(2, 0, 0), Vector(0, 2, 0), Vector(0, 0, 2)));
    // The last point is unused and sits on another: kept all the same.
    leg.points.push_back({Vector(t, 0, 1), Vector(0, 1, 1), Vector(0, 0, 1 + t), Vector(0, 1, 1)});
  }
  series.meshes = {arm, leg};
  return series;
}

// Placement times point worked out here in double, then the OBJ's frame:
// (x, y, -z) times the scale, or unchanged with raw axes.
Point expected(const AnimatedMesh& mesh, size_t sample, size_t i, float scale, bool raw) {
  const Matrix& m = mesh.placements[sample];
  const Vector& p = mesh.points[sample][i];
  const auto axis = [&](float o, float a, float b, float c) {
    return static_cast<double>(o) + double(a) * p.x + double(b) * p.y + double(c) * p.z;
  };
  const double x = axis(m.off.x, m.v1.x, m.v2.x, m.v3.x);
  const double y = axis(m.off.y, m.v1.y, m.v2.y, m.v3.y);
  const double z = axis(m.off.z, m.v1.z, m.v2.z, m.v3.z);
  return {static_cast<float>(x * scale), static_cast<float>(y * scale), static_cast<float>((raw ? z : -z) * scale)};
}

void expect_positions(const Cache& cache, const FrameSeries& series, size_t mesh, float scale, bool raw,
                      const std::filesystem::path& rest_obj) {
  const AnimatedMesh& m = series.meshes[mesh];
  ASSERT_TRUE(cache.complete);
  ASSERT_EQ(cache.samples, static_cast<int32_t>(series.samples()));
  ASSERT_EQ(cache.points, static_cast<int32_t>(m.points[0].size()));
  for (size_t s = 0; s < series.samples(); ++s)
    for (size_t i = 0; i < m.points[s].size(); ++i) {
      const Point want = expected(m, s, i, scale, raw);
      for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(cache.positions[s][i][k], want[k], 1e-4) << m.name << " sample " << s << " point " << i;
    }
  // The rest mesh is the first sample, vertex for point, to the bit.
  const std::vector<Point> rest = obj_vertices(rest_obj);
  ASSERT_EQ(rest.size(), cache.positions[0].size()) << rest_obj;
  for (size_t i = 0; i < rest.size(); ++i) EXPECT_EQ(rest[i], cache.positions[0][i]) << rest_obj << " vertex " << i;
}

TEST(PointCache, Pc2HoldsEveryMeshInTheObjFrameBesideItsRestObj) {
  TempDir dir;
  const FrameSeries series = moving_meshes();
  ExportOptions options;
  options.scale = 2.0f;
  {
    OutputBatch command;  // the caller's own batch: the files join it
    ASSERT_TRUE(write_point_caches(series, dir / "anim.PC2", options).ok());
    EXPECT_EQ(dir.names().size(), 5u);
    for (const std::string& name : dir.names()) EXPECT_EQ(name[0], '.') << "in place before the command commits";
    ASSERT_TRUE(command.commit().ok());
  }
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"anim_Arm.PC2", "anim_Arm.mtl", "anim_Arm.obj",
                                                   "anim_Leg_2_left.PC2", "anim_Leg_2_left.obj"}));
  for (size_t mesh = 0; mesh < 2; ++mesh) {
    const std::string stem = mesh == 0 ? "anim_Arm" : "anim_Leg_2_left";
    const Cache cache = read_pc2(dir / (stem + ".PC2"));
    EXPECT_EQ(cache.signature, std::string("POINTCACHE2\0", 12));
    EXPECT_EQ(cache.version, 1);
    EXPECT_EQ(cache.start, 10.0f);
    EXPECT_EQ(cache.rate, 2.0f);
    expect_positions(cache, series, mesh, 2.0f, false, dir / (stem + ".obj"));
  }
  EXPECT_NE(read_file(dir / "anim_Arm.mtl").find("Kd 0.8 0.2 0.1"), std::string::npos);
}

TEST(PointCache, MddKeepsUnevenTimesAndOneMeshTakesTheFileName) {
  TempDir dir;
  FrameSeries series = moving_meshes({0, 1, 3, 7});
  series.meshes.resize(1);
  ExportOptions options;
  options.raw_axes = true;
  ASSERT_TRUE(write_point_caches(series, dir / "one.mdd", options).ok());
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"one.mdd", "one.mtl", "one.obj"}));
  const Cache cache = read_mdd(dir / "one.mdd");
  EXPECT_EQ(cache.times, (std::vector<float>{0.0f, 1.0f / 24, 3.0f / 24, 7.0f / 24}));
  expect_positions(cache, series, 0, 1.0f, true, dir / "one.obj");
}

TEST(PointCache, MeshNamesBecomeSafeUniqueFileNames) {
  FrameSeries series;
  for (const char* name : {"Box", "box", "", "a:b*c?", "Box"}) series.meshes.push_back(AnimatedMesh{name, {}, {}, {}, {}, {}});
  std::vector<std::string> names;
  for (const auto& p : point_cache_names(series, "out/take.mdd")) names.push_back(p.string());
  EXPECT_EQ(names, (std::vector<std::string>{"out/take_Box.mdd", "out/take_box_2.mdd", "out/take_mesh2.mdd",
                                             "out/take_a_b_c_.mdd", "out/take_Box_3.mdd"}));
  // A name keeps 64 bytes of itself, cut before a character it would split.
  series.meshes.clear();
  for (const std::string& name : {std::string(64, 'm'), std::string(65, 'n'), std::string(63, 'u') + "\xC3\xA9"})
    series.meshes.push_back(AnimatedMesh{name, {}, {}, {}, {}, {}});
  names.clear();
  for (const auto& p : point_cache_names(series, "take.pc2")) names.push_back(p.string());
  EXPECT_EQ(names, (std::vector<std::string>{"take_" + std::string(64, 'm') + ".pc2",
                                             "take_" + std::string(64, 'n') + ".pc2",
                                             "take_" + std::string(63, 'u') + ".pc2"}));
}

TEST(PointCache, RefusalsNameTheProblemAndLeaveNoFile) {
  TempDir dir;
  const auto refused = [&](const FrameSeries& series, const std::string& file, const std::string& words) {
    const Status s = write_point_caches(series, dir / file, ExportOptions{});
    ASSERT_FALSE(s.ok()) << file;
    // The file named is the one asked for, or the mesh's own beside it.
    EXPECT_NE(s.message().find(std::filesystem::path(file).stem().string()), std::string::npos) << s.message();
    EXPECT_NE(s.message().find(words), std::string::npos) << s.message();
    EXPECT_TRUE(dir.names().empty()) << file << ": " << dir.names().front();
  };
  FrameSeries growing = moving_meshes();
  growing.meshes[1].points[2].push_back(Vector(0, 0, 0));
  refused(growing, "grow.pc2", "mesh 'Leg 2/left' has 4 points at frame 10 but 5 at frame 14");
  refused(moving_meshes({1, 2, 4}), "uneven.pc2", "frame 4 breaks the step of 1");
  refused(moving_meshes(), "anim.abc", "supported: .pc2 .mdd");
  // Found only while writing the second mesh, after the first one's files.
  FrameSeries broken = moving_meshes();
  broken.meshes[1].points[3][0].x = NAN;
  refused(broken, "late.mdd", "mesh 'Leg 2/left': point 0 at frame 16 is not a finite number");
}

}  // namespace
