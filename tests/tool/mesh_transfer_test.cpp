// Meshes as bytes and back: random meshes with every attribute present or
// absent come back equal field for field, shared images shared again, and
// damaged bytes (cut short, extended, a length changed) are refused, never
// read past their end.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "mesh_transfer.h"

namespace {

using namespace kurvo::media;

bool same(const Vector& a, const Vector& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

bool same(const std::vector<Vector>& a, const std::vector<Vector>& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(Vector)) == 0);
}

Mesh randomMesh(std::mt19937& random, const std::shared_ptr<const std::string>& image) {
  auto coin = [&] { return random() % 2 == 0; };
  auto number = [&] { return std::uniform_real_distribution<float>(-100, 100)(random); };
  Mesh mesh;
  mesh.name = coin() ? "mesh " + std::to_string(random() % 100) : "";
  const size_t points = 3 + random() % 20;
  for (size_t i = 0; i < points; ++i) mesh.points.emplace_back(number(), number(), number());
  const size_t faces = random() % 8;
  for (size_t f = 0; f < faces; ++f) {
    std::vector<int32_t> face(3 + random() % 4);
    for (int32_t& c : face) c = static_cast<int32_t>(random() % points);
    mesh.add_face(face);
  }
  const size_t corners = mesh.corners.size();
  for (size_t s = random() % 3; s > 0; --s) {
    UvSet set{coin() ? "UVMap" : "", {}};
    for (size_t c = 0; c < corners; ++c) set.uvs.push_back({number(), number()});
    mesh.uv_sets.push_back(std::move(set));
  }
  if (coin())
    for (size_t c = 0; c < corners; ++c) mesh.corner_normals.push_back(Vector(number(), number(), number()));
  mesh.keep_corner_normals = coin();
  if (coin())
    for (size_t i = 0; i < points; ++i) mesh.point_colours.emplace_back(number(), number(), number());
  for (size_t m = random() % 3; m > 0; --m) {
    Material material;
    material.name = "paint " + std::to_string(m);
    material.base_colour = Vector(number(), number(), number());
    material.opacity = number();
    if (coin()) material.base_colour_texture = "/textures/t" + std::to_string(m) + ".png";
    if (coin()) material.base_colour_image = image;
    if (coin()) material.metallic = number();
    if (coin()) material.roughness = number();
    mesh.materials.push_back(material);
  }
  if (!mesh.materials.empty())
    for (size_t f = 0; f < faces; ++f) mesh.face_material.push_back(static_cast<uint32_t>(random() % mesh.materials.size()));
  if (coin())
    for (size_t f = 0; f < faces; ++f) mesh.face_smooth_group.push_back(static_cast<uint32_t>(random() % 3));
  if (coin()) {
    mesh.group_names = {"body", "wheel"};
    for (size_t f = 0; f < faces; ++f) mesh.face_group.push_back(static_cast<uint32_t>(random() % 2));
  }
  if (coin()) mesh.colour = Vector(number(), number(), number());
  return mesh;
}

void expectSame(const Mesh& a, const Mesh& b) {
  EXPECT_EQ(a.name, b.name);
  EXPECT_TRUE(same(a.points, b.points));
  EXPECT_EQ(a.corners, b.corners);
  EXPECT_EQ(a.face_start, b.face_start);
  ASSERT_EQ(a.uv_sets.size(), b.uv_sets.size());
  for (size_t s = 0; s < a.uv_sets.size(); ++s) {
    EXPECT_EQ(a.uv_sets[s].name, b.uv_sets[s].name);
    EXPECT_EQ(a.uv_sets[s].uvs, b.uv_sets[s].uvs);
  }
  EXPECT_TRUE(same(a.corner_normals.values, b.corner_normals.values));
  EXPECT_EQ(a.corner_normals.index, b.corner_normals.index);
  EXPECT_EQ(a.keep_corner_normals, b.keep_corner_normals);
  EXPECT_TRUE(same(a.point_colours, b.point_colours));
  ASSERT_EQ(a.materials.size(), b.materials.size());
  for (size_t m = 0; m < a.materials.size(); ++m) {
    const Material &x = a.materials[m], &y = b.materials[m];
    EXPECT_EQ(x.name, y.name);
    EXPECT_TRUE(same(x.base_colour, y.base_colour));
    EXPECT_EQ(x.opacity, y.opacity);
    EXPECT_EQ(x.base_colour_texture, y.base_colour_texture);
    ASSERT_EQ(!x.base_colour_image, !y.base_colour_image);
    if (x.base_colour_image) {
      EXPECT_EQ(*x.base_colour_image, *y.base_colour_image);
    }
    EXPECT_EQ(x.metallic, y.metallic);
    EXPECT_EQ(x.roughness, y.roughness);
  }
  EXPECT_EQ(a.face_material, b.face_material);
  EXPECT_EQ(a.face_smooth_group, b.face_smooth_group);
  EXPECT_EQ(a.group_names, b.group_names);
  EXPECT_EQ(a.face_group, b.face_group);
  ASSERT_EQ(a.colour.has_value(), b.colour.has_value());
  if (a.colour) {
    EXPECT_TRUE(same(*a.colour, *b.colour));
  }
}

TEST(MeshTransfer, RandomMeshesComeBackFieldForField) {
  std::mt19937 random(20261210);
  const auto image = std::make_shared<const std::string>("\x89PNG fake picture bytes", 23);
  for (int round = 0; round < 200; ++round) {
    std::vector<Mesh> meshes(random() % 4);
    for (Mesh& m : meshes) m = randomMesh(random, image);
    const std::string bytes = encode_meshes(meshes);
    auto back = decode_meshes(bytes);
    ASSERT_TRUE(back.has_value()) << round;
    ASSERT_EQ(back->size(), meshes.size());
    const std::string* shared = nullptr;
    for (size_t i = 0; i < meshes.size(); ++i) {
      expectSame(meshes[i], (*back)[i]);
      for (const Material& m : (*back)[i].materials)
        if (m.base_colour_image) {
          if (!shared) shared = m.base_colour_image.get();
          EXPECT_EQ(m.base_colour_image.get(), shared) << "an image shared before is shared after";
        }
    }
  }
}

TEST(MeshTransfer, DamagedBytesAreRefused) {
  std::mt19937 random(3);
  const auto image = std::make_shared<const std::string>("picture");
  std::vector<Mesh> meshes{randomMesh(random, image), randomMesh(random, image)};
  const std::string bytes = encode_meshes(meshes);
  for (size_t cut = 0; cut < bytes.size(); ++cut)
    EXPECT_FALSE(decode_meshes(std::string_view(bytes).substr(0, cut)).has_value()) << cut;
  EXPECT_FALSE(decode_meshes(bytes + "x").has_value());
  // Any eight bytes read as a huge length: refused without reading past the end.
  for (size_t at = 0; at + 8 <= bytes.size(); at += 4) {
    std::string damaged = bytes;
    const uint64_t huge = ~uint64_t{0} >> (random() % 40);
    std::memcpy(damaged.data() + at, &huge, sizeof huge);
    (void)decode_meshes(damaged);
  }
}

}  // namespace
