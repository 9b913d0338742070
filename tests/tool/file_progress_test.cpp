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

}  // namespace
