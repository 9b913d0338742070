// Meshes in scenes: read through Assimp (and the own OBJ reader), written
// back in world coordinates, in point order, one mesh per object, names kept.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <utility>

#include "mesh_export.h"
#include "mesh_import.h"
#include "scene_fixture.h"
#include "scene_preview.h"
#include "temp_dir.h"

namespace {

namespace sf = kurvo::scenefile;
using kurvo::host::Document;

const char* kPly =
    "ply\nformat ascii 1.0\nelement vertex 5\nproperty float x\nproperty float y\nproperty float z\n"
    "element face 2\nproperty list uchar int vertex_indices\nend_header\n"
    "0 0 0\n10 0 0\n10 10 0\n0 10 0\n5 5 8\n4 0 1 2 3\n3 0 1 4\n";

TEST_F(SceneTest, MeshFileIsReadAndWrittenBackInWorldCoordinates) {
  TempDir dir;
  dir.write("part.ply", kPly);
  sf::Scene scene;
  Document& doc = load(sceneWith(R"({"name": "Holder", "type": "null", "position": [100, 0, 0], "children": [
                                       {"name": "Part", "type": "polygon", "mesh": "part.ply", "scale": 2}]},
                                     {"name": "Tri", "type": "polygon", "points": [[0,0,0],[1,0,0],[0,1,0]],
                                      "polygons": [[0,1,2]]})"),
                       scene, dir / "scene.json");
  doc.evaluate();
  kurvo::host::Object* part = find(doc, "Part");
  ASSERT_NE(part, nullptr);
  ASSERT_EQ(part->points().size(), 5u);
  // File order kept; PLY is Z up, right-handed: the file's (5, 5, 8) is
  // 8 units up in the scene.
  EXPECT_EQ(part->points()[4], Vector(5, 8, 5));
  ASSERT_EQ(part->polygons().size(), 2u);
  EXPECT_FALSE(part->polygons()[0].IsTriangle());

  const auto meshes = sf::worldMeshes(doc);
  ASSERT_EQ(meshes.size(), 2u);
  EXPECT_EQ(meshes[0].name, "Part");
  EXPECT_EQ(meshes[0].points[4], Vector(110, 16, 10));  // scaled by 2, moved by the holder

  // PLY keeps point order and quads through Assimp.
  ASSERT_TRUE(kurvo::media::export_meshes(meshes, dir / "out.ply").ok());
  auto ply = kurvo::media::import_meshes(dir / "out.ply");
  ASSERT_TRUE(ply.ok()) << ply.message();
  ASSERT_GE(ply.value().size(), 1u);
  EXPECT_EQ(ply.value()[0].points[4], Vector(110, 16, 10));

  // glTF keeps one mesh per object and the names.
  ASSERT_TRUE(kurvo::media::export_meshes(meshes, dir / "out.glb").ok());
  auto glb = kurvo::media::import_meshes(dir / "out.glb");
  ASSERT_TRUE(glb.ok()) << glb.message();
  ASSERT_EQ(glb.value().size(), 2u);
  EXPECT_EQ(glb.value()[0].name, "Part");
  EXPECT_EQ(glb.value()[1].name, "Tri");
}

TEST_F(SceneTest, MeshesOfOneFileJoinInFileOrderUnlessOneIsNamed) {
  TempDir dir;
  dir.write("two.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nv 5 5 5\nv 6 5 5\nv 6 6 5\nv 5 6 5\n"
                       "o A\nf 1 2 3\no B\nf 4 5 6 7\n");
  using kurvo::geo::Polygon;
  {
    sf::Scene scene;
    Document& doc = load(sceneWith(R"({"name": "Both", "type": "polygon", "mesh": "two.obj", "mesh_axes": "raw"})"),
                         scene, dir / "scene.json");
    kurvo::host::Object* both = find(doc, "Both");
    ASSERT_NE(both, nullptr);
    ASSERT_EQ(both->points().size(), 7u);
    EXPECT_EQ(both->points()[3], Vector(5, 5, 5));
    ASSERT_EQ(both->polygons().size(), 2u);
    EXPECT_EQ(both->polygons()[0], (Polygon{0, 1, 2, 2}));
    EXPECT_EQ(both->polygons()[1], (Polygon{3, 4, 5, 6}));
  }
  sf::Scene scene;
  Document& doc = load(sceneWith(R"({"name": "B", "type": "polygon", "mesh": "two.obj", "mesh_name": "B",
                                     "mesh_axes": "raw"})"),
                       scene, dir / "scene.json");
  kurvo::host::Object* b = find(doc, "B");
  ASSERT_NE(b, nullptr);
  ASSERT_EQ(b->points().size(), 4u);
  EXPECT_EQ(b->points()[0], Vector(5, 5, 5));
  ASSERT_EQ(b->polygons().size(), 1u);
  EXPECT_EQ(b->polygons()[0], (Polygon{0, 1, 2, 3}));
}

// The command line maps points into the file's frame as it makes the world
// meshes; that must write the very files the export's own mapping writes.
TEST_F(SceneTest, MeshesMappedWhileMadeWriteTheSameFilesAsTheExportsOwnMapping) {
  TempDir dir;
  dir.write("part.ply", kPly);
  sf::Scene scene;
  Document& doc = load(sceneWith(R"({"name": "Holder", "type": "null", "position": [100, -3, 7.25],
                                     "rotation": [30, -45, 10], "children": [
                                       {"name": "Part", "type": "polygon", "mesh": "part.ply", "scale": 0.3}]},
                                     {"name": "Tri", "type": "polygon", "points": [[0,0,-1],[1,0,0],[0,1,0.5]],
                                      "polygons": [[0,1,2]], "position": [0, 0, -2]})"),
                       scene, dir / "scene.json");
  doc.evaluate();
  const auto read = [](const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  kurvo::media::ExportOptions raw, scaled, raw_scaled;
  raw.raw_axes = true;
  scaled.scale = 2.5f;
  raw_scaled.raw_axes = true;
  raw_scaled.scale = 0.1f;
  const std::pair<const char*, kurvo::media::ExportOptions> cases[] = {
      {".obj", {}}, {".glb", {}}, {".stl", {}}, {".ply", scaled}, {".obj", raw}, {".glb", raw_scaled}, {".obj", scaled}};
  int n = 0;
  for (const auto& [extension, options] : cases) {
    SCOPED_TRACE(extension + std::string(options.raw_axes ? " raw" : "") + " scale " + std::to_string(options.scale));
    // Side by side under one name: an OBJ names its MTL inside.
    const std::filesystem::path two_passes = dir / ("two" + std::to_string(n)) / ("out" + std::string(extension));
    const std::filesystem::path one_pass = dir / ("one" + std::to_string(n++)) / ("out" + std::string(extension));
    std::filesystem::create_directories(two_passes.parent_path());
    std::filesystem::create_directories(one_pass.parent_path());
    ASSERT_TRUE(kurvo::media::export_meshes(sf::worldMeshes(doc), two_passes, options).ok());
    const kurvo::media::FileMapping mapping = kurvo::media::file_mapping(one_pass, options);
    ASSERT_TRUE(kurvo::media::export_mapped_meshes(sf::worldMeshes(doc, nullptr, &mapping), one_pass, options).ok());
    EXPECT_EQ(read(one_pass), read(two_passes));
  }
}

TEST_F(SceneTest, MeshAxesAndWeldingAreAskedForAndKeptWhenSaved) {
  TempDir dir;
  // Two triangles side by side, the shared corners repeated as in an STL.
  dir.write("pair.ply",
            "ply\nformat ascii 1.0\nelement vertex 6\nproperty float x\nproperty float y\nproperty float z\n"
            "element face 2\nproperty list uchar int vertex_indices\nend_header\n"
            "0 0 0\n1 0 0\n0 1 0\n1 0 0\n1 1 0\n0 1 0\n3 0 1 2\n3 3 4 5\n");
  sf::Scene scene;
  Document& doc = load(sceneWith(R"({"name": "Kept", "type": "polygon", "mesh": "pair.ply"},
                                    {"name": "Raw", "type": "polygon", "mesh": "pair.ply", "mesh_axes": "raw",
                                     "mesh_weld": true})"),
                       scene, dir / "scene.json");
  kurvo::host::Object* kept = find(doc, "Kept");
  kurvo::host::Object* raw = find(doc, "Raw");
  ASSERT_TRUE(kept && raw);
  ASSERT_EQ(kept->points().size(), 6u);
  EXPECT_EQ(kept->points()[2], Vector(0, 0, 1));  // the file's +Y is the scene's +Z
  ASSERT_EQ(raw->points().size(), 4u);
  EXPECT_EQ(raw->points()[2], Vector(0, 1, 0));
  ASSERT_TRUE(sf::saveScene(doc, scene, dir / "copy.json", host()).ok());
  std::ifstream in(dir / "copy.json");
  const sf::Json saved = sf::Json::parse(in);
  EXPECT_FALSE(saved["objects"][0].contains("mesh_axes"));
  EXPECT_EQ(saved["objects"][1]["mesh_axes"], "raw");
  EXPECT_EQ(saved["objects"][1]["mesh_weld"], true);

  EXPECT_NE(loadError(sceneWith(R"({"name": "M", "type": "polygon", "mesh": "pair.ply", "mesh_axes": "left"})"),
                      dir / "bad.json")
                .find("object \"M\": mesh_axes: expected \"converted\" or \"raw\""),
            std::string::npos);
}

TEST_F(SceneTest, SavedSceneRefersToTheMeshRelativeToItsNewPlace) {
  TempDir dir;
  std::filesystem::create_directories(dir / "meshes");
  std::filesystem::create_directories(dir / "out");
  {
    std::ofstream(dir / "meshes" / "part.ply") << kPly;
  }
  sf::Scene scene;
  Document& doc = load(sceneWith(R"({"name": "Part", "type": "polygon", "mesh": "meshes/part.ply"})"), scene,
                       dir / "scene.json");
  ASSERT_TRUE(sf::saveScene(doc, scene, dir / "out" / "copy.json", host()).ok());
  std::ifstream in(dir / "out" / "copy.json");
  const sf::Json saved = sf::Json::parse(in);
  EXPECT_EQ(saved["objects"][0]["mesh"], "../meshes/part.ply");

  // The copy loads from its own place.
  auto again = sf::loadScene(dir / "out" / "copy.json", newDocument(), host());
  EXPECT_TRUE(again.ok()) << again.message();
}

TEST_F(SceneTest, PreviewHasTheMeshesThePathsAndTheDeformerArrow) {
  sf::Scene scene;
  Document& doc = load(sceneWith(R"({"name": "Path", "type": "spline", "primitive": {"kind": "circle", "radius": 300}},
                                     {"name": "Box", "type": "polygon", "primitive": {"kind": "cube", "segments": 4},
                                      "children": [{"name": "D", "type": "Kurvo2", "params": {"KURVO_SPLINE": "Path"}}]})"),
                       scene);
  doc.evaluate();
  const sf::Preview preview = sf::buildPreview(doc);
  ASSERT_EQ(preview.meshes.size(), 1u);
  size_t arrow = 0, path = 0;
  for (const auto& l : preview.lines) {
    if (l.colour == Vector(0.9f, 0.7f, 0.0f) || l.colour == Vector(0.1f, 0.5f, 0.9f)) ++arrow;
    else ++path;
  }
  EXPECT_EQ(arrow, 8u);  // seven outline lines and the axis
  EXPECT_GE(path, 8u * 20u);
}

}  // namespace
