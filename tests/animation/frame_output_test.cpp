// kurvo eval --frames, end to end: the frames written as JSON and as a
// numbered sequence, checked against still evaluations of the same scene.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "json_text.h"
#include "temp_dir.h"

namespace {

using kurvo::scenefile::Json;

struct ToolRun {
  int status = -1;
  std::string err;
};

ToolRun runTool(const TempDir& dir, const std::string& args) {
  const std::string line = "cd '" + dir.path().string() + "' && " + KURVO_TOOL + " eval --quiet --plugins " +
                           KURVO_PLUGIN_DIR + " " + args + " 2> err.txt";
  const int raw = std::system(line.c_str());
  ToolRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  std::ifstream in(dir / "err.txt");
  std::stringstream text;
  text << in.rdbuf();
  run.err = text.str();
  return run;
}

Json readJson(const std::filesystem::path& file) {
  std::ifstream in(file);
  return Json::parse(in);
}

// The offset slides from 0 to 0.5 over frames 0..40, linearly.
std::string scene(const std::string& offset) {
  return R"({"format": "kurvo-scene", "version": 1, "time": {"fps": 25, "start": 0, "end": 40}, "objects": [
    {"name": "Path", "type": "spline", "interpolation": "cubic",
     "points": [[0, 0, 0], [100, 50, 150], [0, 100, 300], [-100, 50, 450]]},
    {"name": "Tube", "type": "polygon",
     "primitive": {"kind": "cylinder", "radius": 10, "height": 100, "rotation_segments": 8, "height_segments": 4},
     "position": [0, 0, 50],
     "children": [{"name": "Bend", "type": "Kurvo2", "position": [0, 0, -50],
       "params": {"KURVO_SPLINE": "Path", "KURVO_UP_MODE": 0, "KURVO_UP_VECTOR": [1, 0, 0], )" +
         offset + "}]}]}";
}

const std::string kAnimated =
    scene(R"("KURVO_OFFSET": 0}, "tracks": [{"param": "KURVO_OFFSET", "keys": [[0, 0], [40, 0.5]]}])");

TEST(FrameOutputTest, JsonFramesMatchStillEvaluationsAtTheTracksValues) {
  TempDir dir;
  dir.write("anim.json", kAnimated);
  ASSERT_EQ(runTool(dir, "anim.json --frames 0:40:10 -o frames.json").status, 0);
  const Json out = readJson(dir / "frames.json");
  ASSERT_EQ(out["frames"].size(), 5u);
  EXPECT_EQ(out["frames"][2]["frame"], 20);
  EXPECT_EQ(out["objects"][1]["children"][0]["tracks"][0]["keys"][1][1], 0.5);
  // Frame 20 is half way: the offset 0.25, evaluated still, gives the same bits.
  dir.write("still.json", scene(R"("KURVO_OFFSET": 0.25})"));
  ASSERT_EQ(runTool(dir, "still.json -o still-out.json").status, 0);
  const Json still = readJson(dir / "still-out.json");
  EXPECT_EQ(out["frames"][2]["objects"]["Tube"]["deformed_points"], still["objects"][1]["deformed_points"]);
  EXPECT_NE(out["frames"][0]["objects"]["Tube"]["deformed_points"],
            out["frames"][4]["objects"]["Tube"]["deformed_points"]);
  // The written scene loads again (its frames are ignored) and "all" takes its range.
  ASSERT_EQ(runTool(dir, "frames.json --frames all -o again.json").status, 0) << runTool(dir, "").err;
  EXPECT_EQ(readJson(dir / "again.json")["frames"].size(), 41u);
}

TEST(FrameOutputTest, ASequenceWritesOneFilePerFrameIntoItsFolder) {
  TempDir dir;
  dir.write("anim.json", kAnimated);
  const ToolRun run = runTool(dir, "anim.json --frames 8:12:2 -o seq/bent_##.obj");
  ASSERT_EQ(run.status, 0) << run.err;
  for (const char* name : {"bent_08.obj", "bent_10.obj", "bent_12.obj"})
    EXPECT_TRUE(std::filesystem::exists(dir / "seq" / name)) << name;
  EXPECT_FALSE(std::filesystem::exists(dir / "seq" / "bent_09.obj"));
  // Each file is the still export of its frame.
  dir.write("still.json", scene(R"("KURVO_OFFSET": 0.125})"));
  ASSERT_EQ(runTool(dir, "still.json -o still.obj").status, 0);
  std::ifstream a(dir / "seq" / "bent_10.obj"), b(dir / "still.obj");
  std::stringstream ta, tb;
  ta << a.rdbuf();
  tb << b.rdbuf();
  const auto body = [](const std::string& s) { return s.substr(s.find("\nv ")); };  // past the header and mtllib
  EXPECT_EQ(body(ta.str()), body(tb.str()));
}

TEST(FrameOutputTest, BadRangesAndOutputsAreRefusedAndWriteNothing) {
  TempDir dir;
  dir.write("anim.json", kAnimated);
  std::string timeless = scene(R"("KURVO_OFFSET": 0})");
  timeless.erase(timeless.find("\"time\""), std::string(R"("time": {"fps": 25, "start": 0, "end": 40}, )").size());
  dir.write("timeless.json", timeless);
  const struct {
    std::string args, part;
  } cases[] = {
      {"anim.json --frames 5:1 -o x.json", "--frames: \"5:1\": the last frame comes before the first"},
      {"anim.json --frames 1:5:0 -o x.json", "the step must be 1 or more"},
      {"anim.json --frames 1-5 -o x.json", "not a frame range"},
      {"anim.json --frames 0:3 -o x.stl", "x.stl: --frames writes"},
      {"anim.json -o x_##.obj", "give --frames A:B"},
      {"timeless.json --frames all -o x.json", "needs a \"time\" block"},
  };
  for (const auto& c : cases) {
    const ToolRun run = runTool(dir, c.args);
    EXPECT_EQ(run.status, 1) << c.args;
    EXPECT_NE(run.err.find(c.part), std::string::npos) << c.args << ": " << run.err;
  }
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
    const std::string name = entry.path().filename().string();
    EXPECT_TRUE(name == "anim.json" || name == "timeless.json" || name == "err.txt") << name;
  }
}

}  // namespace
