// kurvo eval --frames, end to end: the frames written as JSON and as a
// numbered sequence, checked against still evaluations of the same scene;
// and the frame ranges the option takes, up to their limits.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <array>
#include <fstream>
#include <sstream>

#include "frame_range.h"
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

// The "v" lines of an OBJ file.
std::vector<std::array<float, 3>> objPoints(const std::filesystem::path& file) {
  std::ifstream in(file);
  std::vector<std::array<float, 3>> points;
  std::string line;
  while (std::getline(in, line))
    if (line.rfind("v ", 0) == 0) {
      std::istringstream fields(line.substr(2));
      std::array<float, 3> p{};
      fields >> p[0] >> p[1] >> p[2];
      points.push_back(p);
    }
  return points;
}

TEST(FrameOutputTest, APointCacheHoldsEachFrameAsTheStillExportPlacesIt) {
  TempDir dir;
  dir.write("anim.json", kAnimated);
  ASSERT_EQ(runTool(dir, "anim.json --frames 0:40:20 -o tube.pc2").status, 0);
  ASSERT_EQ(runTool(dir, "anim.json --frames 0:40:20 -o seq/t_##.obj").status, 0);
  // The rest mesh is the first frame; sample k is frame 20k of the sequence.
  const auto rest = objPoints(dir / "tube.obj");
  ASSERT_EQ(rest, objPoints(dir / "seq" / "t_00.obj"));
  std::ifstream cache(dir / "tube.pc2", std::ios::binary);
  char magic[12];
  int32_t version = 0, points = 0, samples = 0;
  float start = 0, rate = 0;
  cache.read(magic, 12);
  cache.read(reinterpret_cast<char*>(&version), 4);
  cache.read(reinterpret_cast<char*>(&points), 4);
  cache.read(reinterpret_cast<char*>(&start), 4);
  cache.read(reinterpret_cast<char*>(&rate), 4);
  cache.read(reinterpret_cast<char*>(&samples), 4);
  EXPECT_EQ(std::string(magic, 11), "POINTCACHE2");
  EXPECT_EQ(points, static_cast<int32_t>(rest.size()));
  EXPECT_EQ(samples, 3);
  EXPECT_EQ(start, 0.0f);
  EXPECT_EQ(rate, 20.0f);
  for (int k = 0; k < samples; ++k) {
    const auto expected = objPoints(dir / "seq" / (k == 0 ? "t_00.obj" : k == 1 ? "t_20.obj" : "t_40.obj"));
    std::vector<std::array<float, 3>> sample(points);
    cache.read(reinterpret_cast<char*>(sample.data()), static_cast<std::streamsize>(points) * 12);
    EXPECT_EQ(sample, expected) << "sample " << k;
  }
}

TEST(FrameOutputTest, RenderedFramesBecomeAnAnimationOrOnePicturePerFrame) {
  TempDir dir;
  dir.write("anim.json", kAnimated);
  const auto render = [&](const std::string& args) {
    const std::string line = "cd '" + dir.path().string() + "' && " + KURVO_TOOL + " render --quiet --plugins " +
                             KURVO_PLUGIN_DIR + " anim.json --width 64 --height 48 " + args + " 2> err.txt";
    const int raw = std::system(line.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  };
  ASSERT_EQ(render("--frames 0:40:20 -o a.gif"), 0);
  std::ifstream gif(dir / "a.gif", std::ios::binary);
  char header[6];
  gif.read(header, 6);
  EXPECT_EQ(std::string(header, 6), "GIF89a");
  // The video libraries are loaded only for a video: the tool loads them
  // itself here (this test does not link them).
  ASSERT_EQ(render("--frames 0:40:20 -o a.mp4"), 0);
  std::ifstream mp4(dir / "a.mp4", std::ios::binary);
  char box[8];
  mp4.read(box, 8);
  EXPECT_EQ(std::string(box + 4, 4), "ftyp");
  EXPECT_GT(std::filesystem::file_size(dir / "a.mp4"), 1000u);
  ASSERT_EQ(render("--frames 0:40:20 -o pics/f_###.png"), 0);
  for (const char* name : {"f_000.png", "f_020.png", "f_040.png"})
    EXPECT_TRUE(std::filesystem::exists(dir / "pics" / name)) << name;
  EXPECT_EQ(render("--frames 0:2 -o still.png"), 1);
  EXPECT_EQ(render("-o f_##.png"), 1);
  EXPECT_FALSE(std::filesystem::exists(dir / "still.png"));
}

TEST(FrameOutputTest, BadRangesAndOutputsAreRefusedAndWriteNothing) {
  TempDir dir;
  dir.write("anim.json", kAnimated);
  std::string timeless = scene(R"("KURVO_OFFSET": 0})");
  timeless.erase(timeless.find("\"time\""), std::string(R"("time": {"fps": 25, "start": 0, "end": 40}, )").size());
  dir.write("timeless.json", timeless);
  // 141 x 142 = 20022 points: a thousand frames of them are past what a JSON
  // output holds, ten thousand past what a frame series holds.
  dir.write("plane.json", R"({"format": "kurvo-scene", "version": 1, "objects": [{"name": "P", "type": "polygon",
      "primitive": {"kind": "plane", "width_segments": 140, "depth_segments": 141}}]})");
  const struct {
    std::string args, part;
  } cases[] = {
      {"plane.json --frames 0:999 -o x.json",
       "x.json: 20022000 points times frames is more than this output holds in memory (20000000)"},
      {"plane.json --frames 0:9999 -o x.glb", "x.glb: 200220000 points times frames is more than this output holds"},
      {"plane.json --frames 0:9999 -o x.pc2", "x.pc2: 200220000 points times frames"},
      {"anim.json --frames 5:1 -o x.json", "--frames: \"5:1\": the last frame comes before the first"},
      {"anim.json --frames 1:5:0 -o x.json", "the step must be 1 or more"},
      {"anim.json --frames 1-5 -o x.json", "not a frame range"},
      {"anim.json --frames 0:99999999 -o x_####.obj", "asks for 100000000 frames; one run takes at most 1000000"},
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
    EXPECT_TRUE(name == "anim.json" || name == "timeless.json" || name == "plane.json" || name == "err.txt") << name;
  }
}

// Every frame range at its limits and just past them: a frame number at
// most 10^8 from 0, at most a million frames in one run, and a one-frame
// range A:A.
TEST(FrameRangeTest, RangesAreTakenUpToTheirLimitsAndRefusedPastThem) {
  kurvo::animation::Timeline timeline;
  const struct {
    std::string text;
    long long first, last, step, count;  // count 0: refused
    std::string why;
  } cases[] = {
      {"7:7", 7, 7, 1, 1, ""},
      {"-3:-3:5", -3, -3, 5, 1, ""},
      {"0:10:3", 0, 10, 3, 4, ""},  // 0, 3, 6, 9
      {"100000000:100000000", 100000000, 100000000, 1, 1, ""},
      {"-100000000:-99000001", -100000000, -99000001, 1, 1000000, ""},
      {"100000001:100000001", 0, 0, 0, 0, "within +-100000000"},
      {"-100000001:0", 0, 0, 0, 0, "within +-100000000"},
      {"0:1:100000001", 0, 0, 0, 0, "within +-100000000"},
      {"0:999999", 0, 999999, 1, 1000000, ""},
      {"0:1000000", 0, 0, 0, 0, "asks for 1000001 frames; one run takes at most 1000000"},
      {"1:1999999:2", 1, 1999999, 2, 1000000, ""},
      {"1:2000001:2", 0, 0, 0, 0, "asks for 1000001 frames"},
      {"-100000000:100000000:201", -100000000, 100000000, 201, 995025, ""},
      {"-100000000:100000000:200", 0, 0, 0, 0, "asks for 1000001 frames"},
      {"8:7", 0, 0, 0, 0, "the last frame comes before the first"},
      {"1:5:0", 0, 0, 0, 0, "the step must be 1 or more"},
      {"1:5:-1", 0, 0, 0, 0, "the step must be 1 or more"},
      {"1:5:", 0, 0, 0, 0, "not a frame range"},
      {"1.5:5", 0, 0, 0, 0, "not a frame range"},
  };
  for (const auto& c : cases) {
    kurvo::animation::FrameRange range;
    std::string problem;
    const bool ok = kurvo::animation::parseFrameRange(c.text, timeline, range, problem);
    EXPECT_EQ(ok, c.count > 0) << c.text << ": " << problem;
    if (!ok) {
      EXPECT_NE(problem.find(c.why), std::string::npos) << c.text << ": " << problem;
      continue;
    }
    EXPECT_EQ(range.first, c.first) << c.text;
    EXPECT_EQ(range.last, c.last) << c.text;
    EXPECT_EQ(range.step, c.step) << c.text;
    const std::vector<double> frames = range.frames();
    EXPECT_EQ(static_cast<long long>(frames.size()), c.count) << c.text;
    EXPECT_EQ(frames.front(), static_cast<double>(c.first)) << c.text;
    EXPECT_LE(frames.back(), static_cast<double>(c.last)) << c.text;
  }
  // "all": the scene's own range, one frame when it starts where it ends.
  timeline.present = true;
  timeline.start = timeline.end = 12;
  kurvo::animation::FrameRange range;
  std::string problem;
  ASSERT_TRUE(kurvo::animation::parseFrameRange("all", timeline, range, problem)) << problem;
  EXPECT_EQ(range.frames(), std::vector<double>{12});
}

// A one-frame range through the whole tool, into every kind of frames output.
TEST(FrameOutputTest, AOneFrameRangeWritesThatFrame) {
  TempDir dir;
  dir.write("anim.json", kAnimated);
  for (const char* out : {"one.json", "one.glb", "one.pc2", "one_##.obj"}) {
    const ToolRun run = runTool(dir, std::string("anim.json --frames 20:20 -o ") + out);
    EXPECT_EQ(run.status, 0) << out << ": " << run.err;
  }
  const Json frames = readJson(dir / "one.json");
  ASSERT_TRUE(frames.contains("frames")) << frames.dump().substr(0, 200);
  ASSERT_EQ(frames["frames"].size(), 1u);
  EXPECT_EQ(frames["frames"][0]["frame"], 20);
  EXPECT_TRUE(std::filesystem::exists(dir / "one_20.obj"));
  EXPECT_FALSE(std::filesystem::exists(dir / "one_21.obj"));
  EXPECT_GT(std::filesystem::file_size(dir / "one.pc2"), 32u);
}

}  // namespace
