// Animated glTF, read back with a plain JSON parser and the raw buffer, as a
// player would: the node's keyed transform applied to the base points plus
// the keyed morph displacement must put every point where the scene had it
// at that frame, mirrored into glTF's frame; objects that cannot be placed
// by a node (shear) carry world points; still objects carry nothing extra.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "gltf_animation.h"
#include "temp_dir.h"

using namespace kurvo::media;
using Json = nlohmann::json;

namespace {

std::string read_file(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

uint32_t u32(const std::string& bytes, size_t at) {
  uint32_t v;
  std::memcpy(&v, bytes.data() + at, 4);
  return v;
}

// The document and its buffer, from either container.
struct Gltf {
  Json json;
  std::string bin;

  explicit Gltf(const std::filesystem::path& file) {
    const std::string bytes = read_file(file);
    if (file.extension() == ".glb") {
      EXPECT_EQ(bytes.substr(0, 4), "glTF");
      EXPECT_EQ(u32(bytes, 8), bytes.size());
      const uint32_t json_length = u32(bytes, 12);
      json = Json::parse(bytes.substr(20, json_length));
      const size_t bin_at = 20 + json_length;
      if (bin_at < bytes.size()) bin = bytes.substr(bin_at + 8, u32(bytes, bin_at));
    } else {
      json = Json::parse(bytes);
      if (json.contains("buffers")) bin = read_file(file.parent_path() / json["buffers"][0]["uri"].get<std::string>());
    }
  }

  std::vector<float> floats(int accessor) const {
    const Json& a = json["accessors"][accessor];
    EXPECT_EQ(a["componentType"], 5126);
    const Json& view = json["bufferViews"][a["bufferView"].get<int>()];
    const std::map<std::string, size_t> width = {{"SCALAR", 1}, {"VEC3", 3}, {"VEC4", 4}};
    std::vector<float> out(a["count"].get<size_t>() * width.at(a["type"]));
    std::memcpy(out.data(), bin.data() + view["byteOffset"].get<size_t>() + a.value("byteOffset", size_t(0)),
                out.size() * 4);
    return out;
  }
  std::vector<uint32_t> indices(int accessor) const {
    const Json& a = json["accessors"][accessor];
    EXPECT_EQ(a["componentType"], 5125);
    std::vector<uint32_t> out(a["count"].get<size_t>());
    std::memcpy(out.data(), bin.data() + json["bufferViews"][a["bufferView"].get<int>()]["byteOffset"].get<size_t>(),
                out.size() * 4);
    return out;
  }
  std::vector<Vector> vectors(int accessor) const {
    const std::vector<float> f = floats(accessor);
    std::vector<Vector> out;
    for (size_t i = 0; i + 2 < f.size(); i += 3) out.push_back({f[i], f[i + 1], f[i + 2]});
    return out;
  }
  int node(const std::string& name) const {
    for (size_t i = 0; i < json["nodes"].size(); ++i)
      if (json["nodes"][i]["name"] == name) return static_cast<int>(i);
    ADD_FAILURE() << "no node " << name;
    return 0;
  }
  const Json& primitive_of(int node) const {
    return json["meshes"][json["nodes"][node]["mesh"].get<int>()]["primitives"][0];
  }
  // The output accessor of the channel driving `path` of a node, or -1.
  int channel(int node, const std::string& path) const {
    if (!json.contains("animations")) return -1;
    const Json& animation = json["animations"][0];
    for (const Json& c : animation["channels"])
      if (c["target"]["node"] == node && c["target"]["path"] == path)
        return animation["samplers"][c["sampler"].get<int>()]["output"];
    return -1;
  }
};

// A node's transform at one key: T + R (S p), from the keys when animated.
struct Trs {
  Vector t{0, 0, 0}, s{1, 1, 1};
  std::array<float, 4> q{0, 0, 0, 1};

  Trs(const Gltf& g, int node, size_t key) {
    const Json& n = g.json["nodes"][node];
    if (n.contains("translation")) t = {n["translation"][0], n["translation"][1], n["translation"][2]};
    if (n.contains("scale")) s = {n["scale"][0], n["scale"][1], n["scale"][2]};
    if (n.contains("rotation")) q = {n["rotation"][0], n["rotation"][1], n["rotation"][2], n["rotation"][3]};
    if (int a = g.channel(node, "translation"); a >= 0) t = g.vectors(a)[key];
    if (int a = g.channel(node, "scale"); a >= 0) s = g.vectors(a)[key];
    if (int a = g.channel(node, "rotation"); a >= 0)
      for (size_t i = 0; i < 4; ++i) q[i] = g.floats(a)[key * 4 + i];
  }
  Vector rotate(const Vector& v) const {  // v + 2 u x (u x v + w v)
    const Vector u(q[0], q[1], q[2]);
    return v + 2.0f * Cross(u, Cross(u, v) + q[3] * v);
  }
  Vector operator*(const Vector& p) const { return t + rotate(Vector(s.x * p.x, s.y * p.y, s.z * p.z)); }
};

Vector mirrored(const Vector& p) { return Vector(p.x, p.y, -p.z); }

// What a player shows of a mesh node at one key, in the file's world: the
// base positions plus the weighted displacements, through the node.
struct Shown {
  std::vector<Vector> positions, normals;
};

Shown shown_at(const Gltf& g, int node, size_t key) {
  const Json& primitive = g.primitive_of(node);
  Shown out;
  out.positions = g.vectors(primitive["attributes"]["POSITION"]);
  if (primitive["attributes"].contains("NORMAL")) out.normals = g.vectors(primitive["attributes"]["NORMAL"]);
  if (int a = g.channel(node, "weights"); a >= 0) {
    const size_t targets = primitive["targets"].size();
    const std::vector<float> weights = g.floats(a);
    EXPECT_EQ(weights.size(), g.json["accessors"][g.json["animations"][0]["samplers"][0]["input"].get<int>()]["count"]
                                      .get<size_t>() * targets);
    for (size_t k = 0; k < targets; ++k) {
      const float w = weights[key * targets + k];
      if (w == 0.0f) continue;
      const std::vector<Vector> dp = g.vectors(primitive["targets"][k]["POSITION"]);
      for (size_t v = 0; v < dp.size(); ++v) out.positions[v] += w * dp[v];
      if (!out.normals.empty()) {
        const std::vector<Vector> dn = g.vectors(primitive["targets"][k]["NORMAL"]);
        for (size_t v = 0; v < dn.size(); ++v) out.normals[v] += w * dn[v];
      }
    }
  }
  const Trs trs(g, node, key);
  for (Vector& p : out.positions) p = trs * p;
  return out;
}

// A box of side 2 with its faces wound outwards as the host's are.
AnimatedMesh box(const std::string& name) {
  AnimatedMesh m;
  m.name = name;
  m.polygons = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
  m.colour = Vector(0.2f, 0.4f, 0.6f);
  return m;
}

std::vector<Vector> box_points(float top) {  // top: how far up the +Y face is pulled
  std::vector<Vector> p;
  for (int i = 0; i < 8; ++i) p.push_back(Vector(i & 1 ? 1.0f : -1.0f, i & 2 ? top : -1.0f, i & 4 ? 1.0f : -1.0f));
  return p;
}

Matrix sheared(float amount) {
  Matrix m = MatrixMove(Vector(0, 5, 0));
  m.v2 = Vector(amount, 1, 0);  // Y leans over X
  return m;
}

// Four samples: a box that moves, turns, grows along X and stretches its
// top; a still box off the origin; a box that is sheared at one sample, so
// cannot be placed by a node; and a cloud of points that drifts.
FrameSeries four_frames() {
  FrameSeries s;
  s.fps = 24.0;
  s.frames = {10, 11, 12, 14};
  AnimatedMesh moving = box("Moving"), still = box("Still"), leaning = box("Leaning");
  AnimatedMesh cloud;
  cloud.name = "Cloud";
  for (size_t k = 0; k < 4; ++k) {
    const float f = float(k);
    moving.placements.push_back(MatrixMove(Vector(f, 2 * f, 3 + f)) * MatrixRotY(2.0f * f) * MatrixRotX(0.3f) *
                                MatrixScale(Vector(1 + 0.5f * f, 1, 2)));
    moving.points.push_back(box_points(1 + f));
    still.placements.push_back(MatrixMove(Vector(-4, 0, 7)) * MatrixRotZ(0.5f));
    still.points.push_back(box_points(1));
    leaning.placements.push_back(k == 2 ? sheared(0.5f) : MatrixMove(Vector(0, 5, 0)));
    leaning.points.push_back(box_points(1));
    cloud.placements.push_back(Matrix());
    cloud.points.push_back({{f, 0, 0}, {0, f, 1}, {0, 0, 2 + f}});
  }
  s.meshes = {moving, still, leaning, cloud};
  return s;
}

// Every point of every object, at every key, where the scene has it (world,
// mirrored, times the scale); every triangle facing out, and its corners'
// normals of unit length along its face's.
void expect_frames_reproduced(const Gltf& g, const FrameSeries& series, float scale) {
  for (const AnimatedMesh& mesh : series.meshes) {
    SCOPED_TRACE(mesh.name);
    const int node = g.node(mesh.name);
    // Which point each vertex is: the nearest at the first key.
    std::vector<size_t> point_of;
    const std::vector<Vector> first = world_points(mesh, 0);
    for (const Vector& v : shown_at(g, node, 0).positions) {
      size_t best = 0;
      for (size_t i = 1; i < first.size(); ++i)
        if (Len(mirrored(first[i]) * scale - v) < Len(mirrored(first[best]) * scale - v)) best = i;
      point_of.push_back(best);
    }
    for (size_t key = 0; key < series.samples(); ++key) {
      SCOPED_TRACE("key " + std::to_string(key));
      const std::vector<Vector> world = world_points(mesh, key);
      const Shown shown = shown_at(g, node, key);
      Vector centre(0, 0, 0);
      for (const Vector& p : world) centre += mirrored(p) * (scale / float(world.size()));
      for (size_t v = 0; v < shown.positions.size(); ++v) {
        const Vector expected = mirrored(world[point_of[v]]) * scale;
        EXPECT_LT(Len(shown.positions[v] - expected), 1e-4f * scale * (1 + Len(expected))) << "vertex " << v;
      }
      for (const Vector& n : shown.normals) EXPECT_NEAR(Len(n), 1.0f, 1e-4f);
      // A box's faces meet at hard edges, so each corner has its face's
      // normal, pointing out of the box (checked where the node does not
      // stretch normals).
      const Trs trs(g, node, key);
      if (shown.normals.empty() || trs.s != Vector(1, 1, 1)) continue;
      const std::vector<uint32_t> triangles = g.indices(g.primitive_of(node)["indices"]);
      for (size_t t = 0; t + 2 < triangles.size(); t += 3) {
        const Vector& a = shown.positions[triangles[t]];
        const Vector& b = shown.positions[triangles[t + 1]];
        const Vector& c = shown.positions[triangles[t + 2]];
        const Vector face = Normalize(Cross(b - a, c - a));
        EXPECT_GT(Dot(face, a - centre), 0.0f) << "triangle " << t / 3 << " faces inwards";
        for (size_t k = 0; k < 3; ++k)
          EXPECT_LT(Len(trs.rotate(shown.normals[triangles[t + k]]) - face), 1e-4f) << "triangle " << t / 3;
      }
    }
  }
}

TEST(GltfAnimation, KeysReproduceEveryFrameInBothContainers) {
  TempDir dir;
  const FrameSeries series = four_frames();
  for (const char* name : {"a.glb", "a.gltf"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(write_animated_gltf(series, dir / name, ExportOptions{false, 2.0f, NormalStyle::smooth}).ok());
    const Gltf g(dir / name);
    expect_frames_reproduced(g, series, 2.0f);

    const Json& animation = g.json["animations"][0];
    EXPECT_EQ(animation["name"], "Take");
    for (const Json& sampler : animation["samplers"]) EXPECT_EQ(sampler["interpolation"], "LINEAR");
    const std::vector<float> times = g.floats(animation["samplers"][0]["input"]);
    EXPECT_EQ(times, (std::vector<float>{0.0f, 1 / 24.0f, 2 / 24.0f, 4 / 24.0f}));

    // The moving box: every path keyed, its shape too; targets named by frame.
    const int moving = g.node("Moving");
    for (const char* path : {"translation", "rotation", "scale", "weights"})
      EXPECT_GE(g.channel(moving, path), 0) << path;
    const Json& mesh = g.json["meshes"][g.json["nodes"][moving]["mesh"].get<int>()];
    EXPECT_EQ(mesh["extras"]["targetNames"], Json::array({"frame 11", "frame 12", "frame 14"}));
    EXPECT_EQ(mesh["weights"], Json::array({0, 0, 0}));
    // Neighbouring keys turn the short way round.
    const std::vector<float> q = g.floats(g.channel(moving, "rotation"));
    for (size_t k = 1; k < 4; ++k) {
      float dot = 0;
      for (size_t i = 0; i < 4; ++i) dot += q[k * 4 + i] * q[(k - 1) * 4 + i];
      EXPECT_GT(dot, 0.0f);
    }

    // The still box: placed by its node, nothing keyed, no targets.
    const int still = g.node("Still");
    EXPECT_TRUE(g.json["nodes"][still].contains("rotation"));
    for (const char* path : {"translation", "rotation", "scale", "weights"})
      EXPECT_LT(g.channel(still, path), 0) << path;
    EXPECT_FALSE(g.primitive_of(still).contains("targets"));

    // The leaning box: baked, its node at identity, only its shape keyed.
    const Json& leaning = g.json["nodes"][g.node("Leaning")];
    for (const char* path : {"translation", "rotation", "scale"}) {
      EXPECT_FALSE(leaning.contains(path)) << path;
      EXPECT_LT(g.channel(g.node("Leaning"), path), 0) << path;
    }
    EXPECT_GE(g.channel(g.node("Leaning"), "weights"), 0);

    // The cloud: points, displaced without normals.
    const Json& cloud = g.primitive_of(g.node("Cloud"));
    EXPECT_EQ(cloud["mode"], 0);
    EXPECT_FALSE(cloud["targets"][0].contains("NORMAL"));
  }
}

TEST(GltfAnimation, RawAxesKeepTheHostFrame) {
  TempDir dir;
  const FrameSeries series = four_frames();
  ASSERT_TRUE(write_animated_gltf(series, dir / "raw.glb", ExportOptions{true, 1.0f, NormalStyle::flat}).ok());
  const Gltf g(dir / "raw.glb");
  for (const AnimatedMesh& mesh : series.meshes) {
    SCOPED_TRACE(mesh.name);
    for (size_t key = 0; key < series.samples(); ++key) {
      const std::vector<Vector> world = world_points(mesh, key);
      for (const Vector& p : shown_at(g, g.node(mesh.name), key).positions) {
        float nearest = 1e9f;
        for (const Vector& w : world) nearest = std::min(nearest, Len(w - p));
        EXPECT_LT(nearest, 1e-4f) << "key " << key;
      }
    }
  }
}

TEST(GltfAnimation, OneFrameIsAStillFile) {
  TempDir dir;
  FrameSeries series = four_frames();
  series.frames = {3};
  for (AnimatedMesh& mesh : series.meshes) {
    mesh.placements.resize(1);
    mesh.points.resize(1);
  }
  ASSERT_TRUE(write_animated_gltf(series, dir / "one.glb", {}).ok());
  const Gltf g(dir / "one.glb");
  EXPECT_FALSE(g.json.contains("animations"));
  for (const Json& mesh : g.json["meshes"]) EXPECT_FALSE(mesh["primitives"][0].contains("targets"));
  expect_frames_reproduced(g, series, 1.0f);
}

TEST(GltfAnimation, SceneMistakesNameTheFileAndWriteNothing) {
  TempDir dir;
  const auto fails = [&](const FrameSeries& series, const std::string& name, const std::string& says,
                         ExportOptions options = {}) {
    const Status s = write_animated_gltf(series, dir / name, options);
    EXPECT_FALSE(s.ok()) << name;
    EXPECT_NE(s.message().find(name), std::string::npos) << s.message();
    EXPECT_NE(s.message().find(says), std::string::npos) << s.message();
    EXPECT_TRUE(dir.names().empty()) << name;
  };
  FrameSeries close = four_frames();
  close.frames = {0, 1, 1e9, 1e9 + 1e-3};
  fails(close, "close.glb", "frames 1000000000 and 1000000000.001 are too close");
  FrameSeries grown = four_frames();
  grown.meshes[0].points[2].push_back({0, 0, 0});
  fails(grown, "grown.gltf", "\"Moving\": has 8 points at frame 10 but 9 at frame 12");
  FrameSeries far = four_frames();
  far.meshes[3].points[3][0] = Vector(3e38f, 0, 0);
  fails(far, "far.glb", "\"Cloud\": a point is not a finite number", ExportOptions{false, 10.0f, NormalStyle::smooth});
  fails(four_frames(), "a.obj", "animations are written as .glb or .gltf");
}

// Files for the validator test registered beside this one (tests/tool/CMakeLists.txt).
TEST(GltfAnimation, WritesFilesForTheValidator) {
  const std::filesystem::path out = KURVO_GLTF_ANIMATION_OUT;
  std::filesystem::create_directories(out);
  FrameSeries one = four_frames();
  one.frames.resize(1);
  for (AnimatedMesh& mesh : one.meshes) {
    mesh.placements.resize(1);
    mesh.points.resize(1);
  }
  EXPECT_TRUE(write_animated_gltf(four_frames(), out / "four-frames.glb", {}).ok());
  EXPECT_TRUE(write_animated_gltf(four_frames(), out / "four-frames.gltf", {}).ok());
  EXPECT_TRUE(
      write_animated_gltf(four_frames(), out / "four-frames-raw-flat.glb", {true, 3.0f, NormalStyle::flat}).ok());
  EXPECT_TRUE(write_animated_gltf(one, out / "one-frame.glb", {}).ok());
}

}  // namespace
