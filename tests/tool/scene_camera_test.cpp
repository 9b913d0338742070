// The scene file's camera: `kurvo render` uses it as it would the same
// camera from the command line, a saved scene keeps it, and a bad block
// names its field.
#include <gtest/gtest.h>

#include "tool_run.h"

namespace {

std::string sceneWithCamera(const std::string& camera) {
  return R"({"format": "kurvo-scene", "version": 1,)" + camera + R"(
  "objects": [
    {"name": "Box", "type": "polygon",
     "points": [[-50, -50, -50], [50, -50, -50], [50, 50, -50], [-50, 50, -50],
                [-50, -50, 50], [50, -50, 50], [50, 50, 50], [-50, 50, 50]],
     "polygons": [[0, 3, 2, 1], [4, 5, 6, 7], [0, 1, 5, 4], [3, 7, 6, 2], [0, 4, 7, 3], [1, 2, 6, 5]]}
  ]})";
}

const char* const kCamera =
    R"( "camera": {"position": [120, 260, -300], "target": [10, 0, 0], "up": [0.2, 1, 0], "fov": 55},)";

TEST(SceneCamera, RendersAsTheSameCameraFromTheCommandLineAndSurvivesSaving) {
  TempDir dir;
  dir.write("placed.json", sceneWithCamera(kCamera));
  dir.write("plain.json", sceneWithCamera(""));
  const std::string size = " --width 96 --height 64";
  ASSERT_EQ(runKurvo(dir, "render", "placed.json -o a.png" + size).status, 0);
  ASSERT_EQ(runKurvo(dir, "render",
                     "plain.json -o b.png --camera-position 120,260,-300 --camera-target 10,0,0 --camera-up 0.2,1,0 "
                     "--fov 55" + size)
                .status,
            0);
  ASSERT_EQ(runKurvo(dir, "render", "plain.json -o c.png" + size).status, 0);
  EXPECT_EQ(readWhole(dir / "a.png"), readWhole(dir / "b.png"));
  EXPECT_NE(readWhole(dir / "a.png"), readWhole(dir / "c.png"));  // the camera was used, not framing
  // Options given replace the scene's own fields.
  ASSERT_EQ(runKurvo(dir, "render", "placed.json -o d.png --fov 30" + size).status, 0);
  EXPECT_NE(readWhole(dir / "a.png"), readWhole(dir / "d.png"));
  // Saved by eval and loaded again, the camera is the same.
  ASSERT_EQ(runKurvo(dir, "eval", "placed.json -o saved.json").status, 0);
  ASSERT_EQ(runKurvo(dir, "render", "saved.json -o e.png" + size).status, 0);
  EXPECT_EQ(readWhole(dir / "a.png"), readWhole(dir / "e.png"));
}

TEST(SceneCamera, MistakesNameTheFieldAndWriteNothing) {
  TempDir dir;
  const std::pair<const char*, const char*> cases[] = {
      {R"( "camera": {"position": [0, 0, 0]},)", "camera.target: missing"},
      {R"( "camera": {"position": [0, 0, 0], "target": [0, 0, 0]},)", "camera: camera target is the camera position"},
      {R"( "camera": {"position": [0, 0, 9], "target": [0, 0, 0], "up": [0, 0, 1]},)", "camera: camera up points along"},
      {R"( "camera": {"position": [0, 0, 9], "target": [0, 0, 0], "fov": 200},)", "camera: field of view"},
      {R"( "camera": {"position": [0, 0, 9], "target": [0, 0], "fov": 20},)", "camera.target: expected a vector"},
      {R"( "camera": {"position": [0, 0, 9], "target": [0, 0, 0], "zoom": 2},)", "zoom"},
  };
  for (const auto& [camera, expected] : cases) {
    SCOPED_TRACE(camera);
    dir.write("bad.json", sceneWithCamera(camera));
    const ToolRun run = runKurvo(dir, "render", "bad.json -o bad.png");
    EXPECT_NE(run.status, 0);
    EXPECT_NE(run.err.find("bad.json"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(expected), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "bad.png"));
  }
  dir.write("plain.json", sceneWithCamera(""));
  const ToolRun lone = runKurvo(dir, "render", "plain.json -o x.png --camera-target 1,2,3");
  EXPECT_NE(lone.status, 0);
  EXPECT_NE(lone.err.find("--camera-position"), std::string::npos) << lone.err;
  EXPECT_NE(runKurvo(dir, "render", "plain.json -o x.png --camera-position 1,2 --camera-target 0,0,0").status, 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "x.png"));
}

}  // namespace
