// What a real asset carries through glTF: UVs per corner, normals, colours
// per point, materials and their images. Against a file nobody here wrote
// (Debian's assimp-testmodels BoxTextured.glb, read here by a few lines of
// its own), then through the writer and back, with the written files kept
// for the Khronos validator.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <set>
#include <tuple>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "gltf_writer.h"
#include "mesh_import.h"
#include "png_writer.h"
#include "raster.h"

namespace {

using namespace kurvo::media;

const std::filesystem::path kBox = "/usr/share/assimp/models/glTF2/BoxTextured-glTF-Binary/BoxTextured.glb";

struct GlbFile {
  nlohmann::json json;
  std::string bin;
};

GlbFile read_glb(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  uint32_t length = 0;
  std::memcpy(&length, data.data() + 12, 4);
  GlbFile out{nlohmann::json::parse(data.substr(20, length)), data.substr(20 + length + 8)};
  return out;
}

std::string view_bytes(const GlbFile& f, int view) {
  const auto& v = f.json["bufferViews"][view];
  return f.bin.substr(v.value("byteOffset", 0), v["byteLength"].get<size_t>());
}

std::vector<float> floats(const GlbFile& f, int accessor, int width) {
  const auto& a = f.json["accessors"][accessor];
  const std::string bytes = view_bytes(f, a["bufferView"]);
  std::vector<float> out(a["count"].get<size_t>() * width);
  std::memcpy(out.data(), bytes.data() + a.value("byteOffset", 0), out.size() * 4);
  return out;
}

std::vector<uint32_t> indices(const GlbFile& f, int accessor) {
  const auto& a = f.json["accessors"][accessor];
  const std::string bytes = view_bytes(f, a["bufferView"]);
  std::vector<uint32_t> out(a["count"].get<size_t>());
  const int type = a["componentType"];
  for (size_t i = 0; i < out.size(); ++i) {
    uint32_t v = 0;
    std::memcpy(&v, bytes.data() + a.value("byteOffset", 0) + i * (type == 5123 ? 2 : 4), type == 5123 ? 2 : 4);
    out[i] = v;
  }
  return out;
}

// The box's corners as the file has them: per index of its one primitive,
// the UV (t turned into v = 1 - t, as the model keeps UVs) and the normal.
struct FileCorners {
  std::vector<Uv> uvs;
  std::vector<Vector> normals;
  std::string image;
};

FileCorners box_corners() {
  const GlbFile f = read_glb(kBox);
  const auto& primitive = f.json["meshes"][0]["primitives"][0];
  const std::vector<float> uv = floats(f, primitive["attributes"]["TEXCOORD_0"], 2);
  const std::vector<float> n = floats(f, primitive["attributes"]["NORMAL"], 3);
  FileCorners out;
  for (uint32_t i : indices(f, primitive["indices"])) {
    out.uvs.push_back(Uv{uv[2 * i], 1.0f - uv[2 * i + 1]});
    out.normals.emplace_back(n[3 * i], n[3 * i + 1], n[3 * i + 2]);
  }
  out.image = view_bytes(f, f.json["images"][0]["bufferView"]);
  return out;
}

void expect_box(const Mesh& mesh, const FileCorners& want, const std::string& what) {
  SCOPED_TRACE(what);
  ASSERT_EQ(mesh.uv_sets.size(), 1u);
  ASSERT_EQ(mesh.corners.size(), want.uvs.size());
  ASSERT_EQ(mesh.corner_normals.size(), want.normals.size());
  float uv = 0, normal = 0;
  for (size_t c = 0; c < want.uvs.size(); ++c) {
    uv = std::max({uv, std::fabs(mesh.uv_sets[0].uvs[c].u - want.uvs[c].u), std::fabs(mesh.uv_sets[0].uvs[c].v - want.uvs[c].v)});
    normal = std::max(normal, Len(mesh.corner_normals[c] - want.normals[c]));
  }
  EXPECT_LT(uv, 1e-6f);
  EXPECT_LT(normal, 1e-5f);
  ASSERT_EQ(mesh.materials.size(), 1u);
  ASSERT_TRUE(mesh.materials[0].base_colour_image);
  EXPECT_EQ(*mesh.materials[0].base_colour_image, want.image);
}

TEST(GltfAttributes, BoxTexturedKeepsItsUvsNormalsAndImageThroughTheWriter) {
  if (!std::filesystem::exists(kBox)) GTEST_SKIP() << "Debian's assimp-testmodels is not installed";
  const FileCorners want = box_corners();
  const auto read = import_meshes(kBox, ImportOptions{.apply_node_transforms = false, .raw_axes = true});
  ASSERT_TRUE(read.ok()) << read.message();
  ASSERT_EQ(read.value().size(), 1u);
  expect_box(read.value()[0], want, "as read");
  // Placed by its node (a rotation), the box's authored normals turn with
  // it: each still stands on its own flat face.
  const auto placed = import_meshes(kBox, ImportOptions{.raw_axes = true});
  ASSERT_TRUE(placed.ok()) << placed.message();
  const Mesh& box = placed.value()[0];
  ASSERT_EQ(box.corner_normals.size(), box.corners.size());
  for (size_t f = 0; f < box.face_count(); ++f) {
    const auto c = box.face(f);
    const Vector& a = box.points[c[0]];
    const Vector face = Normalize(Cross(box.points[c[1]] - a, box.points[c[2]] - a));
    for (uint32_t k = box.face_start[f]; k < box.face_start[f + 1]; ++k)
      EXPECT_GT(Dot(box.corner_normals[k], face), 0.9999f) << "face " << f;
  }
  const std::filesystem::path out = KURVO_GLTF_ATTRIBUTES_OUT;
  std::filesystem::create_directories(out);
  for (const char* name : {"box.glb", "box.gltf"}) {
    const auto container = std::string(name).ends_with(".glb") ? GltfContainer::binary : GltfContainer::text;
    ASSERT_TRUE(write_gltf(read.value(), out / name, container, NormalStyle::smooth).ok());
    const auto back = import_meshes(out / name, ImportOptions{.apply_node_transforms = false, .raw_axes = true});
    ASSERT_TRUE(back.ok()) << back.message();
    expect_box(back.value()[0], want, name);
  }
}

// Every corner of a mesh as (point, UV of each set, material name, point
// colour): the writer may cut faces and regroup them by material, but
// never makes or loses a corner of another kind.
using CornerKey = std::tuple<std::vector<float>, std::string>;

std::set<CornerKey> corner_keys(const Mesh& mesh) {
  std::set<CornerKey> out;
  const auto q = [](float v) { return std::round(v * 1e5f) / 1e5f; };  // float text and binary agree to 1e-5
  for (size_t f = 0; f < mesh.face_count(); ++f)
    for (uint32_t c = mesh.face_start[f]; c < mesh.face_start[f + 1]; ++c) {
      const size_t p = static_cast<size_t>(mesh.corners[c]);
      std::vector<float> values = {q(mesh.points[p].x), q(mesh.points[p].y), q(mesh.points[p].z)};
      for (const UvSet& set : mesh.uv_sets) values.insert(values.end(), {q(set.uvs[c].u), q(set.uvs[c].v)});
      if (!mesh.point_colours.empty())
        values.insert(values.end(), {q(mesh.point_colours[p].x), q(mesh.point_colours[p].y), q(mesh.point_colours[p].z)});
      out.emplace(std::move(values), mesh.face_material.empty() ? "" : mesh.materials[mesh.face_material[f]].name);
    }
  return out;
}

TEST(GltfAttributes, TwoMaterialsTwoUvSetsAndColoursComeBackCornerForCorner) {
  const std::filesystem::path out = KURVO_GLTF_ATTRIBUTES_OUT;
  std::filesystem::create_directories(out / "textures");
  Image picture{4, 4, std::vector<uint8_t>(48, 200)};
  ASSERT_TRUE(write_png(picture, out / "textures" / "wood grain.png").ok());
  // A strip: a quad and a pentagon sharing an edge, the shared points with
  // other UVs on each side (a seam), plus a triangle of the second material.
  Mesh mesh;
  mesh.name = "strip";
  mesh.points = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}, {2.5f, 0.5f, 0}, {2, 1, 0}, {3, 0, 0}};
  mesh.add_face({0, 1, 2, 3});
  mesh.add_face({1, 4, 5, 6, 2});
  mesh.add_face({4, 7, 5});
  const std::vector<Uv> first = {{0, 0},     {0.5f, 0},     {0.5f, 0.5f}, {0, 0.5f}, {0.6f, 0}, {0.9f, 0},
                                 {1, 0.25f}, {0.9f, 0.5f}, {0.6f, 0.5f}, {0.1f, 0.9f}, {0.2f, 0.9f}, {0.15f, 1}};
  std::vector<Uv> second(first.size());
  for (size_t c = 0; c < second.size(); ++c) second[c] = Uv{0.25f * static_cast<float>(c % 4), 0.125f * static_cast<float>(c)};
  mesh.uv_sets = {UvSet{"UVMap", first}, UvSet{"Detail", second}};
  mesh.point_colours = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 1, 0}, {0, 1, 1}, {1, 0, 1}, {0.5f, 0.5f, 0.5f}, {0.25f, 0.75f, 0}};
  const auto material = [](const char* name, Vector colour) {
    Material m;
    m.name = name;
    m.base_colour = colour;
    return m;
  };
  Material wood = material("Wood", {0.6f, 0.4f, 0.2f});
  wood.base_colour_texture = (out / "textures" / "wood grain.png").string();
  wood.metallic = 0.25f;
  wood.roughness = 0.5f;
  mesh.materials = {wood, material("Paint", {0.1f, 0.2f, 0.9f})};
  mesh.face_material = {0, 0, 1};
  ASSERT_EQ(check_mesh(mesh), "");
  const std::set<CornerKey> want = corner_keys(mesh);
  for (const char* name : {"strip.glb", "strip.gltf"}) {
    SCOPED_TRACE(name);
    const auto container = std::string(name).ends_with(".glb") ? GltfContainer::binary : GltfContainer::text;
    ASSERT_TRUE(write_gltf({mesh}, out / name, container, NormalStyle::smooth).ok());
    const auto back = import_meshes(out / name, ImportOptions{.raw_axes = true});
    ASSERT_TRUE(back.ok()) << back.message();
    // One primitive per material: the import library gives one mesh each.
    ASSERT_EQ(back.value().size(), 2u);
    std::set<CornerKey> got;
    for (const Mesh& part : back.value()) {
      ASSERT_EQ(part.uv_sets.size(), 2u);
      ASSERT_EQ(part.materials.size(), 1u);
      ASSERT_EQ(part.corner_normals.size(), part.corners.size());
      for (const Vector& n : part.corner_normals.per_corner_list()) EXPECT_NEAR(n.z, 1.0f, 1e-5f);  // the strip faces +z
      got.merge(corner_keys(part));
      const Material& m = part.materials[0];
      if (m.name == "Wood") {
        if (container == GltfContainer::binary) {
          ASSERT_TRUE(m.base_colour_image);
          EXPECT_EQ(m.base_colour_texture, "");
        } else {  // referenced where it lies, under an escaped name
          EXPECT_TRUE(std::filesystem::exists(m.base_colour_texture) &&
                      std::filesystem::equivalent(m.base_colour_texture, wood.base_colour_texture))
              << m.base_colour_texture;
        }
        EXPECT_FLOAT_EQ(m.metallic.value_or(-1), 0.25f);
        EXPECT_FLOAT_EQ(m.roughness.value_or(-1), 0.5f);
        EXPECT_NEAR(m.base_colour.y, 0.4f, 1e-6f);
      } else {
        EXPECT_EQ(m.name, "Paint");
        EXPECT_TRUE(m.base_colour_texture.empty() && !m.base_colour_image);
      }
    }
    EXPECT_EQ(got, want);
  }
}

TEST(GltfAttributes, AMissingTextureIsOneLineNamingTheMaterialAndNoFile) {
  Mesh mesh;
  mesh.name = "tri";
  mesh.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  mesh.add_face({0, 1, 2});
  mesh.uv_sets = {UvSet{"", {{0, 0}, {1, 0}, {0, 1}}}};
  mesh.materials.emplace_back();
  mesh.materials[0].name = "Lost";
  mesh.materials[0].base_colour_texture = "/nonexistent/lost.png";
  mesh.face_material = {0};
  const std::filesystem::path file = std::filesystem::path(KURVO_GLTF_ATTRIBUTES_OUT) / "lost.glb";
  std::filesystem::remove(file);
  const Status s = write_gltf({mesh}, file, GltfContainer::binary, NormalStyle::flat);
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find("\"Lost\""), std::string::npos) << s.message();
  EXPECT_NE(s.message().find("lost.png"), std::string::npos) << s.message();
  EXPECT_FALSE(std::filesystem::exists(file));
}

}  // namespace
