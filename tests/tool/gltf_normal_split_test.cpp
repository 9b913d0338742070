// Where a glTF output is smooth and where hard follows the mesh file: its
// smoothing groups, else its authored normals, and only for a file with
// neither the crease angle. Judged on the written file itself: at a smooth
// edge the two faces' corners share one normal; at a hard one each corner
// has its own triangle's normal, made here from the file's own positions.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <sstream>
#include <tuple>

#include "mesh_import.h"
#include "scene_fixture.h"
#include "temp_dir.h"
#include "tool_run.h"

namespace {

constexpr float kPi = 3.14159265f;

enum class Authored { none, radial, per_face };

// The side of an n-sided prism: n quads around the Y axis, each edge between
// two faces turning by 360/n degrees.
std::string prismObj(int sides, const std::string& smoothing, Authored normals) {
  std::ostringstream obj;
  for (int ring = 0; ring < 2; ++ring)
    for (int s = 0; s < sides; ++s) {
      const float a = 2.0f * kPi * float(s) / float(sides);
      obj << "v " << 10.0f * std::cos(a) << ' ' << 20.0f * float(ring) << ' ' << 10.0f * std::sin(a) << '\n';
    }
  for (int s = 0; s < sides; ++s) {
    const float a = 2.0f * kPi * (float(s) + (normals == Authored::per_face ? 0.5f : 0.0f)) / float(sides);
    if (normals != Authored::none) obj << "vn " << std::cos(a) << " 0 " << std::sin(a) << '\n';
  }
  if (!smoothing.empty()) obj << "s " << smoothing << '\n';
  for (int s = 0; s < sides; ++s) {
    const int s1 = (s + 1) % sides;
    const int corner[4] = {s, sides + s, sides + s1, s1};
    const int normal[4] = {s, s, s1, s1};
    obj << 'f';
    for (int k = 0; k < 4; ++k) {
      obj << ' ' << corner[k] + 1;
      if (normals == Authored::radial) obj << "//" << normal[k] + 1;
      if (normals == Authored::per_face) obj << "//" << s + 1;
    }
    obj << '\n';
  }
  return obj.str();
}

float degreesBetween(const Vector& a, const Vector& b) {
  const float c = Dot(a, b) / (Len(a) * Len(b));
  return std::acos(std::fmax(-1.0f, std::fmin(1.0f, c))) * 180.0f / kPi;
}

struct Split {
  float largest_spread = 0.0f;   // between the normals at one position
  float largest_off_face = 0.0f;  // between a corner's normal and its triangle's
};

Split splitOf(const kurvo::media::Mesh& mesh) {
  Split out;
  std::map<std::tuple<long, long, long>, std::vector<Vector>> at;
  for (size_t f = 0; f < mesh.face_count(); ++f) {
    const uint32_t b = mesh.face_start[f];
    const Vector& p0 = mesh.points[size_t(mesh.corners[b])];
    const Vector face = Cross(mesh.points[size_t(mesh.corners[b + 1])] - p0, mesh.points[size_t(mesh.corners[b + 2])] - p0);
    for (uint32_t c = b; c < mesh.face_start[f + 1]; ++c) {
      const Vector& p = mesh.points[size_t(mesh.corners[c])];
      const Vector& n = mesh.corner_normals[c];
      out.largest_off_face = std::fmax(out.largest_off_face, degreesBetween(n, face));
      std::vector<Vector>& here = at[{std::lround(p.x * 1000), std::lround(p.y * 1000), std::lround(p.z * 1000)}];
      for (const Vector& other : here) out.largest_spread = std::fmax(out.largest_spread, degreesBetween(n, other));
      here.push_back(n);
    }
  }
  return out;
}

TEST(GltfNormalSplit, GroupsAndAuthoredNormalsDecideWhereTheFileSaysAndTheCreaseElsewhere) {
  struct Case {
    const char* name;
    int sides;  // 12: faces 30 degrees apart, under the crease; 6: 60, over it
    const char* smoothing;
    Authored normals;
    bool smooth;
  };
  const Case cases[] = {
      {"FlatGroup", 12, "off", Authored::none, false},     // the crease would smooth it
      {"OneGroup", 6, "1", Authored::none, true},          // the crease would cut it
      {"RadialNormals", 6, "", Authored::radial, true},    // authored smooth across 60 degrees
      {"FaceNormals", 12, "", Authored::per_face, false},  // authored hard across 30 degrees
      {"Bare", 12, "", Authored::none, true},              // the crease alone
      {"BareSharp", 6, "", Authored::none, false},
  };
  TempDir dir;
  std::string objects;
  for (const Case& c : cases) {
    dir.write(std::string(c.name) + ".obj", prismObj(c.sides, c.smoothing, c.normals));
    if (!objects.empty()) objects += ", ";
    objects += std::string(R"({"name": ")") + c.name + R"(", "type": "polygon", "mesh": ")" + c.name + R"(.obj"})";
  }
  dir.write("scene.json", sceneWith(objects));
  const ToolRun run = runKurvo(dir, "eval", "scene.json -o split.glb");
  ASSERT_EQ(run.status, 0) << run.err;
  auto back = kurvo::media::import_meshes(dir / "split.glb");
  ASSERT_TRUE(back.ok()) << back.message();
  ASSERT_EQ(back.value().size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].name);
    const kurvo::media::Mesh& mesh = back.value()[i];
    ASSERT_EQ(mesh.corner_normals.size(), mesh.corners.size());
    const Split split = splitOf(mesh);
    if (cases[i].smooth) {
      EXPECT_LT(split.largest_spread, 0.01f);
    } else {
      EXPECT_LT(split.largest_off_face, 0.01f);
      EXPECT_GT(split.largest_spread, 29.0f);
    }
  }
}

}  // namespace
