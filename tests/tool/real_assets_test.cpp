// Files nobody here wrote (Debian's assimp-testmodels) through `kurvo eval`,
// the results read back by the import library, an independent reader:
// what the bend must not touch comes out as the source has it.
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "tool_run.h"

namespace {

const std::filesystem::path kModels = "/usr/share/assimp/models";

struct Face {
  std::string material;
  std::vector<std::pair<float, float>> uvs;  // per corner, in order
  bool operator<(const Face& o) const { return std::tie(material, uvs) < std::tie(o.material, o.uvs); }
  bool operator==(const Face& o) const { return material == o.material && uvs == o.uvs; }
};

// Every face of the file with its material's name and its corners' UVs, in
// no particular order (the reader may group faces by material).
std::multiset<Face> facesOf(const std::filesystem::path& file, std::set<std::pair<float, float>>& distinct,
                            std::map<std::string, std::string>& textures) {
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile(file.string(), 0);
  EXPECT_TRUE(scene) << file << ": " << importer.GetErrorString();
  std::multiset<Face> out;
  if (!scene) return out;
  for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
    const aiMesh& mesh = *scene->mMeshes[m];
    const aiMaterial& material = *scene->mMaterials[mesh.mMaterialIndex];
    aiString name, texture;
    material.Get(AI_MATKEY_NAME, name);
    if (material.GetTexture(aiTextureType_DIFFUSE, 0, &texture) == AI_SUCCESS) {
      std::string t = texture.C_Str();
      for (char& c : t)
        if (c == '\\') c = '/';
      textures[name.C_Str()] = std::filesystem::path(t).filename().string();
    }
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      Face face{name.C_Str(), {}};
      for (unsigned k = 0; k < mesh.mFaces[f].mNumIndices; ++k) {
        const unsigned v = mesh.mFaces[f].mIndices[k];
        const auto uv = mesh.HasTextureCoords(0) ? std::make_pair(mesh.mTextureCoords[0][v].x, mesh.mTextureCoords[0][v].y)
                                                 : std::make_pair(0.0f, 0.0f);
        face.uvs.push_back(uv);
        distinct.insert(uv);
      }
      out.insert(std::move(face));
    }
  }
  return out;
}

bool haveModels() { return std::filesystem::exists(kModels / "OBJ/spider.obj"); }

std::string bendScene(const std::filesystem::path& mesh, bool bend) {
  std::string scene = R"({"format": "kurvo-scene", "version": 1, "objects": [
    {"name": "Path", "type": "spline", "interpolation": "cubic",
     "points": [[0, 0, -150], [60, 40, -50], [0, 80, 50], [-60, 40, 150]]},
    {"name": "Asset", "type": "polygon", "mesh": ")" + mesh.string() + "\"";
  if (bend) scene += R"(, "children": [{"name": "Bend", "type": 1024244, "deform": true, "params": {"KURVO_SPLINE": "Path"}}])";
  return scene + "}]}";
}

}  // namespace

TEST(RealAssets, SpiderKeepsEveryFacesMaterialAndUvsThroughABend) {
  if (!haveModels()) GTEST_SKIP() << "Debian's assimp-testmodels is not installed";
  TempDir dir;
  dir.write("s.json", bendScene(kModels / "OBJ/spider.obj", true));
  const ToolRun run = runKurvo(dir, "eval", "s.json -o bent.obj");
  ASSERT_EQ(run.status, 0) << run.err;

  std::set<std::pair<float, float>> sourceUvs, bentUvs;
  std::map<std::string, std::string> sourceTextures, bentTextures;
  const std::multiset<Face> source = facesOf(kModels / "OBJ/spider.obj", sourceUvs, sourceTextures);
  const std::multiset<Face> bent = facesOf(dir / "bent.obj", bentUvs, bentTextures);
  EXPECT_EQ(sourceUvs.size(), 302u);
  EXPECT_EQ(bentUvs, sourceUvs);
  std::set<std::string> materials;
  for (const Face& f : bent) materials.insert(f.material);
  EXPECT_EQ(materials, (std::set<std::string>{"Augentex", "BeinTex", "HLeibTex", "Skin"}));
  ASSERT_EQ(bent.size(), source.size());
  EXPECT_TRUE(bent == source) << "a face lost its material or its UVs";
  // Textures are named relative to the output and are there.
  for (const std::string& m : materials) {
    EXPECT_EQ(bentTextures[m], sourceTextures[m]) << m;
  }
  const std::string mtl = readWhole(dir / "bent.mtl");
  EXPECT_NE(mtl.find("map_Kd "), std::string::npos);
  for (const auto& [name, texture] : bentTextures) EXPECT_TRUE(std::filesystem::exists(kModels / "OBJ" / texture));
}

TEST(RealAssets, ConcaveNgonsStayWholeInObjAndTheirTrianglesCoverExactlyTheirArea) {
  if (!haveModels()) GTEST_SKIP() << "Debian's assimp-testmodels is not installed";
  TempDir dir;
  dir.write("s.json", bendScene(kModels / "OBJ/concave_polygon.obj", false));
  ASSERT_EQ(runKurvo(dir, "eval", "s.json --raw-axes -o out.obj").status, 0);
  ASSERT_EQ(runKurvo(dir, "eval", "s.json --raw-axes -o out.stl").status, 0);

  Assimp::Importer source, obj, stl;
  const aiScene* in = source.ReadFile((kModels / "OBJ/concave_polygon.obj").string(), 0);
  const aiScene* out = obj.ReadFile((dir / "out.obj").string(), 0);
  const aiScene* tris = stl.ReadFile((dir / "out.stl").string(), 0);
  ASSERT_TRUE(in && out && tris);
  // Corner counts, face by face; and the polygons' own area (Newell's
  // formula over the outline) against the triangles' sum.
  std::multiset<unsigned> inSizes, outSizes;
  double polygonArea = 0.0, triangleArea = 0.0;
  for (unsigned m = 0; m < in->mNumMeshes; ++m)
    for (unsigned f = 0; f < in->mMeshes[m]->mNumFaces; ++f) {
      const aiFace& face = in->mMeshes[m]->mFaces[f];
      inSizes.insert(face.mNumIndices);
      double n[3] = {0, 0, 0};
      for (unsigned k = 0; k < face.mNumIndices; ++k) {
        const aiVector3D a = in->mMeshes[m]->mVertices[face.mIndices[k]];
        const aiVector3D b = in->mMeshes[m]->mVertices[face.mIndices[(k + 1) % face.mNumIndices]];
        n[0] += (double(a.y) - b.y) * (double(a.z) + b.z);
        n[1] += (double(a.z) - b.z) * (double(a.x) + b.x);
        n[2] += (double(a.x) - b.x) * (double(a.y) + b.y);
      }
      polygonArea += 0.5 * std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]);
    }
  for (unsigned m = 0; m < out->mNumMeshes; ++m)
    for (unsigned f = 0; f < out->mMeshes[m]->mNumFaces; ++f) outSizes.insert(out->mMeshes[m]->mFaces[f].mNumIndices);
  EXPECT_EQ(outSizes, inSizes);
  EXPECT_EQ(inSizes.count(66), 1u) << "the file's one face of 66 corners";
  for (unsigned m = 0; m < tris->mNumMeshes; ++m) {
    const aiMesh& mesh = *tris->mMeshes[m];
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      ASSERT_EQ(mesh.mFaces[f].mNumIndices, 3u);
      const aiVector3D a = mesh.mVertices[mesh.mFaces[f].mIndices[0]];
      const aiVector3D b = mesh.mVertices[mesh.mFaces[f].mIndices[1]];
      const aiVector3D c = mesh.mVertices[mesh.mFaces[f].mIndices[2]];
      triangleArea += 0.5 * double(((b - a) ^ (c - a)).Length());
    }
  }
  EXPECT_NEAR(triangleArea, polygonArea, 1e-4 * polygonArea);
}

TEST(RealAssets, WusonPlyFromAnOldBlenderLoadsWithItsUvs) {
  if (!std::filesystem::exists(kModels / "PLY/Wuson.ply")) GTEST_SKIP() << "Debian's assimp-testmodels is not installed";
  TempDir dir;
  dir.write("s.json", bendScene(kModels / "PLY/Wuson.ply", true));
  const ToolRun run = runKurvo(dir, "eval", "s.json -o bent.obj");
  ASSERT_EQ(run.status, 0) << run.err;
  std::set<std::pair<float, float>> sourceUvs, bentUvs;
  std::map<std::string, std::string> textures;
  const std::multiset<Face> source = facesOf(kModels / "PLY/Wuson.ply", sourceUvs, textures);
  const std::multiset<Face> bent = facesOf(dir / "bent.obj", bentUvs, textures);
  EXPECT_GT(sourceUvs.size(), 1000u);
  EXPECT_EQ(bentUvs, sourceUvs);
  std::multiset<std::vector<std::pair<float, float>>> sourceCorners, bentCorners;
  for (const Face& f : source) sourceCorners.insert(f.uvs);
  for (const Face& f : bent) bentCorners.insert(f.uvs);
  EXPECT_TRUE(bentCorners == sourceCorners) << "a face lost its corners' UVs";
}

// A mesh in metres into a scene of centimetres: the file's points are scaled
// as read, the deformer under the object is not, so the bend is the same as
// for the same mesh written at 100 times the size.
TEST(RealAssets, MeshScaleScalesTheFilesPointsAndNotTheObjectsChildren) {
  if (!haveModels()) GTEST_SKIP() << "Debian's assimp-testmodels is not installed";
  TempDir dir;
  const std::filesystem::path box = kModels / "OBJ/box.obj";
  std::string scaled = bendScene(box, true);
  scaled.insert(scaled.find("\"children\""), "\"mesh_scale\": 100, ");
  dir.write("scaled.json", scaled);
  ASSERT_EQ(runKurvo(dir, "eval", "scaled.json --raw-axes -o scaled.obj").status, 0);
  // The same box at 100 times its size: the import library reads it, the
  // test scales it and writes it plainly.
  Assimp::Importer importer;
  const aiScene* in = importer.ReadFile(box.string(), aiProcess_JoinIdenticalVertices);
  ASSERT_TRUE(in);
  std::string big;
  unsigned base = 1;
  for (unsigned m = 0; m < in->mNumMeshes; ++m) {
    const aiMesh& mesh = *in->mMeshes[m];
    for (unsigned v = 0; v < mesh.mNumVertices; ++v)
      big += "v " + std::to_string(mesh.mVertices[v].x * 100) + " " + std::to_string(mesh.mVertices[v].y * 100) + " " +
             std::to_string(mesh.mVertices[v].z * 100) + "\n";
    for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
      big += "f";
      for (unsigned k = 0; k < mesh.mFaces[f].mNumIndices; ++k) big += " " + std::to_string(base + mesh.mFaces[f].mIndices[k]);
      big += "\n";
    }
    base += mesh.mNumVertices;
  }
  dir.write("big.obj", big);
  dir.write("big.json", bendScene(dir / "big.obj", true));
  ASSERT_EQ(runKurvo(dir, "eval", "big.json --raw-axes -o big.obj.out.obj").status, 0);
  Assimp::Importer a, b;
  const aiScene* sa = a.ReadFile((dir / "scaled.obj").string(), aiProcess_JoinIdenticalVertices);
  const aiScene* sb = b.ReadFile((dir / "big.obj.out.obj").string(), aiProcess_JoinIdenticalVertices);
  ASSERT_TRUE(sa && sb);
  std::multiset<std::tuple<long, long, long>> pa, pb;
  for (unsigned m = 0; m < sa->mNumMeshes; ++m)
    for (unsigned v = 0; v < sa->mMeshes[m]->mNumVertices; ++v) {
      const aiVector3D p = sa->mMeshes[m]->mVertices[v];
      pa.insert({std::lround(p.x * 100), std::lround(p.y * 100), std::lround(p.z * 100)});
    }
  for (unsigned m = 0; m < sb->mNumMeshes; ++m)
    for (unsigned v = 0; v < sb->mMeshes[m]->mNumVertices; ++v) {
      const aiVector3D p = sb->mMeshes[m]->mVertices[v];
      pb.insert({std::lround(p.x * 100), std::lround(p.y * 100), std::lround(p.z * 100)});
    }
  EXPECT_FALSE(pa.empty());
  EXPECT_TRUE(pa == pb) << "the scaled file bends as the file at that size does";

  std::string bad = bendScene(box, false);
  bad.insert(bad.rfind('}', bad.size() - 3), ", \"mesh_scale\": 0");
  dir.write("bad.json", bad);
  const ToolRun refused = runKurvo(dir, "eval", "bad.json -o bad.obj");
  EXPECT_NE(refused.status, 0);
  EXPECT_NE(refused.err.find("mesh_scale"), std::string::npos) << refused.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "bad.obj"));
}

namespace {

// The spider bent along a path that the bend slides along over four frames.
std::string slidingScene(const std::filesystem::path& mesh) {
  return R"({"format": "kurvo-scene", "version": 1, "time": {"fps": 24, "start": 0, "end": 4}, "objects": [
    {"name": "Path", "type": "spline", "interpolation": "cubic",
     "points": [[0, 0, -150], [60, 40, -50], [0, 80, 50], [-60, 40, 150]]},
    {"name": "Asset", "type": "polygon", "mesh": ")" +
         mesh.string() + R"(", "children": [{"name": "Bend", "type": 1024244, "deform": true,
       "params": {"KURVO_SPLINE": "Path"},
       "tracks": [{"param": "KURVO_OFFSET", "interpolation": "linear", "keys": [[0, 0], [4, 0.2]]}]}]}]})";
}

// Every corner's material and UVs (to float precision: glTF stores 1 - v,
// which a reader turns back with a rounding of its own), as a set; and the
// triangles the faces make.
std::set<std::pair<std::string, std::pair<long, long>>> cornersOf(const std::multiset<Face>& faces,
                                                                    size_t& triangles) {
  std::set<std::pair<std::string, std::pair<long, long>>> out;
  triangles = 0;
  for (const Face& f : faces) {
    triangles += f.uvs.size() - 2;
    for (const auto& uv : f.uvs) out.insert({f.material, {std::lround(uv.first * 1e5), std::lround(uv.second * 1e5)}});
  }
  return out;
}

// Every corner of `a` is in `b`, with its UVs within 2e-5.
bool sameCorners(const std::set<std::pair<std::string, std::pair<long, long>>>& a,
                 const std::set<std::pair<std::string, std::pair<long, long>>>& b) {
  for (const auto& [material, uv] : a) {
    bool found = false;
    for (auto it = b.lower_bound({material, {uv.first - 2, LONG_MIN}});
         !found && it != b.end() && it->first == material && it->second.first <= uv.first + 2; ++it)
      found = std::labs(it->second.second - uv.second) <= 2;
    if (!found) return false;
  }
  return true;
}

}  // namespace

TEST(RealAssets, AnimatedOutputsKeepEveryFacesMaterialUvsAndColours) {
  if (!haveModels()) GTEST_SKIP() << "Debian's assimp-testmodels is not installed";
  TempDir dir;
  const std::filesystem::path out = KURVO_ANIMATED_ASSET_OUT;
  std::filesystem::create_directories(out);
  dir.write("s.json", slidingScene(kModels / "OBJ/spider.obj"));
  std::set<std::pair<float, float>> uvs;
  std::map<std::string, std::string> sourceTextures;
  size_t sourceTriangles = 0;
  const auto source = cornersOf(facesOf(kModels / "OBJ/spider.obj", uvs, sourceTextures), sourceTriangles);

  // The animated glTF: every corner's material and UVs, every triangle, each
  // material's texture.
  for (const char* name : {"spider.glb", "spider.gltf"}) {
    SCOPED_TRACE(name);
    const ToolRun run = runKurvo(dir, "eval", "s.json --frames 0:4 -o '" + (out / name).string() + "'");
    ASSERT_EQ(run.status, 0) << run.err;
    std::map<std::string, std::string> textures;
    size_t triangles = 0;
    const auto back = cornersOf(facesOf(out / name, uvs, textures), triangles);
    EXPECT_EQ(triangles, sourceTriangles);
    EXPECT_TRUE(sameCorners(back, source)) << "a corner lost its material or its UVs";
    EXPECT_TRUE(sameCorners(source, back)) << "a corner has a material or UVs the source has not";
    for (const auto& [material, texture] : sourceTextures)
      EXPECT_FALSE(textures[material].empty()) << material << " lost its texture";
  }

  // The rest OBJ beside a point cache: the faces exactly as the source's.
  const ToolRun cache = runKurvo(dir, "eval", "s.json --frames 0:4 -o spider.pc2");
  ASSERT_EQ(cache.status, 0) << cache.err;
  std::map<std::string, std::string> restTextures;
  const std::multiset<Face> rest = facesOf(dir / "spider.obj", uvs, restTextures);
  std::map<std::string, std::string> ignored;
  EXPECT_TRUE(rest == facesOf(kModels / "OBJ/spider.obj", uvs, ignored)) << "a face lost its material or UVs";
  EXPECT_EQ(restTextures, sourceTextures);

  // Point colours (OBJ's colour after "v"), point for point.
  std::string painted = "mtllib none.mtl\n";
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 5; ++j)
      painted += "v " + std::to_string(i * 20 - 40) + " 0 " + std::to_string(j * 60 - 120) + " " +
                 std::to_string(0.2 * i) + " " + std::to_string(0.25 * j) + " 0.5\n";
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < 4; ++j)
      painted += "f " + std::to_string(i * 5 + j + 1) + " " + std::to_string(i * 5 + j + 2) + " " +
                 std::to_string(i * 5 + j + 7) + " " + std::to_string(i * 5 + j + 6) + "\n";
  dir.write("painted.obj", painted);
  dir.write("p.json", slidingScene(dir / "painted.obj"));
  const ToolRun run = runKurvo(dir, "eval", "p.json --frames 0:4 -o '" + (out / "painted.glb").string() + "'");
  ASSERT_EQ(run.status, 0) << run.err;
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile((out / "painted.glb").string(), 0);
  ASSERT_TRUE(scene && scene->mNumMeshes == 1);
  const aiMesh& mesh = *scene->mMeshes[0];
  ASSERT_TRUE(mesh.HasVertexColors(0));
  // Each vertex's colour is its source point's: the bend leaves the X
  // order of the points' colours (red grows with x at rest) to the path,
  // so the check is by colour alone: every source colour, and no other.
  std::set<std::tuple<int, int, int>> colours;
  for (unsigned v = 0; v < mesh.mNumVertices; ++v)
    colours.insert({int(std::lround(mesh.mColors[0][v].r * 100)), int(std::lround(mesh.mColors[0][v].g * 100)),
                    int(std::lround(mesh.mColors[0][v].b * 100))});
  std::set<std::tuple<int, int, int>> expected;
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 5; ++j) expected.insert({20 * i, 25 * j, 50});
  EXPECT_EQ(colours, expected);
}
