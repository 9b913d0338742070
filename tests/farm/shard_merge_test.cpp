// Shards and their merge, end to end through the kurvo tool: for animated
// scenes (an example, and a generated scene with tracks on parameters,
// placements and a path, and a tagged random twist) every frames
// output merged from N shards is the same bytes as one run writes; sets of
// parts with a gap, an overlap, a foreign or a damaged part are refused with
// their messages; and an untagged random twist refuses to be split.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "shard_split.h"
#include "temp_dir.h"

namespace {

struct ToolRun {
  int status = -1;
  std::string err;
};

ToolRun kurvo(const TempDir& dir, const std::string& args) {
  const std::string line = "cd '" + dir.path().string() + "' && " + KURVO_TOOL + " " + args + " --quiet --plugins " +
                           KURVO_PLUGIN_DIR + " > out.txt 2> err.txt";
  const int raw = std::system(line.c_str());
  ToolRun run;
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  std::ifstream in(dir / "err.txt");
  std::stringstream text;
  text << in.rdbuf();
  run.err = text.str();
  return run;
}

std::string bytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Every file of a folder by name, with its bytes.
std::map<std::string, std::string> folder(const std::filesystem::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(dir)) files[e.path().filename().string()] = bytes(e.path());
  return files;
}

// A path whose points move, a tube sliding along it while it turns, with a
// tagged random twist, and a cube that only moves: tracks on parameters,
// placements and points, two meshes.
const char* kGenerated = R"({"format": "kurvo-scene", "version": 1, "time": {"fps": 24, "start": 0, "end": 19},
  "objects": [
    {"name": "Path", "type": "spline", "interpolation": "cubic",
     "points": [[0, 0, 0], [100, 50, 150], [0, 100, 300], [-100, 50, 450]],
     "tracks": [{"points": true, "interpolation": "smooth", "keys": [
       [0, [[0, 0, 0], [100, 50, 150], [0, 100, 300], [-100, 50, 450]]],
       [19, [[0, 0, 0], [150, -50, 150], [0, 200, 300], [-50, 50, 500]]]]}]},
    {"name": "Tube", "type": "polygon", "position": [0, 0, 50], "rotation": [0, 0, 0], "scale": [1, 1, 1],
     "primitive": {"kind": "cylinder", "radius": 10, "height": 100, "rotation_segments": 8, "height_segments": 6},
     "tags": [{"type": 1024306, "params": {"1000": 5}}],
     "tracks": [{"placement": "rotation", "keys": [[0, [0, 0, 0]], [19, [0, 0, 45]]]}],
     "children": [{"name": "Bend", "type": "Kurvo2", "position": [0, 0, -50],
       "params": {"KURVO_SPLINE": "Path", "KURVO_UP_MODE": 0, "KURVO_UP_VECTOR": [1, 0, 0], "KURVO_RANDOM": 0.7,
                  "KURVO_TWIST_STRENGTH": 90, "KURVO_TWIST_CURVE": {"knots": [[0, 0], [1, 1]]}},
       "tracks": [{"param": "KURVO_OFFSET", "keys": [[0, 0], [19, 0.4]]}]}]},
    {"name": "Box", "type": "polygon", "position": [200, 0, 0], "rotation": [0, 0, 0], "scale": [1, 1, 1],
     "primitive": {"kind": "cube", "size": [20, 20, 20]},
     "tracks": [{"placement": "position", "interpolation": "step", "keys": [[0, [200, 0, 0]], [7, [250, 10, 0]]]}]}
  ]})";

struct Case {
  std::string scene;   // in the test's folder
  std::string frames;
  std::string output;  // file name
  int shards;
};

TEST(ShardMerge, MergedShardsAreTheBytesOfOneRun) {
  TempDir dir;
  dir.write("generated.json", kGenerated);
  std::filesystem::copy_file(std::filesystem::path(KURVO_EXAMPLES) / "tube-sliding.json", dir / "tube.json");
  // Every output kind with both scenes; the shard counts 1, 2, 3 and 7 each
  // twice, with the glTF's node animation and morph targets and the JSON's
  // scene text among them.
  const std::vector<Case> cases = {
      {"generated.json", "all", "g.pc2", 7},  {"generated.json", "0:19:2", "g.mdd", 3},
      {"generated.json", "all", "g.json", 2}, {"generated.json", "3:17", "g.glb", 1},
      {"tube.json", "0:72:3", "t.pc2", 2},    {"tube.json", "all", "t.mdd", 1},
      {"tube.json", "10:40:7", "t.json", 3},  {"tube.json", "all", "t.gltf", 7},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scene + " --frames " + c.frames + " -o " + c.output + ", " + std::to_string(c.shards) + " shards");
    const std::string single = "single-" + c.output, merged = "merged-" + c.output;
    std::filesystem::create_directories(dir / single);
    std::filesystem::create_directories(dir / merged);
    const ToolRun one = kurvo(dir, "eval " + c.scene + " --frames " + c.frames + " -o " + single + "/" + c.output);
    ASSERT_EQ(one.status, 0) << one.err;
    // The shards in reverse order: nothing may depend on the order they run in.
    for (int k = c.shards; k >= 1; --k) {
      const ToolRun shard = kurvo(dir, "eval " + c.scene + " --frames " + c.frames + " --shard " + std::to_string(k) +
                                           "/" + std::to_string(c.shards) + " -o " + merged + "/" + c.output);
      ASSERT_EQ(shard.status, 0) << shard.err;
    }
    const ToolRun merge = kurvo(dir, "merge " + merged + "/" + c.output);
    ASSERT_EQ(merge.status, 0) << merge.err;
    const auto expected = folder(dir / single), got = folder(dir / merged);
    ASSERT_GE(expected.size(), 1u);
    EXPECT_EQ(expected.size(), got.size()) << "the parts are removed after the merge";
    for (const auto& [name, content] : expected) {
      ASSERT_TRUE(got.count(name)) << name;
      EXPECT_TRUE(got.at(name) == content) << name << " differs from the single run's";
    }
  }
}

TEST(ShardMerge, RenderedShardsMergeIntoTheSamePictures) {
  TempDir dir;
  std::filesystem::copy_file(std::filesystem::path(KURVO_EXAMPLES) / "tube-sliding.json", dir / "tube.json");
  for (const auto& [output, shards] : std::vector<std::pair<std::string, int>>{{"t.gif", 3}, {"t.mp4", 2}}) {
    SCOPED_TRACE(output);
    const std::string render = "render tube.json --frames 4:40:2 --width 96 --height 64 --view side ";
    ASSERT_EQ(kurvo(dir, render + "-o one-" + output).status, 0);
    for (int k = 1; k <= shards; ++k)
      ASSERT_EQ(kurvo(dir, render + "--shard " + std::to_string(k) + "/" + std::to_string(shards) + " -o " + output).status, 0);
    ASSERT_EQ(kurvo(dir, "merge " + output).status, 0);
    EXPECT_TRUE(bytes(dir / output) == bytes(dir / ("one-" + output)));
  }
}

TEST(ShardMerge, SetsOfPartsThatDoNotMakeTheJobAreRefused) {
  TempDir dir;
  std::filesystem::copy_file(std::filesystem::path(KURVO_EXAMPLES) / "tube-sliding.json", dir / "tube.json");
  const auto shard = [&](const std::string& k, const std::string& extra = "") {
    return kurvo(dir, "eval tube.json --frames 0:72 --shard " + k + " -o t.pc2 " + extra);
  };
  for (const char* k : {"1/4", "2/4", "4/4"}) ASSERT_EQ(shard(k).status, 0);
  // A gap: shard 3 never ran; the message names its frames and its part.
  ToolRun merge = kurvo(dir, "merge t.pc2");
  EXPECT_EQ(merge.status, 1);
  EXPECT_NE(merge.err.find("frames 36 to 53 are missing (shard 3/4: t.pc2.part-3-of-4)"), std::string::npos)
      << merge.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "t.pc2"));
  // An overlap: shard 2 of a split into 3 holds frames of shards 2 and 3 of 4.
  ASSERT_EQ(shard("2/3").status, 0);
  merge = kurvo(dir, "merge t.pc2 t.pc2.part-1-of-4 t.pc2.part-2-of-4 t.pc2.part-2-of-3 t.pc2.part-4-of-4");
  EXPECT_EQ(merge.status, 1);
  EXPECT_NE(merge.err.find("both hold frames 24 to 35"), std::string::npos) << merge.err;
  // Foreign: another --scale, another scene.
  ASSERT_EQ(shard("3/4", "--scale 0.01").status, 0);
  merge = kurvo(dir, "merge t.pc2");
  EXPECT_EQ(merge.status, 1);
  EXPECT_NE(merge.err.find("a foreign part, made with --scale 0.00999999978, not 1"), std::string::npos) << merge.err;
  dir.write("other.json", bytes(dir / "tube.json") + " ");
  ASSERT_EQ(kurvo(dir, "eval other.json --frames 0:72 --shard 3/4 -o t.pc2").status, 0);
  merge = kurvo(dir, "merge t.pc2");
  EXPECT_NE(merge.err.find("made from another scene"), std::string::npos) << merge.err;
  // The right shard 3, but the scene edited since: the merge would mix two scenes.
  ASSERT_EQ(shard("3/4").status, 0);
  std::filesystem::remove(dir / "t.pc2.part-2-of-3");
  dir.write("tube.json", bytes(dir / "tube.json") + "\n");
  merge = kurvo(dir, "merge t.pc2 --keep-parts");
  EXPECT_NE(merge.err.find("has changed since the shards ran"), std::string::npos) << merge.err;
  // A part cut short (a copy that stopped half way) is refused, not merged.
  const std::string part = bytes(dir / "t.pc2.part-2-of-4");
  dir.write("t.pc2.part-2-of-4", part.substr(0, part.size() - 12));
  merge = kurvo(dir, "merge t.pc2");
  EXPECT_NE(merge.err.find("t.pc2.part-2-of-4: the part is damaged"), std::string::npos) << merge.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "t.pc2"));
}

TEST(ShardMerge, AnUntaggedRandomTwistIsNotSplit) {
  TempDir dir;
  std::string scene = kGenerated;
  const std::string tag = R"("tags": [{"type": 1024306, "params": {"1000": 5}}],)";
  scene.erase(scene.find(tag), tag.size());
  dir.write("untagged.json", scene);
  ToolRun run = kurvo(dir, "eval untagged.json --frames all --shard 2/3 -o u.pc2");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("object \"Bend\": KURVO_RANDOM is not 0 and \"Tube\" has no deformer tag"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("give \"Tube\" a deformer tag"), std::string::npos) << run.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "u.pc2.part-2-of-3"));
  // The farm refuses before it submits anything.
  run = kurvo(dir, "farm untagged.json --frames all --shards 3 -o u.pc2 --dry-run");
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.err.find("has no deformer tag"), std::string::npos) << run.err;
  // One shard is a single run: nothing to repeat.
  EXPECT_EQ(kurvo(dir, "eval untagged.json --frames all --shard 1/1 -o u.pc2").status, 0);
  // A random factor of 0 makes it repeatable too.
  const std::string random = "\"KURVO_RANDOM\": 0.7";
  scene.replace(scene.find(random), random.size(), "\"KURVO_RANDOM\": 0");
  dir.write("still.json", scene);
  EXPECT_EQ(kurvo(dir, "eval still.json --frames all --shard 2/3 -o u.pc2").status, 0);
}

// The scripts `kurvo farm --dry-run` prints, split by the "# FILE" line
// before each.
std::map<std::string, std::string> printedScripts(const std::string& text) {
  std::map<std::string, std::string> scripts;
  std::istringstream in(text);
  std::string line, name;
  while (std::getline(in, line)) {
    if (line.rfind("# /", 0) == 0) {
      name = std::filesystem::path(line.substr(2)).filename().string();
      continue;
    }
    if (line.rfind("# submit:", 0) == 0) break;
    if (!name.empty()) scripts[name] += line + "\n";
  }
  return scripts;
}

int runScript(const TempDir& dir, const std::string& script, int task) {
  dir.write("script.sh", script);
  const std::string line = "cd '" + dir.path().string() + "' && SLURM_ARRAY_TASK_ID=" + std::to_string(task) +
                           " SLURM_CPUS_PER_TASK=1 bash script.sh > script-out.txt 2>&1";
  const int raw = std::system(line.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128;
}

// What Slurm would run, run by bash alone: the array's tasks one by one and
// the merge give the single run's file, for paths that need quoting.
TEST(FarmScripts, TheBatchScriptsRunTheJobWithoutSlurm) {
  TempDir dir;
  std::filesystem::create_directories(dir / "it's here");
  std::filesystem::copy_file(std::filesystem::path(KURVO_EXAMPLES) / "tube-sliding.json",
                             dir / "it's here" / "tube $1.json");
  ASSERT_EQ(kurvo(dir, "eval \"it's here/tube \\$1.json\" --frames 0:30 -o single.pc2").status, 0);
  ASSERT_EQ(kurvo(dir, "farm \"it's here/tube \\$1.json\" --frames 0:30 --shards 3 -o \"out dir/t.pc2\" --dry-run").status,
            0);
  auto scripts = printedScripts(bytes(dir / "out.txt"));
  ASSERT_EQ(scripts.size(), 2u) << bytes(dir / "out.txt");
  EXPECT_NE(scripts["shards.sbatch"].find("#SBATCH --array=1-3"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "out dir")) << "a dry run writes nothing";
  std::filesystem::create_directories(dir / "out dir");
  for (int k = 3; k >= 1; --k) ASSERT_EQ(runScript(dir, scripts["shards.sbatch"], k), 0) << bytes(dir / "script-out.txt");
  ASSERT_EQ(runScript(dir, scripts["merge.sbatch"], 0), 0) << bytes(dir / "script-out.txt");
  EXPECT_TRUE(bytes(dir / "out dir" / "t.pc2") == bytes(dir / "single.pc2"));

  // A batch: each line's task is that line's own eval.
  dir.write("list.txt", "# scene, output\n\"it's here/tube $1.json\" \"b out/one.obj\"\n  " +
                            (std::filesystem::path(KURVO_EXAMPLES) / "tube-on-arc.json").string() + "\t\"b out/two.ply\"\n");
  ASSERT_EQ(kurvo(dir, "farm --batch list.txt --dry-run").status, 0);
  scripts = printedScripts(bytes(dir / "out.txt"));
  ASSERT_EQ(scripts.size(), 1u);
  std::filesystem::create_directories(dir / "b out");
  for (int k = 1; k <= 2; ++k) ASSERT_EQ(runScript(dir, scripts["batch.sbatch"], k), 0) << bytes(dir / "script-out.txt");
  EXPECT_NE(runScript(dir, scripts["batch.sbatch"], 3), 0) << "there is no third line";
  ASSERT_EQ(kurvo(dir, "eval \"it's here/tube \\$1.json\" -o one.obj").status, 0);
  ASSERT_EQ(kurvo(dir, "eval " + (std::filesystem::path(KURVO_EXAMPLES) / "tube-on-arc.json").string() + " -o two.ply").status,
            0);
  EXPECT_TRUE(bytes(dir / "b out" / "one.obj") == bytes(dir / "one.obj"));
  EXPECT_TRUE(bytes(dir / "b out" / "two.ply") == bytes(dir / "two.ply"));
}

// The split itself: for any range and shard count the shards tile the range
// in order, each non-empty, their lengths within one of each other.
TEST(ShardSplit, ShardsTileTheRange) {
  for (long long m = 1; m <= 40; ++m)
    for (long long n = 1; n <= m; ++n)
      for (long long step : {1LL, 3LL}) {
        const kurvo::animation::FrameRange range{-7, -7 + (m - 1) * step, step};
        long long next = range.first, shortest = m, longest = 0;
        for (long long k = 1; k <= n; ++k) {
          const auto part = kurvo::farm::shardRange(range, {k, n});
          ASSERT_EQ(part.first, next) << m << " frames, shard " << k << "/" << n;
          ASSERT_LE(part.first, part.last);
          ASSERT_EQ(part.step, step);
          const long long length = kurvo::farm::frameCount(part);
          shortest = std::min(shortest, length);
          longest = std::max(longest, length);
          next = part.last + step;
        }
        EXPECT_EQ(next, range.last + step);
        EXPECT_LE(longest - shortest, 1);
      }
  EXPECT_FALSE(kurvo::farm::splitProblem({0, 9, 1}, 11).empty());
}

}  // namespace
