// Dragging an animated placement or animated spline points in kurvo view:
// the edit is a key at the current frame, so a frame change keeps it; undo
// gives back the tracks' keys as a fresh load of the file has them; the save
// is the file plus exactly those keys, and `kurvo eval --frames` of the saved
// file bends the tube as the session shows it.
#include <gtest/gtest.h>

#include <fstream>

#include "../tool/scene_fixture.h"
#include "../tool/temp_dir.h"
#include "../tool/tool_run.h"
#include "animation/apply_frame.h"
#include "animation/placement_parts.h"
#include "view_session.h"

namespace kurvo::viewer {
namespace {

using Json = nlohmann::ordered_json;

// A path whose middle point swings over frames 0 to 10, and a tube on it
// whose position slides.
const char* kScene = R"({"format": "kurvo-scene", "version": 1, "time": {"fps": 24, "start": 0, "end": 10},
  "objects": [
    {"name": "Path", "type": "spline", "interpolation": "cubic", "points": [[0, 0, 0], [150, 80, 400], [0, 0, 800]],
     "tracks": [{"points": true, "keys": [[0, [[0, 0, 0], [150, 80, 400], [0, 0, 800]]],
                                          [10, [[0, 0, 0], [-150, 80, 400], [0, 0, 800]]]]}]},
    {"name": "Tube", "type": "polygon", "position": [0, 0, 400],
     "primitive": {"kind": "cylinder", "radius": 40, "height": 800, "height_segments": 20},
     "tracks": [{"placement": "position", "keys": [[0, [0, 0, 400]], [10, [100, 0, 400]]]}],
     "children": [{"name": "Bend", "type": "Kurvo2", "position": [0, 0, -400],
                   "params": {"KURVO_SPLINE": "Path", "KURVO_UP_MODE": 1}}]}
  ]})";

class KeyedShapeTest : public SceneTest {
 protected:
  void SetUp() override {
    SceneTest::SetUp();
    if (!session_) return;
    std::ofstream(dir_.path() / "scene.json") << kScene;
    document_ = &load(kScene, scene_, dir_.path() / "scene.json");
    kurvo::animation::applyFrame(*document_, scene_.timeline, 0);
    document_->evaluate();
    view_ = std::make_unique<ViewSession>(*session_, *document_, scene_,
                                          [](const std::filesystem::path&) { return kurvo::media::Status::success(); });
  }
  kurvo::host::Object& object(const std::string& name) { return *find(*document_, name); }
  // The keys of the placement or points track of `name`.
  static const std::vector<kurvo::animation::Key>& keysOf(const kurvo::scenefile::Scene& scene,
                                                          const kurvo::host::Document& document,
                                                          const std::string& name) {
    const kurvo::host::Object* o = nullptr;
    document.forEachObject([&](kurvo::host::Object& each) {
      if (each.name() == name) o = &each;
    });
    return scene.timeline.find(o->serial())->tracks.at(0).keys;
  }
  static void expectSameKeys(const std::vector<kurvo::animation::Key>& a, const std::vector<kurvo::animation::Key>& b,
                             const char* what) {
    ASSERT_EQ(a.size(), b.size()) << what;
    for (size_t i = 0; i < a.size(); ++i) {
      EXPECT_EQ(a[i].frame, b[i].frame) << what << " key " << i;
      EXPECT_TRUE(a[i].value == b[i].value) << what << " key " << i;
    }
  }

  TempDir dir_;
  kurvo::scenefile::Scene scene_;
  kurvo::host::Document* document_ = nullptr;
  std::unique_ptr<ViewSession> view_;
};

TEST_F(KeyedShapeTest, AnEditAtAFrameIsAKeyThereKeptByFrameChangesUndoneExactlyAndSavedAsOneKey) {
  if (!session_) return;
  const uint64_t tube = object("Tube").serial(), path = object("Path").serial();
  EXPECT_EQ(view_->objectShape(tube).value()["animated"], nlohmann::json({{"position", true}}));
  EXPECT_EQ(view_->objectShape(path).value()["animated"], nlohmann::json({{"points", true}}));

  ASSERT_EQ(view_->setFrame(4).error, "");
  // A drag sends all three parts; only the position has a track, the rotation
  // is where the track starts from and the scale did not change.
  ASSERT_EQ(view_->setShape(tube, {{"position", {30, 5, 400}}, {"rotation", {0, 0, 30}}, {"scale", {1, 1, 1}},
                                   {"gesture", 9}}).error, "");
  const std::vector<Vector> moved{{0, 0, 0}, {-40, 120, 380}, {0, 0, 800}};
  ASSERT_EQ(view_->setShape(path, {{"points", {{0, 0, 0}, {-40, 120, 380}, {0, 0, 800}}}}).error, "");

  const KhMatrix placed = kurvo::animation::composePlacement(Vector(30, 5, 400), Vector(0, 0, 30), Vector(1, 1, 1));
  ASSERT_EQ(view_->setFrame(7).error, "");
  EXPECT_NE(object("Path").spline().points, moved);
  ASSERT_EQ(view_->setFrame(4).error, "");
  EXPECT_EQ(object("Path").spline().points, moved) << "the edit is the key at frame 4";
  EXPECT_EQ(std::memcmp(&object("Tube").localMatrix(), &placed, sizeof placed), 0) << "the drag is kept at frame 4";
  EXPECT_EQ(view_->objectShape(tube).value()["placement"]["position"], nlohmann::json({30, 5, 400}));

  // Both undone: the keys and the placement of a fresh load of the file.
  kurvo::scenefile::Scene original;
  kurvo::host::Document& fresh = load(kScene, original);
  kurvo::animation::applyFrame(fresh, original.timeline, 4);
  ASSERT_EQ(view_->undo().error, "");
  ASSERT_EQ(view_->undo().error, "");
  expectSameKeys(keysOf(scene_, *document_, "Path"), keysOf(original, fresh, "Path"), "points track");
  expectSameKeys(keysOf(scene_, *document_, "Tube"), keysOf(original, fresh, "Tube"), "position track");
  EXPECT_EQ(std::memcmp(&object("Tube").localMatrix(), &find(fresh, "Tube")->localMatrix(), sizeof(KhMatrix)), 0);
  EXPECT_EQ(object("Path").spline().points, find(fresh, "Path")->spline().points);
  ASSERT_EQ(view_->setFrame(7).error, "");
  ASSERT_EQ(view_->setFrame(4).error, "");
  EXPECT_EQ(std::memcmp(&object("Tube").localMatrix(), &find(fresh, "Tube")->localMatrix(), sizeof(KhMatrix)), 0)
      << "the rotation the drag set is undone too";

  // Redone and saved: the file as written plus one key in each track (and the rotation).
  ASSERT_EQ(view_->redo().error, "");
  ASSERT_EQ(view_->redo().error, "");
  ASSERT_TRUE(view_->save("saved.json").ok());
  Json expected = Json::parse(kScene);
  auto& pathKeys = expected["objects"][0]["tracks"][0]["keys"];
  pathKeys.insert(pathKeys.begin() + 1, Json::parse("[4, [[0, 0, 0], [-40, 120, 380], [0, 0, 800]]]"));
  auto& tubeKeys = expected["objects"][1]["tracks"][0]["keys"];
  tubeKeys.insert(tubeKeys.begin() + 1, Json::parse("[4, [30, 5, 400]]"));
  expected["objects"][1]["rotation"] = Json::parse("[0, 0, 30]");
  std::ifstream in(dir_.path() / "saved.json");
  EXPECT_EQ(Json::parse(in), expected);

  // The saved file evaluated by the tool at frame 4: the session's tube.
  const ToolRun run = runKurvo(dir_, "eval", "saved.json --frames 4:4 -o frames.json");
  ASSERT_EQ(run.status, 0) << run.err;
  std::ifstream framesIn(dir_.path() / "frames.json");
  const Json frames = Json::parse(framesIn)["frames"];
  ASSERT_EQ(frames.size(), 1u);
  const Json& bent = frames[0]["objects"]["Tube"];
  const std::vector<Vector>& points = object("Tube").points();
  ASSERT_EQ(bent["deformed_points"].size(), points.size());
  for (size_t i = 0; i < points.size(); ++i) {
    const Json& p = bent["deformed_points"][i];
    ASSERT_TRUE(Vector(p[0].get<float>(), p[1].get<float>(), p[2].get<float>()) == points[i]) << "point " << i;
  }
  const KhVector* rows[] = {&placed.off, &placed.v1, &placed.v2, &placed.v3};
  for (int r = 0; r < 4; ++r) {
    const float row[3] = {rows[r]->x, rows[r]->y, rows[r]->z};
    for (int c = 0; c < 3; ++c)
      EXPECT_EQ(bent["matrix"][r][c].get<float>(), row[c]) << "matrix row " << r << " column " << c;
  }
}

// At a frame that has a key, the edit sets that key; an edit that changes
// nothing keys nothing, and a value changed and set back before the save
// leaves the file as written.
TEST_F(KeyedShapeTest, AnEditAtAKeyedFrameSetsThatKeyAndAValueSetBackSavesNothing) {
  if (!session_) return;
  const uint64_t tube = object("Tube").serial(), path = object("Path").serial();
  // Between keys, the points as shown sent back (a drag that did not move): no key.
  ASSERT_EQ(view_->setFrame(5).error, "");
  ASSERT_EQ(view_->setShape(path, {{"points", view_->objectShape(path).value()["spline"]["points"]}}).error, "");
  ASSERT_EQ(view_->setFrame(10).error, "");
  ASSERT_EQ(view_->setShape(tube, {{"position", {120, 0, 380}}}).error, "");
  ASSERT_TRUE(view_->save("scene.json").ok());
  Json expected = Json::parse(kScene);
  expected["objects"][1]["tracks"][0]["keys"][1] = Json::parse("[10, [120, 0, 380]]");
  auto read = [this] {
    std::ifstream in(dir_.path() / "scene.json");
    return Json::parse(in);
  };
  EXPECT_EQ(read(), expected);
  ASSERT_EQ(view_->setShape(tube, {{"position", {100, 0, 400}}}).error, "");
  ASSERT_TRUE(view_->save("scene.json").ok());
  EXPECT_EQ(read(), Json::parse(kScene));
}

}  // namespace
}  // namespace kurvo::viewer
