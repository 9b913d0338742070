// PLY and COLLADA output read back by the import library's own readers (not
// ours): every corner's place, UV, colour and normal against the mesh that
// was written, faces whole, materials with their textures.
#include <assimp/material.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <assimp/Importer.hpp>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "mesh_export.h"
#include "mesh_import.h"
#include "temp_dir.h"

using namespace kurvo::media;

namespace {

constexpr int kAround = 300;  // caps of 300 corners: more than a byte counts
constexpr float kRadius = 2.0f, kLength = 6.0f;

// A tube along Z with a UV seam where u runs from 1 back to 0 (the seam's
// points carry both), smooth sides, flat 300-gon caps in a second material,
// a colour per point and one point no face uses.
Mesh capped_tube() {
  Mesh m;
  m.name = "Tube";
  for (int ring = 0; ring < 2; ++ring)
    for (int k = 0; k < kAround; ++k) {
      const double a = 2.0 * M_PI * k / kAround;
      m.points.emplace_back(float(kRadius * std::cos(a)), float(kRadius * std::sin(a)), ring * kLength);
    }
  m.points.emplace_back(0.0f, 0.0f, 100.0f);  // used by no face
  for (const Vector& p : m.points)
    m.point_colours.emplace_back(0.5f + p.x / 5.0f, 0.5f + p.y / 5.0f, std::min(1.0f, p.z / kLength));
  UvSet uvs;
  for (int k = 0; k < kAround; ++k) {
    const int next = (k + 1) % kAround;
    m.add_face({k, next, kAround + next, kAround + k});  // outwards for a right-handed reader
    const float u0 = float(k) / kAround, u1 = float(k + 1) / kAround;
    for (const Uv& uv : {Uv{u0, 0}, Uv{u1, 0}, Uv{u1, 1}, Uv{u0, 1}}) uvs.uvs.push_back(uv);
    m.face_material.push_back(0);
    m.face_smooth_group.push_back(1);
  }
  for (int ring = 0; ring < 2; ++ring) {
    std::vector<int32_t> cap;
    for (int k = 0; k < kAround; ++k) cap.push_back(ring * kAround + (ring == 0 ? kAround - 1 - k : k));
    m.add_face(std::span<const int32_t>(cap));
    for (int32_t p : cap) uvs.uvs.push_back(Uv{0.5f + m.points[p].x / 5.0f, 0.5f + m.points[p].y / 5.0f});
    m.face_material.push_back(1);
    m.face_smooth_group.push_back(0);
  }
  m.uv_sets.push_back(uvs);
  Material side, cap;
  side.name = "Side";
  side.base_colour = Vector(0.9f, 0.8f, 0.2f);
  cap.name = "Cap";
  cap.base_colour = Vector(0.2f, 0.4f, 0.6f);
  m.materials = {side, cap};
  return m;
}

// A lone triangle without UVs or colours, beside the tube.
Mesh triangle() {
  Mesh m;
  m.name = "Flag";
  m.points = {{10, 0, 0}, {11, 0, 0}, {10, 1, 0}};
  m.add_face({0, 1, 2});
  m.colour = Vector(0.25f, 0.5f, 1.0f);
  return m;
}

double srgb(double linear) {
  return linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1.0 / 2.4) - 0.055;
}

double degrees_between(const aiVector3D& a, const Vector& b) {
  const double d = (a.x * b.x + a.y * b.y + a.z * b.z) /
                   (a.Length() * std::sqrt(double(b.x) * b.x + double(b.y) * b.y + double(b.z) * b.z));
  return std::acos(std::clamp(d, -1.0, 1.0)) * 180.0 / M_PI;
}

// What a reader gave back, held against the meshes written: each face read
// is found among the written faces by its points (known by their places),
// and each of its corners is compared with that face's corner at the point.
struct Worst {
  double place = 0, uv = 0, colour = 0, normal = 0;
  size_t faces = 0, ngons = 0;
  std::multiset<std::string> face_materials;  // per face read: its material's name
};

Worst compare(const aiScene& scene, const std::vector<Mesh>& written, bool colours_expected) {
  std::map<std::tuple<float, float, float>, std::pair<size_t, int32_t>> by_place;  // mesh, point
  std::map<std::set<std::pair<size_t, int32_t>>, std::pair<size_t, size_t>> faces;  // mesh, face
  for (size_t m = 0; m < written.size(); ++m) {
    for (size_t p = 0; p < written[m].points.size(); ++p) {
      const Vector& v = written[m].points[p];
      by_place[{v.x, v.y, v.z}] = {m, int32_t(p)};
    }
    for (size_t f = 0; f < written[m].face_count(); ++f) {
      std::set<std::pair<size_t, int32_t>> key;
      for (int32_t p : written[m].face(f)) key.insert({m, p});
      faces[key] = {m, f};
    }
  }
  Worst worst;
  for (unsigned i = 0; i < scene.mNumMeshes; ++i) {
    const aiMesh& read = *scene.mMeshes[i];
    aiString material_name;
    scene.mMaterials[read.mMaterialIndex]->Get(AI_MATKEY_NAME, material_name);
    for (unsigned f = 0; f < read.mNumFaces; ++f) {
      const aiFace& face = read.mFaces[f];
      std::set<std::pair<size_t, int32_t>> key;
      std::vector<std::pair<size_t, int32_t>> corner_points;
      for (unsigned k = 0; k < face.mNumIndices; ++k) {
        const aiVector3D& v = read.mVertices[face.mIndices[k]];
        const auto found = by_place.find({v.x, v.y, v.z});
        if (found == by_place.end()) {
          ADD_FAILURE() << "a corner at " << v.x << " " << v.y << " " << v.z << " is no written point";
          return worst;
        }
        key.insert(found->second);
        corner_points.push_back(found->second);
      }
      const auto source = faces.find(key);
      if (source == faces.end()) {
        ADD_FAILURE() << "a face read (" << face.mNumIndices << " corners) is no written face";
        return worst;
      }
      ++worst.faces;
      worst.face_materials.insert(material_name.C_Str());
      if (face.mNumIndices > 4) ++worst.ngons;
      const Mesh& mesh = written[source->second.first];
      const size_t sf = source->second.second;
      EXPECT_EQ(face.mNumIndices, mesh.face_size(sf));
      // The face's own normal, for the flat caps.
      Vector plane(0, 0, 0);
      for (uint32_t c = mesh.face_start[sf]; c < mesh.face_start[sf + 1]; ++c) {
        const Vector& a = mesh.points[mesh.corners[c]];
        const Vector& b = mesh.points[mesh.corners[c + 1 < mesh.face_start[sf + 1] ? c + 1 : mesh.face_start[sf]]];
        plane = plane + Cross(a, b);
      }
      for (unsigned k = 0; k < face.mNumIndices; ++k) {
        const unsigned index = face.mIndices[k];
        uint32_t corner = mesh.face_start[sf];
        while (mesh.corners[corner] != corner_points[k].second) ++corner;
        const Vector& p = mesh.points[corner_points[k].second];
        if (!mesh.uv_sets.empty()) {
          EXPECT_TRUE(read.HasTextureCoords(0));
          if (!read.HasTextureCoords(0)) return worst;
          const Uv& want = mesh.uv_sets[0].uvs[corner];
          const aiVector3D& got = read.mTextureCoords[0][index];
          worst.uv = std::max({worst.uv, double(std::abs(got.x - want.u)), double(std::abs(got.y - want.v))});
        }
        if (colours_expected) {
          EXPECT_TRUE(read.HasVertexColors(0));
          if (!read.HasVertexColors(0)) return worst;
          const Vector want = mesh.point_colours.empty() ? mesh.colour.value_or(Vector(1, 1, 1))
                                                         : mesh.point_colours[corner_points[k].second];
          const aiColor4D& got = read.mColors[0][index];
          worst.colour = std::max({worst.colour, std::abs(got.r - srgb(want.x)), std::abs(got.g - srgb(want.y)),
                                   std::abs(got.b - srgb(want.z))});
        }
        EXPECT_TRUE(read.HasNormals());
        if (!read.HasNormals()) return worst;
        // Round sides point away from the axis; the flat faces along their plane.
        const bool side = mesh.face_size(sf) == 4 && mesh.name == "Tube";
        const Vector want = side ? Vector(p.x, p.y, 0) : plane;
        worst.normal = std::max(worst.normal, degrees_between(read.mNormals[index], want));
      }
    }
  }
  return worst;
}

const aiScene* read_back(Assimp::Importer& importer, const std::filesystem::path& file) {
  const aiScene* scene = importer.ReadFile(file.string(), 0);
  EXPECT_TRUE(scene) << importer.GetErrorString();
  return scene;
}

TEST(CornerAttributes, PlyKeepsEveryCornersUvColourAndNormalAndTheCapsWhole) {
  TempDir dir;
  const std::vector<Mesh> meshes = {capped_tube(), triangle()};
  ExportOptions raw;
  raw.raw_axes = true;
  const auto file = dir / "tube.ply";
  ASSERT_TRUE(export_meshes(meshes, file, raw).ok()) << export_meshes(meshes, file, raw).message();
  Assimp::Importer importer;
  const aiScene* scene = read_back(importer, file);
  ASSERT_TRUE(scene);
  const Worst worst = compare(*scene, meshes, true);
  EXPECT_EQ(worst.faces, size_t(kAround + 3));
  EXPECT_EQ(worst.ngons, 2u);
  EXPECT_EQ(worst.place, 0.0);
  EXPECT_LT(worst.uv, 1e-7);
  EXPECT_LE(worst.colour, 0.5 / 255 + 1e-6);  // bytes, rounded
  EXPECT_LT(worst.normal, 0.05);  // degrees; float points cost about 0.02
  // The seam splits only its own points: the tube's 600 points and the unused
  // one, 2 more per seam ring and 600 for the caps' flat normals, then the triangle.
  EXPECT_EQ(scene->mMeshes[0]->mNumVertices, 601u + 2u + 600u + 3u);
}

// The tool reads back what it wrote: PLY and COLLADA colours are stored
// sRGB-encoded and come back linear, as they went out (to a byte's rounding).
TEST(CornerAttributes, PlyAndDaeColoursComeBackLinearThroughTheToolsReader) {
  TempDir dir;
  const Mesh tube = capped_tube();
  ExportOptions out;
  out.raw_axes = true;
  ImportOptions in;
  in.raw_axes = true;
  for (const char* name : {"tube.ply", "tube.dae"}) {
    const auto file = dir / name;
    ASSERT_TRUE(export_meshes({tube}, file, out).ok()) << name;
    auto meshes = import_meshes(file, in);
    ASSERT_TRUE(meshes.ok()) << meshes.message();
    double worst = 0;
    size_t compared = 0;
    for (const Mesh& m : meshes.value())
      for (size_t p = 0; p < m.points.size() && p < m.point_colours.size(); ++p)
        for (size_t q = 0; q < tube.points.size(); ++q)
          if (std::memcmp(&m.points[p], &tube.points[q], sizeof(Vector)) == 0) {
            const Vector &a = m.point_colours[p], &b = tube.point_colours[q];
            worst = std::max({worst, std::abs(double(a.x) - b.x), std::abs(double(a.y) - b.y), std::abs(double(a.z) - b.z)});
            ++compared;
            break;
          }
    EXPECT_GT(compared, tube.points.size() - 2) << name;
    EXPECT_LT(worst, 0.006) << name;  // a byte of sRGB is at most 0.0047 of linear
  }
}

TEST(CornerAttributes, DaeKeepsCornersAndMaterialsWithTheirTextures) {
  TempDir dir;
  std::vector<Mesh> meshes = {capped_tube(), triangle()};
  dir.write("side.png", "side texture");
  meshes[0].materials[0].base_colour_texture = (dir / "side.png").string();
  const std::string embedded = "\x89PNG\r\n\x1a\nflag picture";
  Material flag;
  flag.name = "Flag paint";
  flag.base_colour_image = std::make_shared<const std::string>(embedded);
  Material spare;  // listed, used by no face: the faces without a material list take the first
  spare.name = "Spare";
  meshes[1].materials = {flag, spare};
  ExportOptions raw;
  raw.raw_axes = true;
  std::filesystem::create_directories(dir / "out");
  const auto file = dir / "out" / "tube.dae";
  ASSERT_TRUE(export_meshes(meshes, file, raw).ok()) << export_meshes(meshes, file, raw).message();
  Assimp::Importer importer;
  const aiScene* scene = read_back(importer, file);
  ASSERT_TRUE(scene);
  const Worst worst = compare(*scene, meshes, false);
  EXPECT_EQ(worst.faces, size_t(kAround + 3));
  EXPECT_EQ(worst.ngons, 2u);
  EXPECT_LT(worst.uv, 1e-6);
  EXPECT_LT(worst.normal, 0.05);  // degrees; float points cost about 0.02
  EXPECT_EQ(worst.face_materials.count("Side"), size_t(kAround));
  EXPECT_EQ(worst.face_materials.count("Cap"), 2u);
  EXPECT_EQ(worst.face_materials.count("Flag paint"), 1u);

  // Colours per point, sRGB-encoded, on the tube's parts only.
  for (unsigned i = 0; i < scene->mNumMeshes; ++i) {
    const aiMesh& read = *scene->mMeshes[i];
    EXPECT_EQ(read.HasVertexColors(0), std::string(read.mName.C_Str()).rfind("Tube", 0) == 0) << read.mName.C_Str();
  }
  std::map<std::string, std::pair<aiColor3D, std::string>> materials;
  for (unsigned i = 0; i < scene->mNumMaterials; ++i) {
    const aiMaterial& m = *scene->mMaterials[i];
    aiString name, texture;
    aiColor3D diffuse;
    m.Get(AI_MATKEY_NAME, name);
    m.Get(AI_MATKEY_COLOR_DIFFUSE, diffuse);
    m.GetTexture(aiTextureType_DIFFUSE, 0, &texture);
    materials[name.C_Str()] = {diffuse, texture.C_Str()};
  }
  EXPECT_EQ(materials["Cap"].first, aiColor3D(0.2f, 0.4f, 0.6f));
  EXPECT_EQ(materials["Cap"].second, "");
  // The texture file by its path from the output's folder; the embedded
  // picture written beside the output, byte for byte.
  EXPECT_EQ(materials["Side"].second, "../side.png");
  ASSERT_EQ(materials["Flag paint"].second, "tube_Flag_paint.png");
  std::ifstream in(dir / "out" / "tube_Flag_paint.png", std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  EXPECT_EQ(bytes.str(), embedded);
}

TEST(CornerAttributes, DaeRefusesAMissingTextureAndWritesNothing) {
  TempDir dir;
  std::vector<Mesh> meshes = {capped_tube()};
  meshes[0].materials[0].base_colour_texture = (dir / "gone.png").string();
  const Status s = export_meshes(meshes, dir / "tube.dae");
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find("gone.png"), std::string::npos) << s.message();
  EXPECT_TRUE(dir.names().empty());
}

}  // namespace

// Turning the winding of a large mesh (made in runs of faces on several
// threads) keeps each face's first corner and takes every corner's UV and
// normal along with it, as a face-by-face reference does.
TEST(CornerAttributes, ReversedWindingTakesEveryCornersAttributesAlong) {
  std::mt19937 random(20261211);
  kurvo::media::Mesh mesh;
  for (int i = 0; i < 1000; ++i) mesh.points.emplace_back(float(i), float(i % 7), 0.0f);
  mesh.uv_sets.push_back({"UVMap", {}});
  std::vector<int32_t> face;
  for (int f = 0; f < 150000; ++f) {
    face.clear();
    for (uint32_t k = 3 + random() % 4; k > 0; --k) face.push_back(int32_t(random() % 1000));
    mesh.add_face(face);
  }
  for (size_t c = 0; c < mesh.corners.size(); ++c) {
    mesh.uv_sets[0].uvs.push_back({float(c), -float(c)});
    mesh.corner_normals.push_back(Vector(float(c), 1.0f, 0.0f));
  }
  const kurvo::media::Mesh before = mesh;
  kurvo::media::reverse_faces(mesh);
  ASSERT_EQ(mesh.corners.size(), before.corners.size());
  size_t wrong = 0;
  for (size_t f = 0; f < before.face_count(); ++f) {
    const uint32_t first = before.face_start[f], n = before.face_size(f);
    for (uint32_t k = 0; k < n; ++k) {
      const uint32_t from = first + (k == 0 ? 0 : n - k), to = first + k;
      wrong += mesh.corners[to] != before.corners[from] || !(mesh.uv_sets[0].uvs[to] == before.uv_sets[0].uvs[from]) ||
               !(mesh.corner_normals[to] == before.corner_normals[from]);
    }
  }
  EXPECT_EQ(wrong, 0u);
}
