// Mesh files: round trips through every main format, the OBJ reader's own
// rules, and the messages users see for bad files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "mesh_export.h"
#include "mesh_import.h"
#include "polygon_split.h"
#include "temp_dir.h"

using namespace kurvo::media;

namespace {

// A box whose point order differs from the order in which its faces first use
// the points, with quads and triangles, so a reader that renumbers is caught.
Mesh sample_box() {
  Mesh m;
  m.name = "Bent_Box";
  m.points = {{1, 1, 1}, {0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {0, 1, 1}, {0.5f, 1.5f, 0.5f}};
  set_polygons(m, {{4, 3, 2, 1}, {5, 6, 0, 7}, {1, 2, 6, 5}, {2, 3, 0, 6}, {1, 5, 7, 4},
                   make_triangle(3, 4, 8), make_triangle(4, 7, 8), make_triangle(7, 0, 8), make_triangle(0, 3, 8)});
  m.colour = Vector(0.25f, 0.5f, 0.75f);
  return m;
}

Mesh sample_triangle(const std::string& name, float x) {
  Mesh m;
  m.name = name;
  m.points = {{x, 0, 0}, {x + 1, 0, 0}, {x, 1, 0}};
  set_polygons(m, {make_triangle(0, 1, 2)});
  return m;
}

// Triangles as sets of corner positions, for formats that cut quads.
std::multiset<std::vector<float>> triangle_positions(const Mesh& m) {
  std::vector<Polygon> tris;
  for (const Polygon& q : mesh_polygons(m)) {
    tris.push_back(make_triangle(q.a, q.b, q.c));
    if (!q.is_triangle()) tris.push_back(make_triangle(q.a, q.c, q.d));
  }
  std::multiset<std::vector<float>> out;
  for (const Polygon& t : tris) {
    std::vector<std::vector<float>> corners;
    for (int32_t i : {t.a, t.b, t.c}) corners.push_back({m.points[i].x, m.points[i].y, m.points[i].z});
    std::sort(corners.begin(), corners.end());
    std::vector<float> flat;
    for (const auto& c : corners) flat.insert(flat.end(), c.begin(), c.end());
    out.insert(flat);
  }
  return out;
}

void expect_same_points(const Mesh& expected, const Mesh& actual) {
  ASSERT_EQ(expected.points.size(), actual.points.size());
  for (size_t i = 0; i < expected.points.size(); ++i) EXPECT_EQ(expected.points[i], actual.points[i]) << "point " << i;
}

void expect_same_polygons(const Mesh& expected, const Mesh& actual) {
  const std::vector<Polygon> expected_polygons = mesh_polygons(expected), actual_polygons = mesh_polygons(actual);
  ASSERT_EQ(expected_polygons.size(), actual_polygons.size());
  for (size_t i = 0; i < expected_polygons.size(); ++i) {
    const Polygon& e = expected_polygons[i];
    const Polygon& a = actual_polygons[i];
    EXPECT_TRUE(e.a == a.a && e.b == a.b && e.c == a.c && e.d == a.d) << "polygon " << i;
  }
}

class MeshRoundTrip : public ::testing::TestWithParam<std::string> {};

TEST_P(MeshRoundTrip, KeepsPointsPolygonsNamesAndColours) {
  const std::string ext = GetParam();
  TempDir dir;
  const std::vector<Mesh> written = {sample_box(), sample_triangle("second piece", 5)};
  const auto file = dir / ("out" + ext);
  ASSERT_TRUE(export_meshes(written, file).ok()) << export_meshes(written, file).message();

  const auto read = import_meshes(file);
  ASSERT_TRUE(read.ok()) << read.message();
  const std::vector<Mesh>& meshes = read.value();
  const bool triangles_only = ext == ".glb" || ext == ".gltf";
  const bool has_names = ext != ".ply";

  // STL stores loose triangles; COLLADA is read back by the importer's own
  // rules: both must give back the same surface.
  if (ext == ".stl" || ext == ".dae") {
    std::multiset<std::vector<float>> expected, actual;
    for (const Mesh& m : written) expected.merge(triangle_positions(m));
    for (const Mesh& m : meshes) actual.merge(triangle_positions(m));
    EXPECT_EQ(expected, actual);
    return;
  }
  // PLY holds one point list, so both meshes come back as one. A point whose
  // corners differ in normal (the box's hard edges) is written once per
  // normal after all the points, which keep their order: welded, the points
  // are those written.
  if (ext == ".ply") {
    ASSERT_EQ(meshes.size(), 1u);
    ImportOptions welded;
    welded.weld = true;
    const auto joined = import_meshes(file, welded);
    ASSERT_TRUE(joined.ok()) << joined.message();
    EXPECT_EQ(joined.value()[0].points.size(), written[0].points.size() + written[1].points.size());
    for (size_t i = 0; i < written[0].points.size(); ++i) EXPECT_EQ(meshes[0].points[i], written[0].points[i]);
    EXPECT_EQ(meshes[0].face_count(), written[0].face_count() + written[1].face_count());
    return;
  }
  ASSERT_EQ(meshes.size(), written.size());
  for (size_t m = 0; m < written.size(); ++m) {
    SCOPED_TRACE(written[m].name);
    if (triangles_only) {
      // glTF repeats points where normals differ: the surface is what returns.
      EXPECT_EQ(triangle_positions(written[m]), triangle_positions(meshes[m]));
    } else {
      expect_same_points(written[m], meshes[m]);
      expect_same_polygons(written[m], meshes[m]);
    }
    if (has_names) {
      EXPECT_EQ(meshes[m].name, written[m].name);
    }
  }
  ASSERT_TRUE(meshes[0].colour.has_value());
  EXPECT_EQ(*meshes[0].colour, *written[0].colour);
  // glTF always carries a base colour, white by default.
  if (triangles_only) {
    EXPECT_EQ(meshes[1].colour.value_or(Vector(0, 0, 0)), Vector(1, 1, 1));
  } else {
    EXPECT_FALSE(meshes[1].colour.has_value());
  }
}

// Every offered format: a format is offered only when it survives this.
INSTANTIATE_TEST_SUITE_P(Formats, MeshRoundTrip, ::testing::ValuesIn(supported_export_extensions()),
                         [](const auto& info) { return info.param.substr(1); });

TEST(MeshExport, ObjKeepsCoincidentAndUnusedPointsAndLeavesNoTemporaries) {
  TempDir dir;
  Mesh m = sample_triangle("t", 0);
  m.points.push_back(m.points[0]);       // coincident with point 0
  m.points.push_back({7.0f, 8.0f, 9.0f});  // used by no polygon
  m.points.push_back({0.1f, 1e-7f, -3.4e38f});
  ASSERT_TRUE(export_meshes({m}, dir / "t.obj").ok());
  EXPECT_EQ(dir.names(), std::vector<std::string>{"t.obj"});  // no colour: no .mtl

  const auto read = import_meshes(dir / "t.obj");
  ASSERT_TRUE(read.ok()) << read.message();
  expect_same_points(m, read.value()[0]);
}

TEST(MeshExport, ColouredObjWritesItsMaterialLibraryBeside) {
  TempDir dir;
  ASSERT_TRUE(export_meshes({sample_box()}, dir / "box.obj").ok());
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"box.mtl", "box.obj"}));
}

TEST(MeshExport, GltfBufferIsNamedAfterTheOutputNotTheTemporary) {
  TempDir dir;
  ASSERT_TRUE(export_meshes({sample_box()}, dir / "scene.gltf").ok());
  for (const std::string& name : dir.names()) EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
  const auto read = import_meshes(dir / "scene.gltf");
  ASSERT_TRUE(read.ok()) << read.message();
}

TEST(MeshExport, UnknownExtensionListsTheSupportedOnes) {
  TempDir dir;
  const Status s = export_meshes({sample_box()}, dir / "out.xyz");
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find("out.xyz"), std::string::npos) << s.message();
  for (const char* ext : {".obj", ".ply", ".stl", ".glb", ".gltf"})
    EXPECT_NE(s.message().find(ext), std::string::npos) << s.message();
  EXPECT_TRUE(dir.names().empty());
}

TEST(MeshExport, RejectsBrokenMeshesAndMissingDirectoriesWithoutWriting) {
  TempDir dir;
  Mesh broken = sample_triangle("broken one", 0);
  broken.add_polygon(make_triangle(0, 1, 3));
  Status s = export_meshes({broken}, dir / "b.glb");
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find("broken one"), std::string::npos) << s.message();

  for (const char* name : {"missing/x.obj", "missing/x.glb"}) {
    s = export_meshes({sample_box()}, dir / name);
    ASSERT_FALSE(s.ok()) << name;
    EXPECT_NE(s.message().find(name), std::string::npos) << s.message();
  }
  EXPECT_TRUE(dir.names().empty());
}

TEST(MeshExport, ReplacesAnExistingFile) {
  TempDir dir;
  dir.write("m.obj", "old content that is not a mesh");
  ASSERT_TRUE(export_meshes({sample_triangle("new", 0)}, dir / "m.obj").ok());
  const auto read = import_meshes(dir / "m.obj");
  ASSERT_TRUE(read.ok()) << read.message();
  EXPECT_EQ(read.value()[0].name, "new");
}

TEST(MeshImport, PointsStayAsTheFileHasThemUnlessWelded) {
  TempDir dir;
  Mesh cube = sample_box();
  cube.points.pop_back();
  std::vector<Polygon> sides = mesh_polygons(cube);
  sides.resize(5);
  set_polygons(cube, sides);
  cube.add_polygon({4, 7, 0, 3});
  // STL stores every triangle's corners on their own.
  ASSERT_TRUE(export_meshes({cube}, dir / "cube.stl").ok());
  auto read = import_meshes(dir / "cube.stl");
  ASSERT_TRUE(read.ok()) << read.message();
  EXPECT_EQ(read.value()[0].points.size(), 36u);
  EXPECT_EQ(read.value()[0].face_count(), 12u);
  ImportOptions weld;
  weld.weld = true;
  read = import_meshes(dir / "cube.stl", weld);
  ASSERT_TRUE(read.ok()) << read.message();
  EXPECT_EQ(read.value()[0].points.size(), 8u);
  EXPECT_EQ(read.value()[0].face_count(), 12u);

  // Coincident points the file keeps apart (a seam) stay apart; welding
  // joins them and renumbers the polygons in first-use order.
  Mesh seam;
  seam.name = "seam";
  seam.points = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {1, 0, 0}, {2, 0, 0}, {1, 1, 0}};
  set_polygons(seam, {make_triangle(0, 1, 2), make_triangle(3, 4, 5)});
  for (const char* ext : {".ply", ".obj", ".glb"}) {
    SCOPED_TRACE(ext);
    const auto file = dir / (std::string("seam") + ext);
    ASSERT_TRUE(export_meshes({seam}, file).ok());
    read = import_meshes(file);
    ASSERT_TRUE(read.ok()) << read.message();
    EXPECT_EQ(read.value()[0].points.size(), 6u);
    read = import_meshes(file, weld);
    ASSERT_TRUE(read.ok()) << read.message();
    ASSERT_EQ(read.value()[0].points.size(), 4u);
    EXPECT_EQ(triangle_positions(read.value()[0]), triangle_positions(seam));
  }
}

ImportOptions raw_options() {
  ImportOptions options;
  options.raw_axes = true;
  return options;
}

// The reader takes the file a block at a time: lines, continued lines and
// line numbers must come out as from the whole text, wherever a block ends.
TEST(MeshImport, ObjReaderLinesAcrossReadBlocks) {
  TempDir dir;
  std::string text = "o big\n\n  \n";  // empty lines count too
  const int count = 150000;  // about 2.5 MiB: block ends fall inside many kinds of line
  for (int i = 0; i < count; ++i) {
    const std::string x = std::to_string(i) + ".5", y = std::to_string(-i);
    if (i % 997 == 0)
      text += "v " + x + " \\\n" + y + " 0.25 # continued\n";
    else
      text += "v " + x + " " + y + " 0.25\n";
  }
  text += "f 1 2 " + std::to_string(count);  // no final line break
  dir.write("big.obj", text);
  const auto read = import_meshes(dir / "big.obj", raw_options());
  ASSERT_TRUE(read.ok()) << read.message();
  const Mesh& mesh = read.value().at(0);
  ASSERT_EQ(mesh.points.size(), static_cast<size_t>(count));
  for (int i = 0; i < count; ++i)
    ASSERT_EQ(mesh.points[i], Vector(static_cast<float>(i) + 0.5f, static_cast<float>(-i), 0.25f)) << "point " << i;
  ASSERT_EQ(mesh.face_count(), 1u);
  EXPECT_EQ(mesh.face(0)[2], count - 1);

  // A mistake far into the file names its line: every line before it counted.
  dir.write("bad.obj", text.substr(0, text.rfind('f')) + "v 1 2\n");
  const auto bad = import_meshes(dir / "bad.obj");
  ASSERT_FALSE(bad.ok());
  const size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  EXPECT_NE(bad.message().find("line " + std::to_string(lines + 1) + ":"), std::string::npos) << bad.message();
}

TEST(MeshImport, ObjReaderFollowsCommonSyntax) {
  TempDir dir;
  dir.write("c.mtl", "newmtl red\nKd 1 0 0\n");
  dir.write("c.obj",
            "# comment\nmtllib c.mtl\n"
            "v 0 0 0\nv 1 0 0\nv 1 1 0\nv 0 1 0\nvt 0 0\nvn 0 0 1\n"
            "g first\nusemtl red\nf 1/1/1 2/1/1 3/1/1 4/1/1\n"
            "v 5 0 0\nv 6 0 0\nv 6 \\\n 1 0\n"
            "o second\nf -3//1 -2//1 -1//1\n");
  const auto read = import_meshes(dir / "c.obj");
  ASSERT_TRUE(read.ok()) << read.message();
  const auto& meshes = read.value();
  ASSERT_EQ(meshes.size(), 2u);
  EXPECT_EQ(meshes[0].name, "first");
  EXPECT_EQ(meshes[0].points.size(), 4u);
  ASSERT_EQ(meshes[0].face_count(), 1u);
  EXPECT_EQ(meshes[0].face_size(0), 4u);
  ASSERT_TRUE(meshes[0].colour.has_value());
  EXPECT_EQ(*meshes[0].colour, Vector(1, 0, 0));
  EXPECT_EQ(meshes[1].name, "second");
  ASSERT_EQ(meshes[1].points.size(), 3u);
  EXPECT_EQ(meshes[1].points[2], Vector(6, 1, 0));
  EXPECT_FALSE(meshes[1].colour.has_value());
}

TEST(MeshImport, ConcavePolygonsAreCutInsideTheirOutline) {
  // An L outline of six corners: a fan from corner 0 would cover the notch.
  const std::vector<Vector> points = {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}};
  for (bool reversed : {false, true}) {
    std::vector<int32_t> corners = {0, 1, 2, 3, 4, 5};
    if (reversed) std::reverse(corners.begin(), corners.end());
    std::vector<Polygon> out;
    ASSERT_TRUE(append_polygon(points, corners, out));
    ASSERT_EQ(out.size(), 4u);  // n - 2: no point added
    float area = 0.0f;
    for (const Polygon& t : out) {
      const Vector n = Cross(points[t.b] - points[t.a], points[t.c] - points[t.a]);
      // A sliver along three corners on one line has no winding but keeps
      // the cut watertight once the points move.
      if (n.z != 0) {
        EXPECT_EQ(n.z > 0, !reversed) << "winding kept";
      }
      area += 0.5f * std::fabs(n.z);
    }
    EXPECT_FLOAT_EQ(area, 3.0f);  // the L's area: no triangle outside it
  }
  std::vector<Polygon> out;
  EXPECT_FALSE(append_polygon(points, std::vector<int32_t>{0, 1}, out));
  EXPECT_TRUE(out.empty());
}

TEST(MeshImport, MissingAndUnreadableFilesNameTheFile) {
  TempDir dir;
  dir.write("garbage.ply", "this is not a ply file\n");
  dir.write("garbage.xyz", "nothing any reader knows\n");
  dir.write("bad.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n");
  dir.write("short.obj", "v 0 0\n");
  for (const char* name : {"absent.obj", "absent.glb", "garbage.ply", "garbage.xyz", "bad.obj", "short.obj"}) {
    const auto read = import_meshes(dir / name);
    ASSERT_FALSE(read.ok()) << name;
    EXPECT_NE(read.message().find(name), std::string::npos) << read.message();
    EXPECT_GT(read.message().size(), (dir / name).string().size() + 20) << "a reason follows: " << read.message();
  }
  const auto directory = import_meshes(dir.path());
  EXPECT_FALSE(directory.ok());
}

// The importer library's PLY reader never returns on a header line it does not
// know; such files must be refused before they reach it.
TEST(MeshImport, BrokenPlyHeadersAreRefusedInsteadOfHanging) {
  TempDir dir;
  dir.write("unknown_line.ply", "ply\nformat ascii 1.0\nelement vertex 3\nthis is not a header\n");
  dir.write("no_end.ply", "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\n");
  dir.write("no_format.ply", "ply\nelement vertex 0\nend_header\n");
  dir.write("disguised.bin", "ply\nformat ascii 1.0\nbogus\n");
  // Property types it does not know (the fuzzer found the importer leaking on one).
  dir.write("bad_type.ply",
            "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
            "element face 1\nproperty list uchar invt ertex_indices\nend_header\n0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n");
  dir.write("no_name.ply", "ply\nformat ascii 1.0\nelement vertex 1\nproperty float\nend_header\n0\n");
  // Counts the body cannot hold: the importer would reserve memory for them
  // before reading a value (the fuzzer found one asking for 27 GB).
  const std::string triangle_body = "0 0 0\n1 0 0\n0 1 0\n3 0 1 2\n";
  dir.write("huge_count.ply",
            "ply\nformat ascii 1.0\nelement vertex 38888888888888\nproperty float x\nproperty float y\n"
            "property float z\nelement face 0\nproperty list uchar int vertex_indices\nend_header\n" + triangle_body);
  dir.write("binary_count.ply",
            "ply\nformat binary_little_endian 1.0\nelement vertex 100\nproperty float x\nend_header\n" +
                std::string(99, '\0'));
  dir.write("bad_count.ply", "ply\nformat ascii 1.0\nelement vertex -3\nproperty float x\nend_header\n0\n");
  for (const char* name : {"unknown_line.ply", "no_end.ply", "no_format.ply", "disguised.bin", "bad_type.ply",
                           "no_name.ply", "huge_count.ply", "binary_count.ply", "bad_count.ply"}) {
    const auto read = import_meshes(dir / name);
    ASSERT_FALSE(read.ok()) << name;
    EXPECT_NE(read.message().find(name), std::string::npos) << read.message();
  }
  EXPECT_NE(import_meshes(dir / "bad_type.ply").message().find("unknown property type"), std::string::npos);
  EXPECT_NE(import_meshes(dir / "huge_count.ply").message().find("38888888888888 elements \"vertex\""),
            std::string::npos)
      << import_meshes(dir / "huge_count.ply").message();
  // A binary body of exactly the declared size is fine.
  std::string face("\x03", 1);
  for (char index : {0, 1, 2}) face += std::string{index, 0, 0, 0};
  dir.write("binary_fits.ply",
            "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
            "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n" +
                std::string(36, '\0') + face);
  EXPECT_TRUE(import_meshes(dir / "binary_fits.ply").ok()) << import_meshes(dir / "binary_fits.ply").message();
  dir.write("good.ply",
            "ply\r\nformat ascii 1.0\r\ncomment a triangle\r\nelement vertex 3\r\nproperty float x\r\n"
            "property float y\r\nproperty float z\r\nelement face 1\r\nproperty list uchar int vertex_indices\r\n"
            "end_header\r\n0 0 0\r\n1 0 0\r\n0 1 0\r\n3 0 1 2\r\n");
  const auto good = import_meshes(dir / "good.ply");
  ASSERT_TRUE(good.ok()) << good.message();
  EXPECT_EQ(good.value().at(0).points.size(), 3u);
}

TEST(MeshImport, NonFiniteCoordinatesAreRejectedNamingFileAndMesh) {
  TempDir dir;
  dir.write("nan.obj", "o spike\nv 0 0 0\nv nan 0 0\nv 0 1 0\nf 1 2 3\n");
  dir.write("inf.ply",
            "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty float z\n"
            "element face 1\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n1 0 0\n0 inf 0\n3 0 1 2\n");
  for (const char* name : {"nan.obj", "inf.ply"}) {
    const auto read = import_meshes(dir / name);
    ASSERT_FALSE(read.ok()) << name;
    EXPECT_NE(read.message().find(name), std::string::npos) << read.message();
    EXPECT_NE(read.message().find("mesh '"), std::string::npos) << read.message();
  }
  EXPECT_NE(import_meshes(dir / "nan.obj").message().find("spike"), std::string::npos);
}

TEST(MeshImport, NodeTransformsAreAppliedUnlessDisabled) {
  TempDir dir;
  // A glTF with one triangle under a node moved by (10, 0, 0); the buffer is
  // three float points, base64 in a data URI.
  dir.write("moved.gltf",
            R"({"asset":{"version":"2.0"},"scene":0,"scenes":[{"nodes":[0]}],
"nodes":[{"name":"mover","mesh":0,"translation":[10,0,0]}],
"meshes":[{"name":"tri","primitives":[{"attributes":{"POSITION":0}}]}],
"accessors":[{"bufferView":0,"componentType":5126,"count":3,"type":"VEC3","min":[0,0,0],"max":[1,1,0]}],
"bufferViews":[{"buffer":0,"byteLength":36}],
"buffers":[{"byteLength":36,"uri":"data:application/octet-stream;base64,AAAAAAAAAAAAAAAAAACAPwAAAAAAAAAAAAAAAAAAgD8AAAAA"}]})");
  const auto moved = import_meshes(dir / "moved.gltf");
  ASSERT_TRUE(moved.ok()) << moved.message();
  ASSERT_EQ(moved.value().size(), 1u);
  EXPECT_EQ(moved.value()[0].name, "tri");
  ASSERT_EQ(moved.value()[0].points.size(), 3u);
  EXPECT_EQ(moved.value()[0].points[1], Vector(11, 0, 0));

  const auto stored = import_meshes(dir / "moved.gltf", ImportOptions{.apply_node_transforms = false});
  ASSERT_TRUE(stored.ok()) << stored.message();
  EXPECT_EQ(stored.value()[0].points[1], Vector(1, 0, 0));
}

}  // namespace
