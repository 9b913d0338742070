// Mesh files in other tools' frames: a scene exported and opened by an
// independent reader (Assimp, with no help from our converter) must show the
// same picture as the render: +X right, +Y up, +Z away from the viewer, and
// faces pointing outwards. Reading our own files back must give the scene's
// coordinates exactly.
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <gtest/gtest.h>

#include <assimp/Importer.hpp>
#include <cmath>

#include "axis_convention.h"
#include "mesh_export.h"
#include "mesh_import.h"
#include "temp_dir.h"

using namespace kurvo::media;

namespace {

// A cube of side 2 * half around `centre`, faces wound outwards as the
// host's primitives are (Cross(b - a, c - a) points out).
Mesh marker(const std::string& name, const Vector& centre, float half) {
  Mesh m;
  m.name = name;
  for (int i = 0; i < 8; ++i)
    m.points.push_back(centre + Vector(i & 1 ? half : -half, i & 2 ? half : -half, i & 4 ? half : -half));
  set_polygons(m, {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}});
  return m;
}

struct Seen {
  Vector centre;              // in the viewer's terms: x right, y up, z away
  bool outwards = true;       // every face's right-handed normal points out
  size_t triangles = 0;
};

// What a right-handed viewer shows for a file point: Y-up files are looked
// at along -Z, Z-up files along +Y (the front view of Z-up tools).
Vector as_viewed(const aiVector3D& p, FileFrame frame) {
  if (frame == FileFrame::z_up_right_handed) return Vector(p.x, p.z, p.y);
  return Vector(p.x, p.y, -p.z);
}

Seen read_independently(const std::filesystem::path& file) {
  Assimp::Importer importer;
  const aiScene* scene = importer.ReadFile(file.string(), aiProcess_Triangulate | aiProcess_PreTransformVertices);
  Seen seen;
  EXPECT_TRUE(scene && scene->mNumMeshes > 0) << importer.GetErrorString();
  if (!scene) return seen;
  const FileFrame frame = file_frame(file);
  std::vector<aiVector3D> corners;
  for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
    const aiMesh& mesh = *scene->mMeshes[m];
    for (unsigned f = 0; f < mesh.mNumFaces; ++f)
      if (mesh.mFaces[f].mNumIndices == 3)
        for (int k = 0; k < 3; ++k) corners.push_back(mesh.mVertices[mesh.mFaces[f].mIndices[k]]);
  }
  aiVector3D centre(0, 0, 0);
  for (const aiVector3D& c : corners) centre += c;
  centre /= static_cast<float>(corners.size());
  for (size_t t = 0; t + 2 < corners.size(); t += 3) {
    const aiVector3D normal = (corners[t + 1] - corners[t]) ^ (corners[t + 2] - corners[t]);
    const aiVector3D middle = (corners[t] + corners[t + 1] + corners[t + 2]) / 3.0f;
    if (normal * (middle - centre) <= 0.0f) seen.outwards = false;
    ++seen.triangles;
  }
  seen.centre = as_viewed(centre, frame);
  return seen;
}

class ExchangeFrame : public ::testing::TestWithParam<std::string> {};

TEST_P(ExchangeFrame, OtherToolsSeeWhatTheRenderShows) {
  TempDir dir;
  const struct {
    const char* name;
    Vector at;
  } markers[] = {{"right", {10, 0, 0}}, {"up", {0, 10, 0}}, {"away", {0, 0, 10}}};
  for (const auto& m : markers) {
    SCOPED_TRACE(m.name);
    const auto file = dir / (std::string(m.name) + GetParam());
    ASSERT_TRUE(export_meshes({marker(m.name, m.at, 1.0f)}, file).ok());
    const Seen seen = read_independently(file);
    EXPECT_EQ(seen.triangles, 12u);
    EXPECT_NEAR(seen.centre.x, m.at.x, 1e-4f);
    EXPECT_NEAR(seen.centre.y, m.at.y, 1e-4f);
    EXPECT_NEAR(seen.centre.z, m.at.z, 1e-4f);
    EXPECT_TRUE(seen.outwards);
  }
}

TEST_P(ExchangeFrame, RawAxesAndScaleWriteTheNumbersAsAsked) {
  TempDir dir;
  const auto file = dir / ("raw" + GetParam());
  ExportOptions raw;
  raw.raw_axes = true;
  raw.scale = 0.5f;
  ASSERT_TRUE(export_meshes({marker("m", {0, 0, 10}, 1.0f)}, file, raw).ok());
  ImportOptions as_is;
  as_is.raw_axes = true;
  as_is.weld = true;
  const auto read = import_meshes(file, as_is);
  ASSERT_TRUE(read.ok()) << read.message();
  Bounds b;
  for (const Mesh& mesh : read.value()) b.add(mesh_bounds(mesh));
  EXPECT_EQ(b.min, Vector(-0.5f, -0.5f, 4.5f));
  EXPECT_EQ(b.max, Vector(0.5f, 0.5f, 5.5f));
}

TEST_P(ExchangeFrame, OwnFilesReadBackInTheScenesFrame) {
  TempDir dir;
  const Mesh written = marker("m", {3, -4, 5}, 0.5f);
  const auto file = dir / ("back" + GetParam());
  ASSERT_TRUE(export_meshes({written}, file).ok());
  ImportOptions welded;
  welded.weld = true;
  const auto read = import_meshes(file, welded);
  ASSERT_TRUE(read.ok()) << read.message();
  const Mesh& mesh = read.value()[0];
  EXPECT_EQ(mesh_bounds(mesh).min, mesh_bounds(written).min);
  EXPECT_EQ(mesh_bounds(mesh).max, mesh_bounds(written).max);
  // Winding as the scene had it: outwards by the host's rule.
  const Vector centre(3, -4, 5);
  for (const Polygon& q : mesh_polygons(mesh)) {
    const Vector& a = mesh.points[q.a];
    const Vector n = Cross(mesh.points[q.b] - a, mesh.points[q.c] - a);
    EXPECT_GT(Dot(n, a - centre), 0.0f);
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, ExchangeFrame, ::testing::Values(".obj", ".glb", ".gltf", ".ply", ".stl"),
                         [](const auto& info) { return info.param.substr(1); });

TEST(ExchangeFrame, EachFrameIsAMirroringThatUndoesItself) {
  const Vector p(1.5f, -2.25f, 7.0f);
  for (FileFrame frame : {FileFrame::y_up_right_handed, FileFrame::z_up_right_handed}) {
    EXPECT_EQ(from_file_frame(to_file_frame(p, frame), frame), p);
    const Vector x = to_file_frame({1, 0, 0}, frame), y = to_file_frame({0, 1, 0}, frame),
                 z = to_file_frame({0, 0, 1}, frame);
    EXPECT_EQ(Dot(Cross(x, y), z), -1.0f);  // a left-handed basis becomes right-handed
  }
  EXPECT_EQ(file_frame("a.STL"), FileFrame::z_up_right_handed);
  EXPECT_EQ(file_frame("a.ply"), FileFrame::z_up_right_handed);
  EXPECT_EQ(file_frame("a.glb"), FileFrame::y_up_right_handed);
  const Polygon q{0, 1, 2, 3};
  const Polygon r = reversed(q);
  EXPECT_TRUE(r.a == 0 && r.b == 3 && r.c == 2 && r.d == 1);
  const Polygon t = reversed(make_triangle(0, 1, 2));
  EXPECT_TRUE(t.is_triangle() && t.a == 0 && t.b == 2 && t.c == 1);
}

}  // namespace
