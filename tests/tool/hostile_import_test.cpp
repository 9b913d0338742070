// Hostile mesh files against the real tool: formats the tool does not read
// are refused by name, deep nesting and declared sizes are refused before the
// import library parses anything, and every failure is one line naming the
// scene, the object and the mesh file, within a memory cap and a time limit.
// The import library's own test models (Debian's assimp-testmodels) are the
// independent check that real files of every format still read.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "mesh_import.h"
#include "path_text.h"
#include "tool_run.h"

namespace {

const std::filesystem::path kTestModels = "/usr/share/assimp/models";

std::string meshScene(const std::string& mesh) {
  return R"({"format": "kurvo-scene", "version": 1, "objects": [{"name": "M", "type": "polygon", "mesh": ")" +
         mesh + R"("}]})";
}

std::string u32(uint32_t v) {
  std::string s;
  for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xff);
  return s;
}

std::string glb(const std::string& json, const std::string& binary) {
  std::string padded = json;
  while (padded.size() % 4) padded += ' ';
  std::string out = "glTF" + u32(2) + u32(static_cast<uint32_t>(12 + 8 + padded.size() + (binary.empty() ? 0 : 8 + binary.size())));
  out += u32(static_cast<uint32_t>(padded.size())) + "JSON" + padded;
  if (!binary.empty()) out += u32(static_cast<uint32_t>(binary.size())) + std::string("BIN\0", 4) + binary;
  return out;
}

std::string colladaAround(const std::string& geometry, const std::string& scene) {
  return R"(<?xml version="1.0" encoding="utf-8"?>
<COLLADA xmlns="http://www.collada.org/2005/11/COLLADASchema" version="1.4.1">
<library_geometries>)" + geometry + R"(</library_geometries>
<library_visual_scenes><visual_scene id="S">)" + scene + R"(</visual_scene></library_visual_scenes>
<scene><instance_visual_scene url="#S"/></scene></COLLADA>)";
}

// Each file through a scene's "mesh": refused with the scene, the object, the
// file and `part`, nothing written.
void expectMeshRefused(TempDir& dir, const std::string& mesh, const std::string& part) {
  dir.write("s.json", meshScene(mesh));
  const ToolRun run = runKurvo(dir, "eval", "s.json -o out.obj");
  expectOneLineRefusal(run, {"s.json", "object \"M\"", mesh, part}, mesh);
  EXPECT_FALSE(std::filesystem::exists(dir / "out.obj")) << mesh;
}

TEST(HostileImport, FormatsNotReadAreRefusedByName) {
  TempDir dir;
  // Formats whose importers crashed, hung or inflated zip bombs on small
  // files; none is handed to the import library.
  const std::string smd = "version 1\nnodes\n0 \"a\" -1\n";  // 22 bytes of the kind that ran for ever
  for (const char* name : {"a.smd", "a.cob", "a.ase", "a.md5mesh", "a.mdl", "a.ogex", "a.zae", "a.3mf", "a.fbx",
                           "a.off", "no_extension"}) {
    dir.write(name, smd);
    expectMeshRefused(dir, name, "not read as meshes; the formats read are .obj .gltf .glb .ply .stl .dae");
  }
}

TEST(HostileImport, NestingIsRefusedBeforeParsing) {
  TempDir dir;
  // 20,000 nested nodes, each the only child of the one before.
  std::string nodes;
  for (int i = 0; i < 20000; ++i) {
    nodes.append(i ? ",{\"children\":[" : "{\"children\":[");
    nodes.append(std::to_string(i + 1));
    nodes.append("]}");
  }
  nodes += ",{}";
  dir.write("deep-nodes.gltf", R"({"asset":{"version":"2.0"},"scenes":[{"nodes":[0]}],"nodes":[)" + nodes + "]}");
  expectMeshRefused(dir, "deep-nodes.gltf", "its nodes nest deeper than 1000 levels");
  dir.write("deep-nodes.glb", glb(R"({"asset":{"version":"2.0"},"scenes":[{"nodes":[0]}],"nodes":[)" + nodes + "]}", ""));
  expectMeshRefused(dir, "deep-nodes.glb", "its nodes nest deeper than 1000 levels");
  // "extras" 200,000 arrays deep.
  dir.write("deep-extras.gltf",
            R"({"asset":{"version":"2.0"},"extras":)" + std::string(200000, '[') + std::string(200000, ']') + "}");
  expectMeshRefused(dir, "deep-extras.gltf", "its JSON document nests deeper than 512 levels");
  // 20,000 nested <node> elements.
  std::string deep;
  for (int i = 0; i < 20000; ++i) deep += "<node>";
  for (int i = 0; i < 20000; ++i) deep += "</node>";
  dir.write("deep.dae", colladaAround("", deep));
  expectMeshRefused(dir, "deep.dae", "its XML nests deeper than 1100 levels");
  // Nodes that are their own ancestors: the import library's own test model.
  if (std::filesystem::exists(kTestModels / "glTF2/RecursiveNodes/RecursiveNodes.gltf")) {
    std::filesystem::copy_file(kTestModels / "glTF2/RecursiveNodes/RecursiveNodes.gltf", dir / "recursive.gltf");
    expectMeshRefused(dir, "recursive.gltf", "its nodes form a cycle");
  }
}

TEST(HostileImport, DeclaredCountsAreCheckedAgainstTheFileSize) {
  TempDir dir;
  // 1 KB declaring four billion floats.
  dir.write("float-array.dae",
            colladaAround(R"(<geometry id="g"><mesh><source id="p"><float_array id="a" count="4294967295">0 0 0</float_array>
<technique_common><accessor source="#a" count="1" stride="3"/></technique_common></source></mesh></geometry>)",
                          ""));
  expectMeshRefused(dir, "float-array.dae", "declares a count of 4294967295");
  // A hundred triangles of eight values a corner, in a file of a few hundred
  // bytes (the library reserves corners times values).
  dir.write("triangles.dae", colladaAround(R"(<geometry id="g"><mesh><triangles count="100">
<input semantic="VERTEX" source="#v" offset="7"/><p>0 1 2</p></triangles></mesh></geometry>)",
                                           ""));
  expectMeshRefused(dir, "triangles.dae", "a primitive declares 300 corners of 8 values each");
  // A zip container under a COLLADA name (the library would inflate it).
  dir.write("zipped.dae", std::string("PK\x03\x04\x14\x00\x00\x00", 8) + std::string(200, 'z'));
  expectMeshRefused(dir, "zipped.dae", "is not text");

  // A binary PLY whose one face lists four billion corners.
  std::string ply = "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                    "property float z\nelement face 1\nproperty list uint int vertex_indices\nend_header\n";
  ply += std::string(36, '\0') + u32(4000000000u) + std::string(12, '\0');
  dir.write("face-list.ply", ply);
  expectMeshRefused(dir, "face-list.ply", "declares a list of 4000000000 items");
  dir.write("face-list-text.ply",
            "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
            "element face 1\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n1 0 0\n0 1 0\n"
            "4000000000 0 1 2\n");
  expectMeshRefused(dir, "face-list-text.ply", "declares a list of 4000000000 items");

  // A GLB whose accessor of a billion points has only sparse values.
  const std::string sparse = R"({"asset":{"version":"2.0"},"buffers":[{"byteLength":16}],
    "bufferViews":[{"buffer":0,"byteLength":4},{"buffer":0,"byteOffset":4,"byteLength":12}],
    "accessors":[{"count":1000000000,"type":"VEC3","componentType":5126,
      "sparse":{"count":1,"indices":{"bufferView":0,"componentType":5125},"values":{"bufferView":1}}}],
    "meshes":[{"primitives":[{"attributes":{"POSITION":0}}]}],"nodes":[{"mesh":0}],"scenes":[{"nodes":[0]}]})";
  dir.write("sparse.glb", glb(sparse, std::string(16, '\0')));
  expectMeshRefused(dir, "sparse.glb", "accessors[0] declares 1000000000 elements without a buffer view");
  // Counts past their buffer views, and a buffer longer than the bytes it has.
  std::string views = sparse;
  views.replace(views.find(R"("count":1000000000)"), 18, R"("bufferView":1,"count":3)");
  dir.write("past-view.glb", glb(views, std::string(16, '\0')));
  expectMeshRefused(dir, "past-view.glb", "accessors[0] declares 3 elements, which need 36 bytes");
  dir.write("short-buffer.glb", glb(sparse, std::string(8, '\0')));
  expectMeshRefused(dir, "short-buffer.glb", "buffers[0] declares 16 bytes but holds 8");
}

// Files on which the import library itself once failed badly (found by
// fuzzing): a COLLADA index list whose damaged number made it allocate until
// the machine ran out (24 GB in a minute), a PLY on whose parse error it freed
// memory it did not own. The library reads in a child process now: each ends
// as a refusal naming the file, within the memory a read may take.
TEST(HostileImport, FaultsOfTheImportLibraryEndAsRefusals) {
  ::setenv("KURVO_IMPORT_MEMORY_MB", "256", 1);
  TempDir dir;
  const std::filesystem::path kept = std::filesystem::path(KURVO_FUZZ_REGRESSIONS);
  for (const char* input : {"dae/runaway-index-list.dae", "ply/bad-free-on-parse-error.ply"}) {
    const std::string name = std::filesystem::path(input).filename().string();
    std::filesystem::copy_file(kept / input, dir.path() / name);
    dir.write("s.json", meshScene(name));
    const ToolRun run = runKurvo(dir, "eval", "s.json -o out.obj");
    EXPECT_FALSE(std::filesystem::exists(dir / "out.obj")) << name;
    // A sanitizer's report of what it saw in the child comes first there.
    const std::string last = run.err.substr(run.err.rfind('\n', run.err.size() - 2) + 1);
    if (kToolSanitized) {
      EXPECT_EQ(run.status, 1) << run.err;
      EXPECT_NE(last.find("cannot read mesh file"), std::string::npos) << run.err;
      EXPECT_NE(last.find(name), std::string::npos) << run.err;
    } else {
      expectOneLineRefusal(run, {"s.json", "object \"M\"", name, "cannot read mesh file"}, name);
      if (name.ends_with(".dae")) {
        EXPECT_NE(run.err.find("needed more than the 256 MB"), std::string::npos) << run.err;
      }
    }
  }
  ::unsetenv("KURVO_IMPORT_MEMORY_MB");
}

// Every test model of the formats the tool reads either loads or fails with
// one line naming the file: no crash, no exception, no second line. The
// plain ones of each format load with points.
TEST(HostileImport, TheImportLibrarysOwnTestModelsReadOrFailInOneLine) {
  if (!std::filesystem::is_directory(kTestModels))
    GTEST_SKIP() << "Debian's assimp-testmodels is not installed (scripts/install-deps.sh installs it)";
  size_t read = 0, refused = 0;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(kTestModels)) {
    const std::string extension = kurvo::media::lower_extension(entry.path());
    if (!entry.is_regular_file() || entry.file_size() > 2'000'000) continue;
    if (extension != ".obj" && extension != ".gltf" && extension != ".glb" && extension != ".ply" &&
        extension != ".stl" && extension != ".dae")
      continue;
    auto meshes = kurvo::media::import_meshes(entry.path());
    if (meshes.ok()) {
      ++read;
      continue;
    }
    ++refused;
    const std::string& message = meshes.message();
    EXPECT_EQ(message.rfind("cannot read mesh file '" + entry.path().string() + "': ", 0), 0u) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
  }
  EXPECT_GT(read, 40u);
  EXPECT_GT(refused, 0u);  // the package's invalid files among them
  for (const char* model : {"PLY/cube.ply", "PLY/cube_binary.ply", "STL/triangle.stl", "STL/Spider_binary.stl",
                            "Collada/cube_tristrips.dae", "Collada/teapot_instancenodes.DAE",
                            "glTF2/BoxTextured-glTF-Binary/BoxTextured.glb",
                            "glTF2/BoxTextured-glTF-Embedded/BoxTextured.gltf", "OBJ/box.obj"}) {
    auto meshes = kurvo::media::import_meshes(kTestModels / model);
    ASSERT_TRUE(meshes.ok()) << model << ": " << meshes.message();
    size_t points = 0;
    for (const auto& m : meshes.value()) points += m.points.size();
    EXPECT_GT(points, 2u) << model;
  }
}

}  // namespace
