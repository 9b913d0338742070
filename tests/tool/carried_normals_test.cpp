// Authored normals carried through the bend: on a tube whose file normals
// are its exact surface normals, the carried ones must be the bent tube's
// surface normals, whichever way the object is turned and whichever format
// frame the output is written in; and the derivative they come from must
// agree with how the evaluated points themselves move from ring to ring.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "carried_normals.h"
#include "mesh_import.h"
#include "normal_renewal.h"
#include "scene/deformation_derivative.h"
#include "scene_fixture.h"
#include "scene_preview.h"
#include "temp_dir.h"
#include "tool_run.h"

namespace {

namespace sf = kurvo::scenefile;

constexpr int kSides = 48, kRings = 81;
constexpr float kRadius = 15.0f, kHeight = 400.0f, kPi = 3.14159265f;

// A tube along Z (centred on 0) with the exact radial normal at every
// corner, in the scene's own axes (read with "mesh_axes": "raw").
std::string tubeObj() {
  std::ostringstream obj;
  for (int r = 0; r < kRings; ++r)
    for (int s = 0; s < kSides; ++s) {
      const float a = 2.0f * kPi * float(s) / kSides;
      obj << "v " << kRadius * std::cos(a) << ' ' << kRadius * std::sin(a) << ' '
          << -kHeight / 2 + kHeight * float(r) / (kRings - 1) << '\n';
    }
  for (int s = 0; s < kSides; ++s) {
    const float a = 2.0f * kPi * float(s) / kSides;
    obj << "vn " << std::cos(a) << ' ' << std::sin(a) << " 0\n";
  }
  // Outward winding: (s, r), (s, r+1), (s+1, r+1), (s+1, r) seen from outside
  // in the left-handed scene frame is counter-clockwise in the file's.
  for (int r = 0; r + 1 < kRings; ++r)
    for (int s = 0; s < kSides; ++s) {
      const int s1 = (s + 1) % kSides;
      const int a = r * kSides + s + 1, b = r * kSides + s1 + 1, c = (r + 1) * kSides + s1 + 1,
                d = (r + 1) * kSides + s + 1;
      obj << "f " << a << "//" << s + 1 << ' ' << b << "//" << s1 + 1 << ' ' << c << "//" << s1 + 1 << ' ' << d
          << "//" << s + 1 << '\n';
    }
  return obj.str();
}

// The tube bent along a curve, its radius swelling and shrinking along the
// path (the profile), so the bent surface's normals also lean along it.
std::string tubeScene(const std::string& rotation, const std::string& normals) {
  return sceneWith(R"({"name": "Path", "type": "spline", "interpolation": "cubic",
      "points": [[0, 0, 0], [80, 30, 100], [0, 60, 200], [-80, 30, 300], [0, 0, 400]]},
    {"name": "Tube", "type": "polygon", "mesh": "tube.obj", "mesh_axes": "raw", )" + normals +
                   R"( "position": [0, 0, 200], "rotation": )" + rotation + R"(,
      "children": [{"name": "Bend", "type": 1024244, "position": [0, 0, -200], "deform": true,
        "params": {"KURVO_SPLINE": "Path"}}]})");
}

float degreesBetween(const Vector& a, const Vector& b) {
  const float c = Dot(a, b) / (Len(a) * Len(b));
  return std::acos(std::fmax(-1.0f, std::fmin(1.0f, c))) * 180.0f / kPi;
}

// Per corner, how far the mesh's corner normals lean from the normals of its
// own (bent) surface, made from its points alone; the largest lean.
using kurvo::host::LocalDerivative;

float largestLean(const kurvo::media::Mesh& mesh) {
  kurvo::media::Mesh bare;
  bare.points = mesh.points;
  bare.corners = mesh.corners;
  bare.face_start = mesh.face_start;
  const kurvo::media::IndexedNormals surface = kurvo::media::renew_normals(bare);
  float worst = 0.0f;
  for (size_t c = 0; c < mesh.corners.size(); ++c) {
    const float d = degreesBetween(mesh.corner_normals[c], surface.normals[surface.corner[c]]);
    worst = std::fmax(worst, d);
  }
  return worst;
}

TEST_F(SceneTest, CarriedNormalsAreTheBentSurfacesNormalsInEveryPlacement) {
  TempDir dir;
  dir.write("tube.obj", tubeObj());
  for (const char* rotation : {"[0, 0, 0]", "[30, -50, 20]", "[10, 70, 0]"}) {
    SCOPED_TRACE(rotation);
    sf::Scene scene;
    kurvo::host::Document& doc = load(tubeScene(rotation, R"("normals": "carry",)"), scene, dir / "scene.json");
    doc.evaluate();
    const sf::CarriedNormals carried = sf::carryAuthoredNormals(doc, scene.sources, sf::NormalChoice::asScene);
    EXPECT_TRUE(carried.warnings.empty());
    ASSERT_EQ(carried.objects.size(), 1u);
    const auto carriedMeshes = sf::worldMeshes(doc, nullptr, nullptr, &scene.sources, &carried);
    ASSERT_EQ(carriedMeshes.size(), 1u);
    ASSERT_TRUE(carriedMeshes[0].keep_corner_normals);
    // Faceting of 48 sides lets the surface's own normals lean ~3.75 degrees
    // at most between a face and its neighbour; carried ones sit within that.
    EXPECT_LT(largestLean(carriedMeshes[0]), 4.0f);
    // The authored normals as they stand (left as the author made them, not
    // carried) do not fit the bent surface: the check above can tell.
    const auto authored = sf::worldMeshes(doc, nullptr, nullptr, &scene.sources);
    EXPECT_FALSE(authored[0].keep_corner_normals);
    EXPECT_GT(largestLean(authored[0]), 30.0f);
  }
}

TEST_F(SceneTest, DeformationDerivativeMatchesHowTheBentPointsMoveFromRingToRing) {
  TempDir dir;
  dir.write("tube.obj", tubeObj());
  sf::Scene scene;
  kurvo::host::Document& doc = load(tubeScene("[0, 0, 0]", ""), scene, dir / "scene.json");
  doc.evaluate();
  kurvo::host::Object* tube = find(doc, "Tube");
  ASSERT_NE(tube, nullptr);
  const std::vector<Vector> bent = tube->points();
  const std::vector<Vector> rest = tube->restPoints();
  const auto derivative = kurvo::host::deformationDerivatives(doc, *tube);
  ASSERT_TRUE(derivative.has_value());
  ASSERT_EQ(derivative->size(), rest.size());
  EXPECT_EQ(tube->points(), bent);  // measuring leaves the object as it was
  // Between two rings 5 units apart (twice the derivative's own step): the
  // difference over the pair against the mean of the derivatives at its
  // ends. The path's frame comes from a table and turns in small steps, so
  // single pairs stray a little; on the whole they agree closely.
  float worst = 0.0f;
  double sum = 0.0;
  int pairs = 0;
  for (int r = 0; r + 1 < kRings; ++r)
    for (int s = 0; s < kSides; s += 3) {
      const size_t i = size_t(r * kSides + s), j = size_t((r + 1) * kSides + s);
      const Vector along = bent[j] - bent[i];
      const Vector dz = ((*derivative)[i].dz + (*derivative)[j].dz) * 0.5f * (rest[j].z - rest[i].z);
      const float miss = Len(along - dz) / Len(along);
      worst = std::fmax(worst, miss);
      sum += miss;
      ++pairs;
    }
  EXPECT_LT(worst, 0.05f);
  EXPECT_LT(sum / pairs, 0.01);
  // Around the ring, where the tube keeps its shape, the same.
  worst = 0.0f;
  for (int r = 0; r < kRings; r += 4)
    for (int s = 0; s < kSides; ++s) {
      const size_t i = size_t(r * kSides + s), j = size_t(r * kSides + (s + 1) % kSides);
      const Vector across = bent[j] - bent[i];
      const Vector d = rest[j] - rest[i];
      const LocalDerivative& a = (*derivative)[i];
      const LocalDerivative& b = (*derivative)[j];
      const Vector mapped = ((a.dx + b.dx) * d.x + (a.dy + b.dy) * d.y) * 0.5f;
      worst = std::fmax(worst, Len(across - mapped) / Len(across));
    }
  EXPECT_LT(worst, 0.05f);
}

TEST_F(SceneTest, KurvoEvalCarriesNormalsIntoTheFileFrameOnlyWhenAsked) {
  TempDir dir;
  dir.write("tube.obj", tubeObj());
  dir.write("scene.json", tubeScene("[10, 70, 0]", ""));
  for (const char* out : {"carried.obj", "carried.glb"}) {
    SCOPED_TRACE(out);
    const ToolRun run = runKurvo(dir, "eval", std::string("scene.json --normals carry -o ") + out);
    ASSERT_EQ(run.status, 0) << run.err;
    auto back = kurvo::media::import_meshes(dir / out);
    ASSERT_TRUE(back.ok()) << back.message();
    ASSERT_EQ(back.value().size(), 1u);
    ASSERT_EQ(back.value()[0].corner_normals.size(), back.value()[0].corners.size());
    EXPECT_LT(largestLean(back.value()[0]), 4.0f);
  }
  // The OBJ holds them corner for corner as they were carried (normals made
  // again would fit the surface as well, but not equal these).
  sf::Scene scene;
  kurvo::host::Document& doc = load(tubeScene("[10, 70, 0]", ""), scene, dir / "scene.json");
  doc.evaluate();
  const sf::CarriedNormals carried = sf::carryAuthoredNormals(doc, scene.sources, sf::NormalChoice::carry);
  const auto made = sf::worldMeshes(doc, nullptr, nullptr, &scene.sources, &carried);
  auto obj = kurvo::media::import_meshes(dir / "carried.obj");
  ASSERT_TRUE(obj.ok()) << obj.message();
  ASSERT_EQ(obj.value()[0].corner_normals.size(), made[0].corner_normals.size());
  float apart = 0.0f;
  for (size_t c = 0; c < made[0].corner_normals.size(); ++c)
    apart = std::fmax(apart, degreesBetween(obj.value()[0].corner_normals[c], made[0].corner_normals[c]));
  EXPECT_LT(apart, 0.01f);
  // A mistaken choice is named by its field; animated output refuses carry.
  dir.write("bad.json", tubeScene("[0, 0, 0]", R"("normals": "keep",)"));
  expectOneLineRefusal(runKurvo(dir, "eval", "bad.json -o bad.obj"), {"bad.json", "normals", "carry"}, "bad choice");
  const ToolRun animated = runKurvo(dir, "eval", "scene.json --frames 0:2 --normals carry -o moving.glb");
  expectOneLineRefusal(animated, {"--normals carry", "--frames"}, "carry with frames");
}

// A file of several meshes, some corners without a normal, joined into one
// object: every corner keeps the normal its own line of the file gave it.
TEST_F(SceneTest, KurvoEvalCarriesEachMeshOfAFileItsOwnNormals) {
  TempDir dir;
  std::ostringstream obj;
  const float normals[3][3] = {{1, 0, 0}, {0, 1, 0}, {0.6f, 0.8f, 0}};
  for (int part = 0; part < 3; ++part) {
    obj << "o part" << part << '\n';
    for (int k = 0; k < 4; ++k) obj << "v " << 10 * part + k % 2 << ' ' << k / 2 << " 0\n";
    obj << "vn " << normals[part][0] << ' ' << normals[part][1] << ' ' << normals[part][2] << '\n';
    const int a = 4 * part + 1;
    // The last part's second face names no normals.
    obj << "f " << a << "//-1 " << a + 1 << "//-1 " << a + 3 << "//-1\n";
    if (part == 2) obj << "f " << a << ' ' << a + 3 << ' ' << a + 2 << '\n';
    else obj << "f " << a << "//" << part + 1 << ' ' << a + 3 << "//" << part + 1 << ' ' << a + 2 << "//" << part + 1 << '\n';
  }
  dir.write("parts.obj", obj.str());
  dir.write("scene.json", sceneWith(R"({"name": "Parts", "type": "polygon", "mesh": "parts.obj", "mesh_axes": "raw"})"));
  const ToolRun run = runKurvo(dir, "eval", "scene.json --normals carry --raw-axes -o out.obj");
  ASSERT_EQ(run.status, 0) << run.err;
  auto back = kurvo::media::import_meshes(dir / "out.obj");
  ASSERT_TRUE(back.ok()) << back.message();
  size_t checked = 0;
  for (const kurvo::media::Mesh& mesh : back.value()) {
    ASSERT_EQ(mesh.corner_normals.size(), mesh.corners.size());
    for (size_t f = 0; f < mesh.face_count(); ++f)
      for (uint32_t c = mesh.face_start[f]; c < mesh.face_start[f + 1]; ++c) {
        const Vector& p = mesh.points[size_t(mesh.corners[c])];
        const int part = int(std::lround(p.x / 10.0f - 0.05f));
        const Vector& n = mesh.corner_normals[c];
        // The face without normals takes the surface's own (along z).
        if (part == 2 && std::fabs(n.z) > 0.99f) continue;
        EXPECT_NEAR(n.x, normals[part][0], 1e-5f) << "part " << part << " corner " << c;
        EXPECT_NEAR(n.y, normals[part][1], 1e-5f) << "part " << part << " corner " << c;
        EXPECT_NEAR(n.z, normals[part][2], 1e-5f) << "part " << part << " corner " << c;
        ++checked;
      }
  }
  EXPECT_GE(checked, 15u);
}

}  // namespace
