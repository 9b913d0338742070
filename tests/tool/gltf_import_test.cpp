// glTF import against files nobody here wrote (Debian's assimp-testmodels):
// every node that uses a mesh brings its own copy, placed by that node's
// transform; a primitive keeps only the points its triangles use; and
// degenerate triangles are left out, so the engine model has the 110,342
// triangles Blender's importer gives it. The expected points come from the
// file itself, read here by a few lines that share nothing with the tool.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <unistd.h>

#include "mesh_import.h"

namespace {

using kurvo::media::ImportOptions;
using kurvo::media::import_meshes;
using kurvo::media::Mesh;

const std::filesystem::path kModels = "/usr/share/assimp/models/glTF2";
using Matrix = std::array<double, 16>;  // column major, as glTF writes it
using Point = std::array<double, 3>;

Matrix multiply(const Matrix& a, const Matrix& b) {
  Matrix m{};
  for (int c = 0; c < 4; ++c)
    for (int r = 0; r < 4; ++r)
      for (int k = 0; k < 4; ++k) m[c * 4 + r] += a[k * 4 + r] * b[c * 4 + k];
  return m;
}

Matrix node_matrix(const nlohmann::json& node) {
  Matrix m{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
  if (node.contains("matrix")) {
    for (int i = 0; i < 16; ++i) m[i] = node["matrix"][i].get<double>();
    return m;
  }
  const auto get = [&](const char* key, std::vector<double> fallback) {
    return node.contains(key) ? node[key].get<std::vector<double>>() : fallback;
  };
  const auto t = get("translation", {0, 0, 0}), q = get("rotation", {0, 0, 0, 1}), s = get("scale", {1, 1, 1});
  const double x = q[0], y = q[1], z = q[2], w = q[3];
  const double r[9] = {1 - 2 * (y * y + z * z), 2 * (x * y + z * w), 2 * (x * z - y * w),
                       2 * (x * y - z * w), 1 - 2 * (x * x + z * z), 2 * (y * z + x * w),
                       2 * (x * z + y * w), 2 * (y * z - x * w), 1 - 2 * (x * x + y * y)};
  for (int c = 0; c < 3; ++c)
    for (int k = 0; k < 3; ++k) m[c * 4 + k] = r[c * 3 + k] * s[c];
  m[12] = t[0], m[13] = t[1], m[14] = t[2];
  return m;
}

// The file's triangles as placed in the scene: per primitive, by its name as
// an importer gives it (the mesh's name, "-K" after it when the mesh has
// several primitives), one list of points per node using its mesh, each
// the points its non-degenerate triangles use, in accessor order.
using Instances = std::vector<std::vector<Point>>;
struct Expected {
  std::map<std::string, Instances> primitives;
  size_t triangles = 0;
};

Expected read_glb(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  uint32_t json_length = 0;
  std::memcpy(&json_length, data.data() + 12, 4);
  const nlohmann::json gltf = nlohmann::json::parse(data.substr(20, json_length));
  const char* bin = data.data() + 20 + json_length + 8;
  const auto element = [&](int accessor, size_t i, int component) -> double {
    const nlohmann::json& a = gltf["accessors"][accessor];
    const nlohmann::json& view = gltf["bufferViews"][a["bufferView"].get<int>()];
    const int type = a["componentType"];
    const size_t size = type == 5126 || type == 5125 ? 4 : type == 5123 ? 2 : 1;
    const size_t count = a["type"] == "VEC3" ? 3 : 1;
    const size_t stride = view.value("byteStride", size * count);
    const char* at = bin + view.value("byteOffset", 0) + a.value("byteOffset", 0) + i * stride + component * size;
    if (type == 5126) {
      float f;
      std::memcpy(&f, at, 4);
      return f;
    }
    uint32_t u = 0;
    std::memcpy(&u, at, size);
    return u;
  };
  // Every node's global matrix per mesh, depth first from the scene's roots.
  std::map<int, std::vector<Matrix>> uses;
  const std::function<void(int, const Matrix&)> walk = [&](int n, const Matrix& parent) {
    const nlohmann::json& node = gltf["nodes"][n];
    const Matrix global = multiply(parent, node_matrix(node));
    if (node.contains("mesh")) uses[node["mesh"].get<int>()].push_back(global);
    for (int child : node.value("children", std::vector<int>{})) walk(child, global);
  };
  for (int root : gltf["scenes"][gltf.value("scene", 0)]["nodes"]) walk(root, Matrix{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1});
  Expected out;
  for (size_t m = 0; m < gltf["meshes"].size(); ++m)
    for (size_t k = 0; k < gltf["meshes"][m]["primitives"].size(); ++k) {
      const nlohmann::json& mesh = gltf["meshes"][m];
      const nlohmann::json& primitive = mesh["primitives"][k];
      std::string name = mesh.value("name", "");
      if (mesh["primitives"].size() > 1) name.append("-").append(std::to_string(k));
      const int position = primitive["attributes"]["POSITION"];
      const int indices = primitive["indices"];
      const size_t corners = gltf["accessors"][indices]["count"];
      std::vector<bool> used(gltf["accessors"][position]["count"].get<size_t>(), false);
      size_t triangles = 0;
      for (size_t t = 0; t + 2 < corners; t += 3) {
        const size_t a = size_t(element(indices, t, 0)), b = size_t(element(indices, t + 1, 0)),
                     c = size_t(element(indices, t + 2, 0));
        if (a == b || b == c || a == c) continue;
        used[a] = used[b] = used[c] = true;
        ++triangles;
      }
      Instances& instances = out.primitives[name];
      for (const Matrix& g : uses[int(m)]) {
        out.triangles += triangles;
        auto& points = instances.emplace_back();
        for (size_t i = 0; i < used.size(); ++i) {
          if (!used[i]) continue;
          const double x = element(position, i, 0), y = element(position, i, 1), z = element(position, i, 2);
          points.push_back({g[0] * x + g[4] * y + g[8] * z + g[12], g[1] * x + g[5] * y + g[9] * z + g[13],
                            g[2] * x + g[6] * y + g[10] * z + g[14]});
        }
      }
    }
  return out;
}

TEST(GltfImport, EveryNodeInstanceArrivesPlacedWithOnlyTheUsedPoints) {
  const std::filesystem::path file = kModels / "2CylinderEngine-glTF-Binary/2CylinderEngine.glb";
  if (!std::filesystem::exists(file)) GTEST_SKIP() << "Debian's assimp-testmodels is not installed";
  const Expected expected = read_glb(file);
  ASSERT_EQ(expected.triangles, 110342u);  // as Blender imports the file
  const auto imported = import_meshes(file, ImportOptions{.raw_axes = true});
  ASSERT_TRUE(imported.ok()) << imported.message();
  const std::vector<Mesh>& meshes = imported.value();
  size_t triangles = 0;
  for (const Mesh& mesh : meshes) triangles += mesh.face_count();
  EXPECT_EQ(triangles, expected.triangles);

  // Each primitive's instances, matched by name and then each to the
  // imported one nearest to it, in whatever order they come.
  std::map<std::string, Instances> got;
  for (const Mesh& mesh : meshes) {
    auto& points = got[mesh.name].emplace_back();
    for (const auto& v : mesh.points) points.push_back({v.x, v.y, v.z});
  }
  ASSERT_EQ(got.size(), expected.primitives.size());
  const auto distance = [](const std::vector<Point>& a, const std::vector<Point>& b) {
    double d = 0;
    for (size_t k = 0; k < a.size(); ++k)
      for (int c = 0; c < 3; ++c) d = std::max(d, std::fabs(a[k][c] - b[k][c]));
    return d;
  };
  double worst = 0;
  for (const auto& [name, want] : expected.primitives) {
    Instances& have = got[name];
    ASSERT_EQ(have.size(), want.size()) << name;
    for (const std::vector<Point>& w : want) {
      ASSERT_EQ(have.front().size(), w.size()) << name;
      auto nearest = std::min_element(have.begin(), have.end(), [&](const auto& a, const auto& b) {
        return distance(a, w) < distance(b, w);
      });
      worst = std::max(worst, distance(*nearest, w));
      have.erase(nearest);  // each imported instance stands for one node
    }
  }
  EXPECT_LT(worst, 1e-3);  // the model spans about 1,000 units
}

// Two primitives naming halves of one shared buffer of six points, the
// mesh used by two nodes: four meshes of three points each, where the nodes
// put them.
TEST(GltfImport, PrimitivesSharingABufferKeepOnlyTheirOwnPoints) {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("kurvo-gltf-shared-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::ofstream(dir / "shared.gltf") << R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0,1]}],
"nodes":[{"name":"here","mesh":0},{"name":"there","mesh":0,"translation":[0,0,10]}],
"meshes":[{"name":"halves","primitives":[{"attributes":{"POSITION":0},"indices":1},{"attributes":{"POSITION":0},"indices":2}]}],
"accessors":[{"bufferView":0,"componentType":5126,"count":6,"type":"VEC3","min":[0,0,0],"max":[6,1,0]},
  {"bufferView":1,"componentType":5123,"count":3,"type":"SCALAR"},
  {"bufferView":1,"byteOffset":6,"componentType":5123,"count":3,"type":"SCALAR"}],
"bufferViews":[{"buffer":0,"byteLength":72},{"buffer":0,"byteOffset":72,"byteLength":12}],
"buffers":[{"byteLength":84,"uri":"data:application/octet-stream;base64,AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAAAACgQAAAAAAAAAAAAADAQAAAAAAAAAAAAACgQAAAgD8AAAAAAAABAAIAAwAEAAUA"}]})";
  const auto imported = import_meshes(dir / "shared.gltf", ImportOptions{.raw_axes = true});
  std::filesystem::remove_all(dir);
  ASSERT_TRUE(imported.ok()) << imported.message();
  std::vector<std::vector<Point>> got;
  for (const Mesh& mesh : imported.value()) {
    ASSERT_EQ(mesh.face_count(), 1u);
    auto& points = got.emplace_back();
    for (const auto& v : mesh.points) points.push_back({v.x, v.y, v.z});
  }
  std::sort(got.begin(), got.end());
  const std::vector<std::vector<Point>> want = {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}},
                                                {{0, 0, 10}, {1, 0, 10}, {0, 1, 10}},
                                                {{5, 0, 0}, {6, 0, 0}, {5, 1, 0}},
                                                {{5, 0, 10}, {6, 0, 10}, {5, 1, 10}}};
  EXPECT_EQ(got, want);
}

}  // namespace
