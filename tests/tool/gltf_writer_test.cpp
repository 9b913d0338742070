// The glTF writer's content, read with a plain JSON parser: one node per mesh
// at the top, no extensions, normals of unit length that are smooth across
// gentle bends and split at hard edges, colours clamped into 0..1.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "gltf_writer.h"
#include "surface_normals.h"
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

struct Glb {
  Json json;
  std::string bin;
};

Glb parse_glb(const std::string& bytes) {
  Glb out;
  EXPECT_EQ(bytes.substr(0, 4), "glTF");
  EXPECT_EQ(u32(bytes, 8), bytes.size());
  const uint32_t json_length = u32(bytes, 12);
  EXPECT_EQ(bytes.substr(16, 4), "JSON");
  out.json = Json::parse(bytes.substr(20, json_length));
  const size_t bin_at = 20 + json_length;
  if (bin_at < bytes.size()) {
    EXPECT_EQ(bytes.substr(bin_at + 4, 4), std::string("BIN\0", 4));
    out.bin = bytes.substr(bin_at + 8, u32(bytes, bin_at));
  }
  return out;
}

std::vector<Vector> vectors(const Glb& glb, int accessor) {
  const Json& a = glb.json["accessors"][accessor];
  const Json& view = glb.json["bufferViews"][a["bufferView"].get<int>()];
  std::vector<Vector> out(a["count"].get<size_t>());
  std::memcpy(out.data(), glb.bin.data() + view["byteOffset"].get<size_t>(), out.size() * 12);
  return out;
}

std::vector<uint32_t> indices(const Glb& glb, int accessor) {
  const Json& a = glb.json["accessors"][accessor];
  const Json& view = glb.json["bufferViews"][a["bufferView"].get<int>()];
  std::vector<uint32_t> out(a["count"].get<size_t>());
  std::memcpy(out.data(), glb.bin.data() + view["byteOffset"].get<size_t>(), out.size() * 4);
  return out;
}

// A closed cylinder of `segments` sides: round side, hard rims.
Mesh cylinder(int segments, std::optional<Vector> colour) {
  Mesh m;
  m.name = "Tube";
  m.colour = colour;
  for (int ring = 0; ring < 2; ++ring)
    for (int s = 0; s < segments; ++s) {
      const float a = 6.2831853f * float(s) / float(segments);
      m.points.push_back({std::cos(a), std::sin(a), float(ring)});
    }
  for (int s = 0; s < segments; ++s) {
    const int n = (s + 1) % segments;
    m.add_polygon({s, n, segments + n, segments + s});
  }
  for (int s = 1; s + 1 < segments; ++s) {
    m.add_polygon(make_triangle(0, s + 1, s));
    m.add_polygon(make_triangle(segments, segments + s, segments + s + 1));
  }
  return m;
}

TEST(GltfWriter, OneTopNodePerMeshNoExtensionsAndClampedColours) {
  TempDir dir;
  Mesh hot = cylinder(12, Vector(100.0f, 0.5f, -3.0f));  // a gradient brightness of 100
  Mesh plain = cylinder(5, std::nullopt);
  plain.name = "Plain";
  ASSERT_TRUE(write_gltf({hot, plain}, dir / "t.glb", GltfContainer::binary, NormalStyle::smooth).ok());
  const Glb glb = parse_glb(read_file(dir / "t.glb"));
  const Json& j = glb.json;
  EXPECT_FALSE(j.contains("extensionsUsed"));
  EXPECT_FALSE(j.contains("extensionsRequired"));
  ASSERT_EQ(j["nodes"].size(), 2u);
  EXPECT_EQ(j["scenes"][0]["nodes"], Json::array({0, 1}));
  EXPECT_EQ(j["nodes"][0]["name"], "Tube");
  EXPECT_EQ(j["nodes"][1]["name"], "Plain");
  for (const Json& node : j["nodes"]) EXPECT_FALSE(node.contains("children"));
  EXPECT_EQ(j["materials"][0]["pbrMetallicRoughness"]["baseColorFactor"], Json::array({1.0, 0.5, 0.0, 1.0}));
  EXPECT_FALSE(j["materials"][1]["pbrMetallicRoughness"].contains("baseColorFactor"));
  EXPECT_EQ(j["buffers"][0]["byteLength"].get<size_t>(), glb.bin.size());
}

TEST(GltfWriter, NormalsAreSmoothAcrossTheSideAndSplitAtTheRims) {
  TempDir dir;
  const Mesh tube = cylinder(16, std::nullopt);
  for (NormalStyle style : {NormalStyle::smooth, NormalStyle::flat}) {
    SCOPED_TRACE(style == NormalStyle::smooth ? "smooth" : "flat");
    ASSERT_TRUE(write_gltf({tube}, dir / "t.glb", GltfContainer::binary, style).ok());
    const Glb glb = parse_glb(read_file(dir / "t.glb"));
    const Json& attributes = glb.json["meshes"][0]["primitives"][0]["attributes"];
    const std::vector<Vector> positions = vectors(glb, attributes["POSITION"]);
    const std::vector<Vector> normals = vectors(glb, attributes["NORMAL"]);
    ASSERT_EQ(positions.size(), normals.size());
    size_t radial = 0, axial = 0;
    for (size_t i = 0; i < normals.size(); ++i) {
      const Vector& n = normals[i];
      EXPECT_NEAR(Dot(n, n), 1.0f, 1e-5f);
      if (std::fabs(n.z) > 0.999f) {
        ++axial;  // a cap's
      } else if (std::fabs(n.z) < 1e-5f) {
        // Smooth: pointing straight out through its own point.
        if (style == NormalStyle::smooth) {
          EXPECT_NEAR(Dot(n, Vector(positions[i].x, positions[i].y, 0)), 1.0f, 1e-4f);
        }
        ++radial;
      } else {
        ADD_FAILURE() << "normal " << i << " leans between side and cap";
      }
    }
    // Smooth: each rim point once for the side and once for its cap.
    // Flat: every side point once for each of its two quads.
    EXPECT_EQ(radial, style == NormalStyle::smooth ? 32u : 64u);
    EXPECT_EQ(axial, 32u);  // a cap is one plane: its corners share their points either way
  }
}

// The indices are made while the file is written, apart from the vertices:
// every triangle must land on its polygon's corners, in order, whether the
// corners share their points' vertices or have their own.
TEST(GltfWriter, TrianglesLieOnTheCornersOfEveryPolygonInOrder) {
  TempDir dir;
  Mesh tube = cylinder(16, std::nullopt);
  tube.points.push_back({5, 5, 5});  // unused: left out
  Mesh large = cylinder(40000, std::nullopt);  // more than one of the writer's chunks
  std::vector<Polygon> side = mesh_polygons(large);
  side.resize(40000);  // its side alone
  set_polygons(large, side);
  for (NormalStyle style : {NormalStyle::smooth, NormalStyle::flat}) {
    SCOPED_TRACE(style == NormalStyle::smooth ? "smooth" : "flat");
    ASSERT_TRUE(write_gltf({large, tube}, dir / "t.glb", GltfContainer::binary, style).ok());
    const Glb glb = parse_glb(read_file(dir / "t.glb"));
    for (int m = 0; m < 2; ++m) {
      const Mesh& mesh = m == 0 ? large : tube;
      const Json& primitive = glb.json["meshes"][m]["primitives"][0];
      const std::vector<Vector> positions = vectors(glb, primitive["attributes"]["POSITION"]);
      const std::vector<uint32_t> triangles = indices(glb, primitive["indices"]);
      size_t t = 0;
      for (const Polygon& q : mesh_polygons(mesh)) {
        std::vector<int32_t> corners = {q.a, q.b, q.c};
        if (!q.is_triangle()) corners.insert(corners.end(), {q.a, q.c, q.d});
        for (int32_t corner : corners) {
          ASSERT_LT(t, triangles.size());
          ASSERT_LT(triangles[t], positions.size());
          ASSERT_EQ(positions[triangles[t++]], mesh.points[size_t(corner)]);
        }
      }
      EXPECT_EQ(t, triangles.size());
    }
    const size_t small = vectors(glb, glb.json["meshes"][1]["primitives"][0]["attributes"]["POSITION"]).size();
    EXPECT_EQ(small, style == NormalStyle::smooth ? 64u : 96u);
  }
}

TEST(GltfWriter, TextFormKeepsItsBufferBesideUnderAnEscapedName) {
  TempDir dir;
  ASSERT_TRUE(write_gltf({cylinder(6, Vector(0.2f, 0.4f, 0.6f))}, dir / "my tube.gltf", GltfContainer::text,
                         NormalStyle::smooth)
                  .ok());
  const Json j = Json::parse(read_file(dir / "my tube.gltf"));
  EXPECT_EQ(j["buffers"][0]["uri"], "my%20tube.bin");
  EXPECT_EQ(std::filesystem::file_size(dir / "my tube.bin"), j["buffers"][0]["byteLength"].get<size_t>());
  // Reals in their shortest form: 0.2, not 0.20000000298023224.
  EXPECT_NE(read_file(dir / "my tube.gltf").find("0.2,"), std::string::npos);
}

TEST(GltfWriter, PointMeshesAndEmptyMeshesStayValid) {
  TempDir dir;
  Mesh points;
  points.name = "Cloud";
  points.points = {{0, 0, 0}, {1, 2, 3}};
  Mesh empty;
  empty.name = "Nothing";
  ASSERT_TRUE(write_gltf({points, empty}, dir / "p.glb", GltfContainer::binary, NormalStyle::smooth).ok());
  const Json j = parse_glb(read_file(dir / "p.glb")).json;
  EXPECT_EQ(j["meshes"][0]["primitives"][0]["mode"], 0);
  EXPECT_FALSE(j["nodes"][1].contains("mesh"));
  EXPECT_EQ(j["nodes"].size(), 2u);
}

}  // namespace
