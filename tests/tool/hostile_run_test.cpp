// Hostile runs of the real tool, one case per class: frame ranges and rates
// past what any output holds, animation keys a scene file would refuse, full
// disks, interrupts in the middle of a long batch, and the messages of usage
// mistakes. Every refusal is one line, status 1, nothing written, old files
// intact, within a memory cap and a time limit.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "tool_run.h"

namespace {

std::string scene(const std::string& time, const std::string& objects) {
  return R"({"format": "kurvo-scene", "version": 1, )" + time + R"("objects": [)" + objects + "]}";
}

// A plane of `segments`^2 quads, sliding along x over the frames.
std::string slidingPlane(int segments) {
  const std::string n = std::to_string(segments);
  return R"({"name": "Plane", "type": "polygon", "position": [0, 0, 0], "rotation": [0, 0, 0], "scale": [1, 1, 1],
    "primitive": {"kind": "plane", "width_segments": )" + n + R"(, "depth_segments": )" + n + R"(},
    "tracks": [{"placement": "position", "keys": [[0, [0, 0, 0]], [1000, [500, 0, 0]]]}]})";
}

size_t temporariesIn(const std::filesystem::path& folder) {
  size_t n = 0;
  std::error_code ec;
  for (const auto& e : std::filesystem::directory_iterator(folder, ec))
    if (e.path().filename().string().rfind(".kurvo-", 0) == 0) ++n;
  return n;
}

TEST(HostileRun, EveryWayOfNamingFramesHasOneCap) {
  TempDir dir;
  const std::string wide = R"("time": {"fps": 24, "start": -100000000, "end": 100000000}, )";
  dir.write("wide.json", scene(wide, slidingPlane(2)));
  const std::string cap = "asks for 200000001 frames; one run takes at most 1000000";
  // "all" over a time block past the cap is refused before a frame exists,
  // whatever the output (a sequence, a cache, an animation).
  for (const char* out : {"seq/f_####.obj", "out.pc2", "out.json"})
    expectOneLineRefusal(runKurvo(dir, "eval", std::string("wide.json --frames all -o ") + out),
                         {"--frames", "\"all\" (the scene's frames -100000000 to 100000000)", cap}, out);
  expectOneLineRefusal(runKurvo(dir, "render", "wide.json --frames all -o out.gif --width 16 --height 16"),
                       {"\"all\"", cap}, "render all");
  expectOneLineRefusal(runKurvo(dir, "render", "wide.json --frames -100000000:100000000 -o f_####.png"),
                       {"--frames", cap}, "render A:B");
  // A rate no output can store is refused at load with the scene-file message.
  for (const char* fps : {"1e-38", "0.001", "0", "-24", "1e9"}) {
    dir.write("rate.json", scene(std::string(R"("time": {"fps": )") + fps + R"(, "start": 0, "end": 3}, )",
                                 slidingPlane(2)));
    expectOneLineRefusal(runKurvo(dir, "eval", "rate.json --frames all -o out.mdd"),
                         {"rate.json", "time.fps: must be from 0.01 to 1000 frames per second"}, fps);
  }
  EXPECT_EQ(dir.names(), (std::vector<std::string>{"rate.json", "wide.json"}));
}

TEST(HostileRun, TrackKeysObeyTheRulesOfTheValueTheyAnimate) {
  TempDir dir;
  struct Case {
    const char* object;
    const char* expected;
  };
  for (const Case& c : {
           Case{R"({"name": "C", "type": "spline", "primitive": {"kind": "circle", "radius": 50},
                   "tracks": [{"param": 2001, "keys": [[0, 50], [10, -100]]}]})",
                "object \"C\": tracks[0].keys[1][1]: must be greater than 0"},
           Case{R"({"name": "C", "type": "spline", "primitive": {"kind": "circle", "radius": 50},
                   "tracks": [{"param": "2001", "keys": [[0, 0.0]]}]})",
                "object \"C\": tracks[0].keys[0][1]: must be greater than 0"},
           Case{R"({"name": "H", "type": "spline", "primitive": {"kind": "helix"},
                   "tracks": [{"param": 2008, "keys": [[0, 16], [5, -5]]}]})",
                "object \"H\": tracks[0].keys[1][1]: must be at least 3 (points per turn)"},
           Case{R"({"name": "H", "type": "spline", "primitive": {"kind": "helix"},
                   "tracks": [{"param": 2007, "keys": [[0, 2], [5, 1e30]]}]})",
                "object \"H\": tracks[0].keys: would make about"},
       }) {
    dir.write("s.json", scene(R"("time": {"fps": 24, "start": 0, "end": 10}, )", c.object));
    expectOneLineRefusal(runKurvo(dir, "eval", "s.json -o out.json"), {"s.json", c.expected}, c.object);
  }
  // Keys within the rules load, and their scene saves and loads again.
  dir.write("s.json", scene(R"("time": {"fps": 24, "start": 0, "end": 10}, )",
                            R"({"name": "C", "type": "spline", "primitive": {"kind": "circle", "radius": 50},
                                "tracks": [{"param": 2001, "keys": [[0, 50], [10, 0.5]]}]})"));
  ASSERT_EQ(runKurvo(dir, "eval", "s.json -o out.json").status, 0);
  EXPECT_EQ(runKurvo(dir, "eval", "out.json -o again.json").status, 0);
}

// A small file system of its own, unmounted at the end.
class FullDisk {
 public:
  explicit FullDisk(const std::filesystem::path& at) : at_(at) {
    std::filesystem::create_directories(at_);
    mounted_ = ::mount("tmpfs", at_.c_str(), "tmpfs", 0, "size=16k") == 0;
  }
  ~FullDisk() {
    if (mounted_) ::umount2(at_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

 private:
  std::filesystem::path at_;
  bool mounted_ = false;
};

TEST(HostileRun, AFullDiskReplacesNothingAndNamesTheFile) {
  TempDir dir;
  FullDisk disk(dir / "full");
  if (!disk.mounted()) GTEST_SKIP() << "cannot mount a small tmpfs here (needs root): the disk-full case is not run";
  // Of its four pages, one holds the old file and two the filler: every
  // output here needs more than the last one.
  dir.write("full/filler", std::string(8192, 'f'));
  dir.write("s.json", scene(R"("time": {"fps": 24, "start": 0, "end": 3}, )", slidingPlane(120)));
  std::string points;  // a scene that saves every point
  for (int i = 0; i < 2000; ++i) points += (i ? ",[" : "[") + std::to_string(i) + ",0,0]";
  dir.write("p.json", scene("", R"({"name": "P", "type": "polygon", "points": [)" + points + "]}"));
  struct Case {
    const char* command;
    const char* args;
    const char* file;   // in full/, there before and kept
    const char* named;  // the file the message names (a side file may fail first)
  };
  for (const Case& c : {Case{"eval", "s.json -o full/out.obj", "out.obj", "out"},
                        Case{"eval", "s.json -o full/out.ply", "out.ply", "out.ply"},
                        Case{"eval", "s.json -o full/out.stl", "out.stl", "out.stl"},
                        Case{"eval", "s.json -o full/out.dae", "out.dae", "out.dae"},
                        Case{"eval", "s.json -o full/out.glb", "out.glb", "out.glb"},
                        Case{"eval", "s.json -o full/out.gltf", "out.gltf", "out.bin"},
                        Case{"eval", "p.json -o full/out.json", "out.json", "out.json"},
                        Case{"eval", "s.json --frames 0:3 -o full/out.pc2", "out.obj", "out."},
                        Case{"eval", "s.json --frames 0:3 -o full/anim.glb", "anim.glb", "anim.glb"},
                        Case{"render", "s.json -o full/out.png --width 1500 --height 1500", "out.png", "out.png"},
                        Case{"render", "s.json --frames 0:3 -o full/out.gif --width 600 --height 600", "out.gif",
                             "out.gif"}}) {
    const std::filesystem::path old = dir / "full" / c.file;
    {
      std::ofstream(old) << "old content";
    }
    const ToolRun run = runKurvo(dir, c.command, c.args);
    expectOneLineRefusal(run, {c.named, "No space left on device"}, c.args);
    EXPECT_EQ(readWhole(old), "old content") << c.args;
    EXPECT_EQ(temporariesIn(dir / "full"), 0u) << c.args;
    std::filesystem::remove(old);
  }
}

TEST(HostileRun, AnInterruptRemovesEveryTemporaryOfTheBatch) {
  TempDir dir;
  dir.write("s.json", scene(R"("time": {"fps": 24, "start": 0, "end": 299}, )", slidingPlane(40)));
  std::filesystem::create_directories(dir / "seq");
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::chdir(dir.path().c_str());
    ::execl(KURVO_TOOL, KURVO_TOOL, "eval", "--quiet", "--plugins", KURVO_PLUGIN_DIR, "s.json", "--frames", "0:299",
            "-o", "seq/f_####.obj", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  // Interrupted once the sequence holds more temporaries than a fixed table
  // of them would (every frame waits for the batch's commit at the end).
  size_t most = 0;
  int status = 0;
  bool ended = false;
  for (int i = 0; i < 60000 && !ended; ++i) {
    most = std::max(most, temporariesIn(dir / "seq"));
    if (most >= 100) {
      ::kill(child, SIGINT);
      break;
    }
    ended = ::waitpid(child, &status, WNOHANG) == child;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  if (!ended) {
    ASSERT_EQ(::waitpid(child, &status, 0), child);
  }
  ASSERT_GE(most, 100u) << "the run ended before it held 100 temporaries";
  EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << "status " << status;
  EXPECT_EQ(temporariesIn(dir / "seq"), 0u);
  EXPECT_TRUE(std::filesystem::is_empty(dir / "seq"));
}

TEST(HostileRun, UsageMistakesAreOneReadableLineNamingTheOption) {
  TempDir dir;
  dir.write("s.json", scene(R"("time": {"fps": 24, "start": 0, "end": 3}, )", slidingPlane(2)));
  // Option values named as options, without a wall of digits.
  for (const char* value : {"0", "-5", "many", "''"}) {
    const ToolRun run = runKurvo(dir, "eval", std::string("s.json -o out.obj --max-points ") + value);
    const std::string shown = std::string(value) == "''" ? "''" : value;
    expectOneLineRefusal(run, {"--max-points " + shown + ": the scene's point budget is a whole number, at least 1"},
                         value);
    EXPECT_LT(run.err.size(), 160u) << run.err;
  }
  const ToolRun frames = runKurvo(dir, "eval", "s.json --frames '' -o out.pc2");
  expectOneLineRefusal(frames, {"--frames", "is not a frame range"}, "--frames ''");
  EXPECT_EQ(frames.err.find("output format"), std::string::npos) << frames.err;

  // Bytes from a file that are not UTF-8 are shown escaped.
  dir.write("latin1.ply", "ply\nformat ascii 1.0\ncaf\xe9 \xff\nend_header\n");
  dir.write("m.json", scene("", R"({"name": "M", "type": "polygon", "mesh": "latin1.ply"})"));
  const ToolRun latin1 = runKurvo(dir, "eval", "m.json -o out.obj");
  expectOneLineRefusal(latin1, {"latin1.ply", "caf\\xe9 \\xff"}, "latin-1");
  EXPECT_EQ(latin1.err.find('\xe9'), std::string::npos);

  // A plug-in folder without plug-ins says so, for info and for a scene.
  std::filesystem::create_directories(dir / "empty");
  const std::string empty = (dir / "empty").string();
  expectOneLineRefusal(runKurvo(dir, "info", "", true, 2000000, 120, empty), {"no plug-in was found in", empty},
                       "info");
  dir.write("d.json", scene("", R"({"name": "Path", "type": "spline", "points": [[0,0,0],[0,0,100]]},
      {"name": "T", "type": "polygon", "points": [[0,0,0],[1,0,0],[0,1,0]], "polygons": [[0,1,2]],
       "children": [{"name": "Bend", "type": "Kurvo2", "tags": [{"type": "VorlaDeformerTag"}]}]})"));
  const ToolRun noPlugins = runKurvo(dir, "eval", "d.json -o out.obj", true, 2000000, 120, empty);
  expectOneLineRefusal(noPlugins, {"no plug-in was found in", empty}, "eval without plug-ins");
  EXPECT_EQ(noPlugins.err.find("unknown"), std::string::npos) << noPlugins.err;

  // A wrong mesh_name lists the names the file has.
  dir.write("two.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\no Left\nf 1 2 3\no Right\nf 1 3 2\n");
  dir.write("n.json", scene("", R"({"name": "M", "type": "polygon", "mesh": "two.obj", "mesh_name": "Middle"})"));
  expectOneLineRefusal(runKurvo(dir, "eval", "n.json -o out.obj"),
                       {"mesh_name: no mesh named \"Middle\"", "its meshes are \"Left\", \"Right\""}, "mesh_name");

  // What eval reports having written is what it wrote: a point cache per mesh.
  dir.write("c.json", scene(R"("time": {"fps": 24, "start": 0, "end": 3}, )",
                            slidingPlane(2) + R"(, {"name": "Tri", "type": "polygon",
                                "points": [[0,0,0],[1,0,0],[0,1,0]], "polygons": [[0,1,2]]})"));
  EXPECT_FALSE(std::filesystem::exists(dir / "out.obj"));
  const ToolRun cache = runKurvo(dir, "eval", "c.json --frames 0:3 -o cache.pc2", false);
  ASSERT_EQ(cache.status, 0) << cache.err;
  std::vector<std::string> reported;
  for (size_t at = 0; (at = cache.out.find("wrote ", at)) != std::string::npos; at += 6)
    reported.push_back(cache.out.substr(at + 6, cache.out.find('\n', at) - at - 6));
  std::vector<std::string> written;
  for (const std::string& name : dir.names())
    if (name.rfind("cache", 0) == 0) written.push_back(name);
  std::sort(reported.begin(), reported.end());
  EXPECT_EQ(reported, written) << cache.out;
  EXPECT_EQ(written.size(), 6u);  // cache_Plane.pc2, cache_Tri.pc2, their rest meshes and material libraries
}

}  // namespace
