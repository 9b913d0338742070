// The bars of large mesh files read and written, as a person at a terminal
// sees them (the tool run on a pseudo-terminal by script(1)), and their
// absence everywhere else: in a pipe, with --quiet, in the files written.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tool_run.h"

namespace {

// ~160000 points: an OBJ of about 15 MB, above both the size and the count at
// which a file shows its bar.
void write_large_mesh(const TempDir& dir) {
  dir.write("plane.json",
            R"({"format": "kurvo-scene", "version": 1, "objects": [{"name": "P", "type": "polygon",)"
            R"( "primitive": {"kind": "plane", "width_segments": 400, "depth_segments": 400}}]})");
  const ToolRun made = runKurvo(dir, "eval", "plane.json -o large.obj", false);
  ASSERT_EQ(made.status, 0) << made.err;
  EXPECT_EQ(made.err, "") << "no bar, no line, when stderr is not a terminal";
  EXPECT_EQ(made.out.find('['), std::string::npos) << made.out;
  dir.write("large.json",
            R"({"format": "kurvo-scene", "version": 1, "objects": [{"name": "L", "type": "polygon", "mesh": "large.obj"}]})");
}

TEST(FileProgress, LargeFilesShowTheirBarsOnATerminalOnly) {
  TempDir dir;
  write_large_mesh(dir);
  for (const char* out : {"out.ply", "out.glb", "out.obj"}) {
    SCOPED_TRACE(out);
    // stdout and stderr both on the pseudo-terminal; what it showed is kept in screen.txt.
    const std::string command = std::string(KURVO_TOOL) + " eval --plugins '" + KURVO_PLUGIN_DIR + "' large.json -o " + out;
    const std::string line = "cd '" + dir.path().string() + "' && script -qec \"" + command + "\" screen.txt > /dev/null";
    ASSERT_EQ(std::system(line.c_str()), 0);
    const std::string screen = readWhole(dir / "screen.txt");
    EXPECT_NE(screen.find("reading large.obj ["), std::string::npos) << screen;
    EXPECT_NE(screen.find(" MB\r\n"), std::string::npos) << "the read counts megabytes and ends its line: " << screen;
    const std::string writing = std::string("writing ") + out + " [";
    const size_t at = screen.rfind(writing);
    ASSERT_NE(at, std::string::npos) << screen;
    const std::string last = screen.substr(screen.rfind('\r', screen.find("\r\n", at) - 1) + 1);
    EXPECT_NE(last.find("] 100% "), std::string::npos) << last;
    // The file holds none of it.
    EXPECT_EQ(readWhole(dir / out).find("writing"), std::string::npos);
  }
  // --quiet on a terminal: no bar.
  const std::string quiet = std::string(KURVO_TOOL) + " eval --quiet --plugins '" + KURVO_PLUGIN_DIR +
                            "' large.json -o quiet.ply";
  ASSERT_EQ(std::system(("cd '" + dir.path().string() + "' && script -qec \"" + quiet + "\" quiet.txt > /dev/null").c_str()), 0);
  const std::string quiet_screen = readWhole(dir / "quiet.txt");
  EXPECT_EQ(quiet_screen.find("reading large.obj"), std::string::npos) << quiet_screen;
  EXPECT_EQ(quiet_screen.find("writing quiet.ply"), std::string::npos) << quiet_screen;
  // A pipe: nothing on stderr.
  const ToolRun piped = runKurvo(dir, "eval", "large.json -o piped.ply", false);
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.err, "");
}

// A file the import library reads (PLY) is read in a child process, which
// shares the terminal: its bar counts the megabytes the library has taken
// from the file and ends its line before anything else is written.
TEST(FileProgress, TheImportLibrarysReadShowsItsBarFromTheChild) {
  TempDir dir;
  // ~250000 points and faces: a binary PLY of about 10 MB.
  dir.write("plane.json",
            R"({"format": "kurvo-scene", "version": 1, "objects": [{"name": "P", "type": "polygon",)"
            R"( "primitive": {"kind": "plane", "width_segments": 500, "depth_segments": 500}}]})");
  ASSERT_EQ(runKurvo(dir, "eval", "plane.json -o large.ply").status, 0);
  ASSERT_GT(std::filesystem::file_size(dir / "large.ply"), 8'000'000u);
  dir.write("large.json",
            R"({"format": "kurvo-scene", "version": 1, "objects": [{"name": "L", "type": "polygon", "mesh": "large.ply"}]})");
  const std::string command = std::string(KURVO_TOOL) + " eval --plugins '" + KURVO_PLUGIN_DIR + "' large.json -o out.stl";
  ASSERT_EQ(std::system(("cd '" + dir.path().string() + "' && script -qec \"" + command + "\" screen.txt > /dev/null").c_str()), 0);
  const std::string screen = readWhole(dir / "screen.txt");
  const size_t bar = screen.find("reading large.ply [");
  ASSERT_NE(bar, std::string::npos) << screen;
  const size_t end = screen.find("\r\n", bar);
  ASSERT_NE(end, std::string::npos) << screen;
  const std::string last = screen.substr(screen.rfind('\r', end - 1) + 1, end - screen.rfind('\r', end - 1) - 1);
  EXPECT_NE(last.find("] 100% 10."), std::string::npos) << last;
  EXPECT_TRUE(last.ends_with(" MB")) << last;
  // In a pipe, the child draws nothing either.
  const ToolRun piped = runKurvo(dir, "eval", "large.json -o piped.stl", false);
  ASSERT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.err, "");
}

}  // namespace
