// A mesh file's own materials through `kurvo eval`, against files nobody
// here wrote (Debian's assimp-testmodels), read back by the import library
// and by a few lines of glTF reading of our own: a material that many meshes
// of the file share stays one material, a .glb's embedded pictures reach an
// OBJ as files beside it, and a material the scene gives the object is its
// whole look in every output.
#include <assimp/Importer.hpp>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "tool_run.h"

namespace {

const std::filesystem::path kModels = "/usr/share/assimp/models";
const std::filesystem::path kSpider = kModels / "OBJ/spider.obj";
const std::filesystem::path kEngine = kModels / "glTF2/2CylinderEngine-glTF-Binary/2CylinderEngine.glb";
const std::filesystem::path kBox = kModels / "glTF2/BoxTextured-glTF-Binary/BoxTextured.glb";

bool haveModels() { return std::filesystem::exists(kSpider) && std::filesystem::exists(kEngine); }

struct Glb {
  nlohmann::json json;
  std::string bin;
};

Glb readGlb(const std::filesystem::path& file) {
  const std::string data = readWhole(file);
  uint32_t length = 0;
  std::memcpy(&length, data.data() + 12, 4);
  return Glb{nlohmann::json::parse(data.substr(20, length)), data.size() > 28 + length ? data.substr(28 + length) : ""};
}

std::string imageBytes(const Glb& glb, size_t image) {
  const auto& view = glb.json["bufferViews"][glb.json["images"][image]["bufferView"].get<size_t>()];
  return glb.bin.substr(view.value("byteOffset", size_t{0}), view["byteLength"].get<size_t>());
}

// The words after `keyword` at the start of a line, in order.
std::vector<std::string> keywordLines(const std::string& text, const std::string& keyword) {
  std::vector<std::string> out;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind(keyword + " ", 0) == 0) out.push_back(line.substr(keyword.size() + 1));
  return out;
}

// Faces per material name, as the import library reads `file`, and how
// many of its materials the faces use.
std::map<std::string, size_t> facesPerMaterial(const std::filesystem::path& file, size_t* materials = nullptr) {
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile(file.string(), 0);
  EXPECT_TRUE(scene) << file << ": " << importer.GetErrorString();
  std::map<std::string, size_t> out;
  if (!scene) return out;
  std::set<unsigned> used;
  for (unsigned m = 0; m < scene->mNumMeshes; ++m) used.insert(scene->mMeshes[m]->mMaterialIndex);
  if (materials) *materials = used.size();
  for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
    aiString name;
    scene->mMaterials[scene->mMeshes[m]->mMaterialIndex]->Get(AI_MATKEY_NAME, name);
    out[name.C_Str()] += scene->mMeshes[m]->mNumFaces;
  }
  return out;
}

std::string assetScene(const std::filesystem::path& mesh, const std::string& extra = "") {
  return R"({"format": "kurvo-scene", "version": 1, "materials": [{"name": "Red", "color": [0.9, 0.1, 0.1]}],)"
         R"( "objects": [{"name": "Asset", "type": "polygon", "mesh": ")" +
         mesh.string() + "\"" + extra + "}]}";
}

}  // namespace

// spider.obj's 19 groups use 4 of the 5 materials its MTL defines; every
// output carries those 4, once each, on the faces that had them.
TEST(FileMaterials, AMaterialManyMeshesShareIsOneMaterialInEveryOutput) {
  if (!haveModels()) GTEST_SKIP() << "Debian's assimp-testmodels is not installed";
  const std::vector<std::string> defined = keywordLines(readWhole(kSpider.parent_path() / "spider.mtl"), "newmtl");
  const std::vector<std::string> used = keywordLines(readWhole(kSpider), "usemtl");
  const std::set<std::string> wanted(used.begin(), used.end());
  ASSERT_EQ(defined.size(), 5u);
  ASSERT_EQ(used.size(), 19u) << "a material per group in the file";
  ASSERT_EQ(wanted.size(), 4u);
  for (const std::string& m : wanted) EXPECT_NE(std::find(defined.begin(), defined.end(), m), defined.end()) << m;
  const std::map<std::string, size_t> source = facesPerMaterial(kSpider);

  TempDir dir;
  dir.write("spider.json", assetScene(kSpider));
  for (const char* out : {"bent.glb", "bent.gltf", "bent.dae", "bent.obj"}) {
    SCOPED_TRACE(out);
    const ToolRun run = runKurvo(dir, "eval", std::string("spider.json -o ") + out);
    ASSERT_EQ(run.status, 0) << run.err;
    size_t materials = 0;
    EXPECT_EQ(facesPerMaterial(dir / out, &materials), source);
    EXPECT_EQ(materials, wanted.size());
  }
  std::set<std::string> glb;
  const Glb bent = readGlb(dir / "bent.glb");
  for (const auto& m : bent.json["materials"]) glb.insert(m["name"].get<std::string>());
  EXPECT_EQ(glb, wanted);
  EXPECT_EQ(bent.json["materials"].size(), wanted.size());
  ASSERT_EQ(bent.json["meshes"].size(), 1u);
  EXPECT_EQ(bent.json["meshes"][0]["primitives"].size(), wanted.size()) << "one primitive per material of the object";
  EXPECT_EQ(keywordLines(readWhole(dir / "bent.mtl"), "newmtl").size(), wanted.size());

  // The engine's 29 meshes are used by 110 nodes: each instance wears its
  // mesh's material, which is still one of the file's 34 (fewer where two
  // of them are the same in all but their place in the list).
  dir.write("engine.json", assetScene(kEngine));
  const ToolRun engine = runKurvo(dir, "eval", "engine.json -o engine.glb");
  ASSERT_EQ(engine.status, 0) << engine.err;
  const Glb source_engine = readGlb(kEngine), written = readGlb(dir / "engine.glb");
  std::set<std::string> looks;
  for (const auto& m : source_engine.json["materials"]) looks.insert(m["name"].dump() + m["pbrMetallicRoughness"].dump());
  EXPECT_EQ(written.json["materials"].size(), looks.size());
  // The object's own list is the file's: one primitive for each material of
  // the file that a primitive of it uses.
  std::set<int> materials_used;
  for (const auto& mesh : source_engine.json["meshes"])
    for (const auto& primitive : mesh["primitives"]) materials_used.insert(primitive["material"].get<int>());
  ASSERT_EQ(written.json["meshes"].size(), 1u);
  EXPECT_EQ(written.json["meshes"][0]["primitives"].size(), materials_used.size());
}

// BoxTextured.glb carries its picture as bytes. Written as OBJ, the picture
// lies beside the output under the output's stem and the material's name,
// named by map_Kd; read back and written as .glb, it is the same picture.
TEST(FileMaterials, AGlbsEmbeddedPictureGoesBesideAnObjAndBack) {
  if (!std::filesystem::exists(kBox)) GTEST_SKIP() << "Debian's assimp-testmodels is not installed";
  const std::string picture = imageBytes(readGlb(kBox), 0);
  ASSERT_EQ(picture.substr(1, 3), "PNG");
  TempDir dir;
  std::filesystem::create_directories(dir / "out");
  dir.write("box.json", assetScene(kBox));
  const ToolRun run = runKurvo(dir, "eval", "box.json -o out/box.obj");
  ASSERT_EQ(run.status, 0) << run.err;
  const std::vector<std::string> maps = keywordLines(readWhole(dir / "out/box.mtl"), "map_Kd");
  ASSERT_EQ(maps, std::vector<std::string>{"box_Texture.png"});
  EXPECT_EQ(readWhole(dir / "out/box_Texture.png"), picture);
  // The import library's OBJ reader finds it by that name.
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile((dir / "out/box.obj").string(), 0);
  ASSERT_TRUE(scene) << importer.GetErrorString();
  aiString texture;
  bool found = false;
  for (unsigned m = 0; m < scene->mNumMaterials; ++m)
    found = found || scene->mMaterials[m]->GetTexture(aiTextureType_DIFFUSE, 0, &texture) == AI_SUCCESS;
  ASSERT_TRUE(found);
  EXPECT_EQ(std::string(texture.C_Str()), "box_Texture.png");

  dir.write("back.json", assetScene("out/box.obj"));
  const ToolRun back = runKurvo(dir, "eval", "back.json -o back.glb");
  ASSERT_EQ(back.status, 0) << back.err;
  EXPECT_EQ(imageBytes(readGlb(dir / "back.glb"), 0), picture);
}

// Two pictures whose names come out the same ("Flagé" and "Flagè" both
// give flags_Flag__.png: a file name keeps ASCII only) are two files, each
// material naming its own; and a picture that cannot be written leaves no
// output at all.
TEST(FileMaterials, TwoPicturesOfOneNameDoNotOverwriteEachOther) {
  TempDir dir;
  // Two materials with a picture file each, embedded by a .glb first.
  dir.write("red.png", std::string("\x89PNG\r\n\x1a\n", 8) + "red picture");
  dir.write("blue.png", std::string("\x89PNG\r\n\x1a\n", 8) + "blue picture");
  dir.write("flags.mtl", "newmtl Flag\xc3\xa9\nKd 1 0 0\nmap_Kd red.png\nnewmtl Flag\xc3\xa8\nKd 0 0 1\nmap_Kd blue.png\n");
  dir.write("flags.obj",
            "mtllib flags.mtl\nv 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\n"
            "usemtl Flag\xc3\xa9\nf 1/1 2/2 3/3\nusemtl Flag\xc3\xa8\nf 1/1 3/3 4/4\n");
  dir.write("flags.json", assetScene("flags.obj"));
  const ToolRun embedded = runKurvo(dir, "eval", "flags.json -o flags.glb");
  ASSERT_EQ(embedded.status, 0) << embedded.err;
  ASSERT_EQ(readGlb(dir / "flags.glb").json["images"].size(), 2u);
  std::filesystem::create_directories(dir / "out");
  dir.write("out/flags.json", assetScene("../flags.glb"));
  const ToolRun run = runKurvo(dir, "eval", "out/flags.json -o out/flags.obj");
  ASSERT_EQ(run.status, 0) << run.err;
  // The picture each material names, by its colour in the MTL.
  std::map<std::string, std::string> named;
  std::string colour;
  std::istringstream mtl(readWhole(dir / "out/flags.mtl"));
  for (std::string line; std::getline(mtl, line);) {
    if (line.rfind("Kd ", 0) == 0) colour = line.substr(3);
    if (line.rfind("map_Kd ", 0) == 0) named[colour] = line.substr(7);
  }
  ASSERT_EQ(named.size(), 2u) << readWhole(dir / "out/flags.mtl");
  EXPECT_EQ(readWhole(dir / "out" / named["1 0 0"]), readWhole(dir / "red.png"));
  EXPECT_EQ(readWhole(dir / "out" / named["0 0 1"]), readWhole(dir / "blue.png"));
  EXPECT_NE(named["1 0 0"], named["0 0 1"]);
  for (const auto& [kd, file] : named) EXPECT_TRUE(std::regex_match(file, std::regex("flags_Flag__(_2)?\\.png"))) << file;

  // A folder where a picture must go: the write fails, naming it, and no
  // OBJ, MTL or other picture is left behind.
  std::filesystem::create_directories(dir / "fail" / "flags_Flag__.png" / "x");
  dir.write("fail/flags.json", assetScene("../flags.glb"));
  const ToolRun failed = runKurvo(dir, "eval", "fail/flags.json -o fail/flags.obj");
  EXPECT_NE(failed.status, 0);
  EXPECT_NE(failed.err.find("flags_Flag__"), std::string::npos) << failed.err;
  std::set<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir / "fail")) left.insert(entry.path().filename().string());
  EXPECT_EQ(left, (std::set<std::string>{"flags.json", "flags_Flag__.png"}));
}

// A scene material on the object: every face wears it in every output, in
// place of the file's materials and their pictures; without one, the file's
// own stay (as above).
TEST(FileMaterials, ASceneMaterialOnTheObjectIsItsWholeLookInEveryOutput) {
  if (!haveModels()) GTEST_SKIP() << "Debian's assimp-testmodels is not installed";
  TempDir dir;
  dir.write("red.json", assetScene(kSpider, R"(, "material": "Red")"));
  dir.write("box.json", assetScene(kBox, R"(, "material": "Red")"));
  size_t faces = 0;
  for (const auto& [name, count] : facesPerMaterial(kSpider)) faces += count;
  for (const char* out : {"red.glb", "red.dae", "red.obj", "box.obj", "box.glb"}) {
    SCOPED_TRACE(out);
    const std::string scene = std::string(out).rfind("box", 0) == 0 ? "box.json" : "red.json";
    const ToolRun run = runKurvo(dir, "eval", scene + " -o " + out);
    ASSERT_EQ(run.status, 0) << run.err;
    Assimp::Importer importer;
    const aiScene* read = importer.ReadFile((dir / out).string(), 0);
    ASSERT_TRUE(read) << importer.GetErrorString();
    size_t red = 0, all = 0;
    for (unsigned m = 0; m < read->mNumMeshes; ++m) {
      const aiMaterial& material = *read->mMaterials[read->mMeshes[m]->mMaterialIndex];
      aiColor4D base(0, 0, 0, 0);
      if (material.Get(AI_MATKEY_BASE_COLOR, base) != AI_SUCCESS) {
        aiColor3D diffuse;
        material.Get(AI_MATKEY_COLOR_DIFFUSE, diffuse);
        base = aiColor4D(diffuse.r, diffuse.g, diffuse.b, 1);
      }
      aiString texture;
      const bool textured = material.GetTexture(aiTextureType_DIFFUSE, 0, &texture) == AI_SUCCESS ||
                            material.GetTexture(aiTextureType_BASE_COLOR, 0, &texture) == AI_SUCCESS;
      all += read->mMeshes[m]->mNumFaces;
      if (std::abs(base.r - 0.9f) < 1e-4f && std::abs(base.g - 0.1f) < 1e-4f && !textured) red += read->mMeshes[m]->mNumFaces;
    }
    EXPECT_GT(all, 0u);
    EXPECT_EQ(red, all) << "every face red and without a picture";
    if (scene == "red.json") {
      EXPECT_EQ(all, faces);
    }
  }
  EXPECT_FALSE(std::filesystem::exists(dir / "box_Texture.png")) << "the file's picture is not written";
  EXPECT_EQ(readGlb(dir / "red.glb").json["materials"].size(), 1u);
  EXPECT_FALSE(readGlb(dir / "box.glb").json.contains("images"));
}
