// Dragged points and undo in kurvo view, against the built module: moving
// one of two paths answers only the tube on it, with the points a fresh load
// of the file with that point moved gives; undo answers the points of the
// file as written; a broken move names the file, the object and the field.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>

#include "../tool/scene_fixture.h"
#include "../tool/temp_dir.h"
#include "scene_preview.h"
#include "view_session.h"

namespace kurvo::viewer {
namespace {

// The meshes of a geometry frame by index: their positions.
std::map<size_t, std::vector<float>> meshesOf(const std::string& bytes) {
  uint32_t length = 0;
  std::memcpy(&length, bytes.data() + 4, 4);
  const nlohmann::json header = nlohmann::json::parse(bytes.substr(8, length));
  std::map<size_t, std::vector<float>> out;
  for (const auto& m : header["meshes"]) {
    std::vector<float> p(m["positions"]["count"].get<size_t>());
    std::memcpy(p.data(), bytes.data() + 8 + length + m["positions"]["offset"].get<size_t>(), p.size() * sizeof(float));
    out[m["index"].get<size_t>()] = std::move(p);
  }
  return out;
}

std::string twoTubes(const std::string& middle) {
  auto tube = [](const std::string& name, const std::string& path, int x) {
    return R"({"name": ")" + name + R"(", "type": "polygon", "position": [)" + std::to_string(x) +
           R"(, 0, 400], "primitive": {"kind": "cylinder", "radius": 40, "height": 800, "height_segments": 40},
       "children": [{"name": "Bend)" + name + R"(", "type": "Kurvo2", "position": [0, 0, -400],
                     "params": {"KURVO_SPLINE": ")" + path + R"(", "KURVO_UP_MODE": 1}}]})";
  };
  return sceneWith(R"({"name": "A", "type": "spline", "interpolation": "cubic",
                       "points": [[0, 0, 0], )" + middle + R"(, [0, 0, 800]]},
                      {"name": "B", "type": "spline", "interpolation": "cubic",
                       "points": [[500, 0, 0], [600, 50, 400], [500, 0, 800]]},)" +
                   tube("TubeA", "A", 0) + "," + tube("TubeB", "B", 500));
}

class ViewEditsTest : public SceneTest {
 protected:
  void open(const std::string& text) {
    document_ = &load(text, scene_, dir_.path() / "scene.json");
    document_->evaluate();
    view_ = std::make_unique<ViewSession>(*session_, *document_, scene_,
                                          [](const std::filesystem::path&) { return kurvo::media::Status::success(); });
  }
  uint64_t serialOf(const std::string& name) { return find(*document_, name)->serial(); }
  // The world points of every mesh of `text`, loaded and evaluated afresh.
  std::vector<std::vector<float>> fresh(const std::string& text) {
    kurvo::scenefile::Scene other;
    kurvo::host::Document& doc = load(text, other);
    doc.evaluate();
    std::vector<std::vector<float>> out;
    for (const auto& m : kurvo::scenefile::worldMeshes(doc)) {
      out.emplace_back();
      for (const Vector& p : m.points) out.back().insert(out.back().end(), {p.x, p.y, p.z});
    }
    return out;
  }

  TempDir dir_;
  kurvo::scenefile::Scene scene_;
  kurvo::host::Document* document_ = nullptr;
  std::unique_ptr<ViewSession> view_;
};

TEST_F(ViewEditsTest, AMovedPathAnswersOnlyTheTubeOnItAndUndoGivesBackTheFile) {
  if (!session_) return;
  open(twoTubes("[150, 80, 400]"));
  view_->geometry(true);
  const nlohmann::json moved = {{"points", {{0, 0, 0}, {-120, 200, 350}, {0, 0, 800}}}, {"gesture", 7}};
  ASSERT_EQ(view_->setShape(serialOf("A"), moved).error, "");
  // A second move of the same drag: one undo step for both.
  nlohmann::json further = moved;
  further["points"][1] = {-160, 240, 300};
  const EditAnswer answer = view_->setShape(serialOf("A"), further);
  ASSERT_EQ(answer.error, "");
  const auto sent = meshesOf(answer.geometry);
  ASSERT_EQ(sent.size(), 1u) << "only the tube on the moved path";
  ASSERT_EQ(sent.count(0), 1u);
  EXPECT_EQ(sent.at(0), fresh(twoTubes("[-160, 240, 300]"))[0]);

  const EditAnswer undone = view_->undo();
  ASSERT_EQ(undone.error, "");
  const auto back = meshesOf(undone.geometry);
  ASSERT_EQ(back.size(), 1u);
  EXPECT_EQ(back.at(0), fresh(twoTubes("[150, 80, 400]"))[0]) << "the points of the file as written";
  EXPECT_EQ(view_->undo().error, "nothing to undo");
  EXPECT_EQ(meshesOf(view_->redo().geometry).at(0), sent.at(0));

  // A placement edit of tube B moves only B.
  const EditAnswer placed = view_->setShape(
      serialOf("TubeB"), {{"position", {520, 10, 400}}, {"rotation", {0, 0, 30}}, {"scale", {1, 1, 1}}});
  ASSERT_EQ(placed.error, "");
  const auto onlyB = meshesOf(placed.geometry);
  ASSERT_EQ(onlyB.size(), 1u);
  EXPECT_EQ(onlyB.count(1), 1u);
}

// Drags saved as written: the saved file, loaded afresh, gives the meshes of
// the file with that point moved; the other points keep the file's text, a
// placement stays position/rotation/scale; an undone drag saves the file's
// values, and a reload forgets what the replaced scene had edited.
TEST_F(ViewEditsTest, ADraggedPointIsSavedIntoTheFileAsWritten) {
  if (!session_) return;
  const std::filesystem::path file = dir_.path() / "scene.json";
  const std::string text = twoTubes("[150, 80, 400]");
  std::ofstream(file) << text;
  open(text);
  const nlohmann::json moved = {{"points", {{0, 0, 0}, {-120, 200, 350}, {0, 0, 800}}}, {"gesture", 3}};
  ASSERT_EQ(view_->setShape(serialOf("A"), moved).error, "");
  ASSERT_EQ(view_->setShape(serialOf("TubeB"), {{"position", {520, 10, 400}}, {"rotation", {0, 0, 30}}, {"scale", {1, 2, 1}}}).error, "");
  // Saved elsewhere first: the scene file itself keeps the record of edits.
  ASSERT_TRUE(view_->save("copy.json").ok());
  auto read = [](const std::filesystem::path& p) {
    std::ifstream in(p);
    return nlohmann::ordered_json::parse(in);
  };
  const auto saved = read(dir_.path() / "copy.json");
  const auto& objects = saved["objects"];
  EXPECT_EQ(objects[0]["points"], nlohmann::ordered_json::parse("[[0, 0, 0], [-120, 200, 350], [0, 0, 800]]"));
  EXPECT_EQ(objects[1], nlohmann::ordered_json::parse(text)["objects"][1]) << "B was not edited";
  EXPECT_FALSE(objects[3].contains("matrix"));
  EXPECT_EQ(objects[3]["position"], nlohmann::ordered_json::parse("[520, 10, 400]"));
  EXPECT_EQ(objects[3]["scale"], nlohmann::ordered_json::parse("[1, 2, 1]"));

  std::string movedB = twoTubes("[-120, 200, 350]");
  const std::string from = R"("position": [500, 0, 400])";
  ASSERT_NE(movedB.find(from), std::string::npos);
  movedB.replace(movedB.find(from), from.size(), R"("position": [520, 10, 400], "rotation": [0, 0, 30], "scale": [1, 2, 1])");
  std::ifstream copy(dir_.path() / "copy.json");
  const std::string copied((std::istreambuf_iterator<char>(copy)), std::istreambuf_iterator<char>());
  EXPECT_EQ(fresh(copied), fresh(movedB));

  // Both drags undone: the save writes the file's values again.
  ASSERT_EQ(view_->undo().error, "");
  ASSERT_EQ(view_->undo().error, "");
  ASSERT_TRUE(view_->save("scene.json").ok());
  EXPECT_EQ(read(file), nlohmann::ordered_json::parse(text));
  // Redone after that save: the next save writes the drag again.
  ASSERT_EQ(view_->redo().error, "");
  ASSERT_TRUE(view_->save("scene.json").ok());
  EXPECT_EQ(read(file)["objects"][0]["points"][1], nlohmann::ordered_json::parse("[-120, 200, 350]"));
}

TEST_F(ViewEditsTest, ABrokenMoveNamesTheFileObjectAndFieldAndChangesNothing) {
  if (!session_) return;
  open(twoTubes("[150, 80, 400]"));
  const auto before = find(*document_, "A")->spline().points;
  const std::string file = (dir_.path() / "scene.json").string();
  EXPECT_EQ(view_->setShape(serialOf("A"), {{"points", {{0, 0, 0}, {0, 0, 800}}}}).error,
            file + ": A: \"points\" is a list of 3 points [x, y, z]");
  EXPECT_EQ(view_->setShape(serialOf("A"), {{"points", {{0, 0, 0}, {1e39, 0, 0}, {0, 0, 800}}}}).error,
            file + ": A: \"points\"[1] is not three finite numbers");
  EXPECT_EQ(view_->setShape(serialOf("TubeA"), {{"points", {{0, 0, 0}}}}).error,
            file + ": TubeA: only a spline's points are set here");
  // A part of the placement alone is an edit (the others stay); a malformed one is not.
  EXPECT_EQ(view_->setShape(serialOf("TubeA"), {{"position", {0, 0}}}).error.substr(0, file.size()), file);
  EXPECT_EQ(view_->setShape(serialOf("TubeA"), {{"closed", true}}).error,
            file + ": TubeA: only a spline has an interpolation and a closed flag");
  EXPECT_EQ(view_->setShape(serialOf("A"), {{"interpolation", "smooth"}}).error,
            file + ": A: \"interpolation\" is \"linear\", \"cubic\" or \"bezier\"");
  EXPECT_EQ(find(*document_, "A")->spline().points, before);
  EXPECT_EQ(view_->undo().error, "nothing to undo");
  EXPECT_NE(view_->setFrame(3).error, "") << "a scene without time has only frame 0";
}

TEST_F(ViewEditsTest, ClosedFlagInterpolationAndOnePlacementPartAreUndoneAndSavedAsWritten) {
  if (!session_) return;
  const std::filesystem::path file = dir_.path() / "scene.json";
  const std::string text = twoTubes("[150, 80, 400]");
  std::ofstream(file) << text;
  open(text);
  kurvo::host::Object& a = *find(*document_, "A");
  ASSERT_EQ(view_->setShape(serialOf("A"), {{"closed", true}, {"interpolation", "linear"}}).error, "");
  EXPECT_TRUE(a.spline().closed);
  EXPECT_EQ(a.spline().interpolation, kurvo::geo::Interpolation::Linear);
  // The position alone: rotation and scale stay, and stay unwritten.
  ASSERT_EQ(view_->setShape(serialOf("TubeB"), {{"position", {500, 0, 450}}}).error, "");
  ASSERT_EQ(view_->undo().error, "");
  ASSERT_EQ(view_->undo().error, "");
  EXPECT_FALSE(a.spline().closed);
  EXPECT_EQ(a.spline().interpolation, kurvo::geo::Interpolation::Cubic);
  ASSERT_EQ(view_->redo().error, "");
  ASSERT_EQ(view_->redo().error, "");
  ASSERT_TRUE(view_->save("scene.json").ok());
  std::ifstream in(file);
  nlohmann::ordered_json expected = nlohmann::ordered_json::parse(text);
  expected["objects"][0]["closed"] = true;
  expected["objects"][0]["interpolation"] = "linear";
  expected["objects"][3]["position"] = nlohmann::ordered_json::parse("[500, 0, 450]");
  EXPECT_EQ(nlohmann::ordered_json::parse(in), expected);
}

// Any position, rotation (straight up and down included) and scale (mirrored
// included): the parts read back from the matrix compose to the same matrix.
TEST(PlacementParts, ThePartsOfAMatrixComposeToItAgain) {
  std::mt19937 random(7);
  std::uniform_real_distribution<float> angle(-180.0f, 180.0f), size(0.2f, 3.0f), at(-500.0f, 500.0f);
  for (int i = 0; i < 3000; ++i) {
    Vector r(angle(random), angle(random), angle(random));
    if (i % 10 == 0) r.y = i % 20 == 0 ? 90.0f : -90.0f;
    Vector s(size(random), size(random), size(random));
    if (i % 7 == 0) s.x = -s.x;
    const KhMatrix m = kurvo::animation::composePlacement(Vector(at(random), at(random), at(random)), r, s);
    const KhMatrix again = kurvo::animation::composePlacement(placementParts(m));
    const KhVector* a[] = {&m.off, &m.v1, &m.v2, &m.v3};
    const KhVector* b[] = {&again.off, &again.v1, &again.v2, &again.v3};
    for (int k = 0; k < 4; ++k) {
      const float tolerance = k == 0 ? 1e-3f : 1e-4f * 3.0f;
      ASSERT_NEAR(a[k]->x, b[k]->x, tolerance) << i << " axis " << k;
      ASSERT_NEAR(a[k]->y, b[k]->y, tolerance) << i << " axis " << k;
      ASSERT_NEAR(a[k]->z, b[k]->z, tolerance) << i << " axis " << k;
    }
  }
}

}  // namespace
}  // namespace kurvo::viewer
