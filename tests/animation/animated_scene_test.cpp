// Animated scenes: tracks read and written with the scene, mistakes in them
// refused with the usual one line, and frames shown through the evaluation
// loop the way a user's edits would be.
#include <gtest/gtest.h>

#include <cstring>

#include "apply_frame.h"
#include "json_text.h"
#include "scene_fixture.h"

namespace {

using kurvo::host::Document;
using kurvo::host::Object;
using kurvo::scenefile::Json;
using kurvo::scenefile::Scene;

// A tube bent along a path; the tracks of the deformer, the tube and the path
// are spliced in.
std::string animatedScene(const std::string& bendTracks, const std::string& tubeTracks = "",
                          const std::string& pathTracks = "", const std::string& bendParams = "",
                          const std::string& tubeTags = "") {
  return R"({"format": "kurvo-scene", "version": 1, "time": {"fps": 24, "start": 0, "end": 40},
    "objects": [
      {"name": "Path", "type": "spline", "interpolation": "cubic",
       "points": [[0, 0, 0], [100, 50, 150], [0, 100, 300], [-100, 50, 450]])" +
         (pathTracks.empty() ? "" : ", \"tracks\": [" + pathTracks + "]") + R"(},
      {"name": "Tube", "type": "polygon",
       "primitive": {"kind": "cylinder", "radius": 10, "height": 100, "rotation_segments": 8, "height_segments": 10},
       "position": [0, 0, 50], "rotation": [0, 0, 0], "scale": 1)" +
         (tubeTracks.empty() ? "" : ", \"tracks\": [" + tubeTracks + "]") +
         (tubeTags.empty() ? "" : ", \"tags\": [" + tubeTags + "]") + R"(,
       "children": [{"name": "Bend", "type": "Kurvo2", "position": [0, 0, -50],
         "params": {"KURVO_SPLINE": "Path", "KURVO_UP_MODE": 0, "KURVO_UP_VECTOR": [1, 0, 0])" +
         bendParams + R"(})" + (bendTracks.empty() ? "" : ", \"tracks\": [" + bendTracks + "]") + R"(}]}
    ]})";
}

const char* kOffsetTrack = R"({"param": "KURVO_OFFSET", "interpolation": "smooth", "keys": [[0, 0], [40, 0.5]]})";

class AnimatedSceneTest : public SceneTest {
 protected:
  std::string save(const Document& doc, const Scene& scene) {
    auto text = kurvo::scenefile::sceneText(doc, scene, "out.json", host());
    EXPECT_TRUE(text.ok()) << text.message();
    return text.ok() ? text.value() : std::string();
  }

  // Runs the evaluation loop and answers how many 64-point blocks the
  // deformers worked through (0: nothing was rebuilt).
  static uint64_t evaluateCountingBlocks(Document& doc) {
    static uint64_t blocks;
    blocks = 0;
    doc.thread().setObserver([](void*) { ++blocks; }, nullptr);
    doc.evaluate();
    doc.thread().setObserver(nullptr, nullptr);
    return blocks;
  }
};

TEST_F(AnimatedSceneTest, TracksSurviveLoadAndSaveExactlyWhateverFrameWasShown) {
  const std::string text = animatedScene(
      std::string(kOffsetTrack) +
          R"(, {"param": "KURVO_UP_MODE", "keys": [[0, 0], [20, 3]]},
             {"param": "KURVO_STRETCH", "interpolation": "step", "keys": [[0, false], [10, true]]},
             {"param": "KURVO_UP_VECTOR", "keys": [[0, [1, 0, 0]], [40, [0, 0.5, 1]]]},
             {"param": "1001", "interpolation": "linear", "keys": [[0.5, 1.25], [7.75, -90]]})",
      R"({"placement": "position", "keys": [[0, [0, 0, 50]], [40, [10, 20, 50]]]},
         {"placement": "rotation", "interpolation": "smooth", "keys": [[0, [0, 0, 0]], [20, [0, 90, 0]], [40, [0, 0, 0]]]},
         {"placement": "scale", "interpolation": "step", "keys": [[0, 1], [30, [1, 2, 1]]]})",
      R"({"points": true, "keys": [[0, [[0, 0, 0], [100, 50, 150], [0, 100, 300], [-100, 50, 450]]],
                                   [40, [[0, 0, 0], [100, 90, 150], [0, 100, 300], [-100, 50, 500]]]]})");
  Scene scene;
  Document& doc = load(text, scene);
  ASSERT_EQ(scene.timeline.objects.size(), 3u);
  EXPECT_TRUE(scene.timeline.present);
  EXPECT_EQ(scene.timeline.fps, 24.0);
  doc.evaluate();
  const std::string saved = save(doc, scene);

  // The tracks come back as written (keys, values, interpolation).
  const Json in = Json::parse(text), out = Json::parse(saved);
  EXPECT_EQ(out["time"], in["time"]);
  const Json& bendIn = in["objects"][1]["children"][0]["tracks"];
  const Json& bendOut = out["objects"][1]["children"][0]["tracks"];
  ASSERT_EQ(bendOut.size(), bendIn.size());
  for (size_t i = 0; i < bendIn.size(); ++i) {
    EXPECT_EQ(bendOut[i]["keys"], bendIn[i]["keys"]) << i;
    if (bendIn[i].contains("interpolation")) {
      EXPECT_EQ(bendOut[i]["interpolation"], bendIn[i]["interpolation"]);
    }
  }
  EXPECT_EQ(out["objects"][1]["tracks"][2]["keys"][0][1], Json::array({1, 1, 1}));  // one number reads as a vector
  EXPECT_EQ(out["objects"][0]["tracks"][0]["keys"], in["objects"][0]["tracks"][0]["keys"]);

  // Load, save, load, save gives the same text.
  Scene again;
  Document& reloaded = load(saved, again);
  reloaded.evaluate();
  EXPECT_EQ(save(reloaded, again), saved);
  // After a frame far from rest the file still holds the rest values and the
  // tracks; only what the deformer writes back (the path's length, which the
  // animated path changes) tells the frame.
  EXPECT_GT(kurvo::animation::applyFrame(doc, scene.timeline, 33), 0u);
  doc.evaluate();
  const Json shown = Json::parse(save(doc, scene));
  EXPECT_EQ(shown["objects"][1]["tracks"], out["objects"][1]["tracks"]);
  EXPECT_EQ(shown["objects"][1]["position"], out["objects"][1]["position"]);
  EXPECT_EQ(shown["objects"][0]["points"], out["objects"][0]["points"]);
  EXPECT_EQ(shown["objects"][1]["children"][0]["params"]["KURVO_OFFSET"],
            out["objects"][1]["children"][0]["params"]["KURVO_OFFSET"]);
  // Back at rest, the whole file is the same again.
  EXPECT_GT(kurvo::animation::applyRest(doc, scene.timeline), 0u);
  doc.evaluate();
  EXPECT_EQ(save(doc, scene), saved);
}

TEST_F(AnimatedSceneTest, BadTracksAreRefusedNamingFileObjectTrackAndKey) {
  struct Case {
    std::string bend, tube, path;
    std::vector<std::string> parts;
  };
  const std::vector<Case> cases = {
      {R"({"param": "KURVO_OFSET", "keys": [[0, 1]]})", "", "", {"object \"Bend\"", "tracks[0].param", "KURVO_OFSET"}},
      {R"({"param": "KURVO_OFFSET", "keys": [[0, 0], [20, 1], [10, 2]]})", "", "",
       {"tracks[0].keys[2]", "out of order", "frame 10 comes after frame 20"}},
      {R"({"param": "KURVO_OFFSET", "keys": [[0, 0], [20, 1], [20, 2]]})", "", "",
       {"tracks[0].keys[2][0]", "two keys at frame 20"}},
      {R"({"param": "KURVO_OFFSET", "keys": [[0.5, 0], [0.5, 1]]})", "", "", {"tracks[0].keys[1][0]", "two keys at frame 0.5"}},
      {R"({"param": "KURVO_OFFSET", "keys": [[0, 0], [5, 5]]}, {"param": "1000", "keys": [[0, 1]]})", "", "",
       {"tracks[1]", "already animates"}},
      {R"({"param": "KURVO_OFFSET", "keys": [[0, 0], [5, [1, 2, 3]]]})", "", "", {"tracks[0].keys[1][1]", "number"}},
      {R"({"param": "KURVO_UP_VECTOR", "keys": [[0, 1]]})", "", "", {"tracks[0].keys[0][1]"}},
      {R"({"param": "KURVO_STRETCH", "interpolation": "linear", "keys": [[0, true]]})", "", "",
       {"tracks[0].interpolation", "only steps"}},
      {R"({"param": "KURVO_SPLINE", "keys": [[0, "Path"]]})", "", "", {"tracks[0].param", "cannot be animated"}},
      {R"({"param": "KURVO_OFFSET", "keys": []})", "", "", {"tracks[0].keys", "at least one key"}},
      {R"({"param": "KURVO_OFFSET", "keys": [[0]]})", "", "", {"tracks[0].keys[0]", "[frame, value]"}},
      {R"({"param": "KURVO_OFFSET", "keys": [[1e300, 0]]})", "", "", {"tracks[0].keys[0][0]", "finite"}},
      {R"({"param": "KURVO_OFFSET", "interpolation": "cubic", "keys": [[0, 0]]})", "", "",
       {"tracks[0].interpolation", "\"step\", \"linear\" or \"smooth\""}},
      {R"({"param": "KURVO_OFFSET", "placement": "position", "keys": [[0, 0]]})", "", "", {"tracks[0]", "exactly one"}},
      {"", R"({"placement": "size", "keys": [[0, 1]]})", "", {"object \"Tube\"", "tracks[0].placement"}},
      {"", R"({"points": true, "keys": [[0, []]]})", "", {"object \"Tube\"", "only a spline"}},
      {"", "", R"({"points": true, "keys": [[0, [[0, 0, 0]]]]})",
       {"object \"Path\"", "tracks[0].keys[0][1]", "gives 1 points; the spline has 4"}},
  };
  for (const Case& c : cases) {
    const std::string message = loadError(animatedScene(c.bend, c.tube, c.path), "bad.json");
    ASSERT_FALSE(message.empty()) << c.bend << c.tube << c.path;
    EXPECT_EQ(message.rfind("bad.json: ", 0), 0u) << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
    for (const std::string& part : c.parts) EXPECT_NE(message.find(part), std::string::npos) << message;
  }
  // A placement track needs the placement as parts, not as a matrix.
  const std::string matrixPlaced = R"({"format": "kurvo-scene", "version": 1, "objects": [{"name": "N", "type": "null",
      "matrix": [[0, 0, 0], [1, 0, 0], [0, 1, 0], [0, 0, 1]],
      "tracks": [{"placement": "position", "keys": [[0, [0, 0, 0]]]}]}]})";
  EXPECT_NE(loadError(matrixPlaced).find("not \"matrix\""), std::string::npos) << loadError(matrixPlaced);
  const std::string badTime = R"({"format": "kurvo-scene", "version": 1, "time": {"fps": 0}, "objects": []})";
  EXPECT_NE(loadError(badTime).find("time.fps"), std::string::npos) << loadError(badTime);
}

TEST_F(AnimatedSceneTest, AFrameChangesOnlyWhatItsTracksMoveAndOnlyThatIsRebuilt) {
  Scene scene;
  Document& doc = load(animatedScene(kOffsetTrack, "", R"({"points": true, "interpolation": "step",
      "keys": [[0, [[0, 0, 0], [100, 50, 150], [0, 100, 300], [-100, 50, 450]]],
               [30, [[0, 0, 0], [100, 80, 150], [0, 100, 300], [-100, 50, 450]]]]})"),
                       scene);
  Object* tube = find(doc, "Tube");
  Object* bend = find(doc, "Bend");
  Object* path = find(doc, "Path");
  ASSERT_TRUE(tube && bend && path);
  kurvo::animation::applyFrame(doc, scene.timeline, 0);
  EXPECT_GT(evaluateCountingBlocks(doc), 0u);
  const auto counters = [&] {
    return std::vector<uint32_t>{tube->dirtyCounter(KH_DIRTY_MATRIX), tube->dirtyCounter(KH_DIRTY_DATA),
                                 bend->dirtyCounter(KH_DIRTY_DATA), path->dirtyCounter(KH_DIRTY_DATA)};
  };
  const std::vector<uint32_t> atZero = counters();

  // The same frame again: nothing written, nothing rebuilt.
  EXPECT_EQ(kurvo::animation::applyFrame(doc, scene.timeline, 0), 0u);
  EXPECT_EQ(counters(), atZero);
  EXPECT_EQ(evaluateCountingBlocks(doc), 0u);

  // The offset moves: the deformer's data changes, the tube's and the path's
  // do not, and the tube is deformed again.
  const std::vector<Vector> before = tube->points();
  EXPECT_EQ(kurvo::animation::applyFrame(doc, scene.timeline, 10), 1u);
  std::vector<uint32_t> now = counters();
  EXPECT_EQ(now[0], atZero[0]);
  EXPECT_EQ(now[1], atZero[1]);
  EXPECT_GT(now[2], atZero[2]);
  EXPECT_EQ(now[3], atZero[3]);
  EXPECT_GT(evaluateCountingBlocks(doc), 0u);
  EXPECT_NE(tube->points(), before);

  // The path's points step at frame 30: the path changes and the deformer,
  // watching it, rebuilds the tube.
  kurvo::animation::applyFrame(doc, scene.timeline, 29);
  doc.evaluate();
  const uint32_t pathBefore = path->dirtyCounter(KH_DIRTY_DATA);
  const float offsetBefore = bend->parameters().getReal(1000);
  EXPECT_EQ(kurvo::animation::applyFrame(doc, scene.timeline, 30), 2u);
  EXPECT_GT(path->dirtyCounter(KH_DIRTY_DATA), pathBefore);
  EXPECT_NE(bend->parameters().getReal(1000), offsetBefore);
  EXPECT_GT(evaluateCountingBlocks(doc), 0u);
  EXPECT_FLOAT_EQ(path->points()[1].y, 80.0f);
}


TEST_F(AnimatedSceneTest, TheRandomTwistRepeatsOverFramesOnlyWithADeformerTag) {
  const std::string random = R"(, "KURVO_RANDOM": 1, "KURVO_TWIST_STRENGTH": 90,
      "KURVO_TWIST_CURVE": {"knots": [[0, 1], [1, 1]]})";
  const std::vector<double> frames = {0, 5, 10, 15};
  for (const bool tagged : {true, false}) {
    const std::string text = animatedScene(kOffsetTrack, "", "", random,
                                           tagged ? R"({"type": "VorlaDeformerTag", "params": {"1000": 3}})" : "");
    // Frame after frame in one document, as a host plays the scene.
    Scene scene;
    Document& doc = load(text, scene);
    Object* tube = find(doc, "Tube");
    ASSERT_TRUE(tube);
    for (size_t i = 0; i < frames.size(); ++i) {
      kurvo::animation::applyFrame(doc, scene.timeline, frames[i]);
      doc.evaluate();
      const std::vector<Vector> played = tube->points();
      // The same frame in a new document: the deformer's first run.
      Scene freshScene;
      Document& fresh = load(text, freshScene);
      kurvo::animation::applyFrame(fresh, freshScene.timeline, frames[i]);
      fresh.evaluate();
      const std::vector<Vector>& alone = find(fresh, "Tube")->points();
      ASSERT_EQ(played.size(), alone.size());
      const bool same = std::memcmp(played.data(), alone.data(), played.size() * sizeof(Vector)) == 0;
      if (tagged || i == 0)
        EXPECT_TRUE(same) << "tagged " << tagged << ", frame " << frames[i];
      else
        EXPECT_FALSE(same) << "without a tag the generator runs on from frame to frame; frame " << frames[i];
    }
  }
}

}  // namespace
