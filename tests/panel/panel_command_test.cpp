// kurvo panel, run as a user would run it.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "panel_style.h"

namespace kurvo::panel::test {
namespace {

const char* kScene = R"({"format": "kurvo-scene", "version": 1, "objects": [
  {"name": "Path", "type": "spline", "points": [[0, 0, 0], [0, 100, 200], [0, 0, 400]]},
  {"name": "Bar", "type": "polygon",
   "primitive": {"kind": "cube", "size": [20, 20, 400], "segments": [1, 1, 8]},
   "children": [{"name": "Bend", "type": "Kurvo2", "params": {"KURVO_SPLINE": "Path", "KURVO_UP_MODE": 1}}]}
]})";

struct ToolRun {
  int status = -1;
  std::string out, err;
};

class PanelCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = std::filesystem::temp_directory_path() / ("kurvo_panel_cmd_" + std::to_string(::getpid()) + "_" +
                                                    ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    scene = dir / "scene.json";
    std::ofstream(scene) << kScene;
    picture = dir / "panel.png";
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  ToolRun run(const std::string& args) {
    const auto out = dir / "stdout.txt", err = dir / "stderr.txt";
    const std::string command = std::string("'") + KURVO_TOOL + "' panel '" + scene.string() + "' -o '" +
                                picture.string() + "' " + args + " >'" + out.string() + "' 2>'" + err.string() + "'";
    ToolRun r;
    const int raw = std::system(command.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = slurp(out);
    r.err = slurp(err);
    return r;
  }
  static std::string slurp(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }

  std::filesystem::path dir, scene, picture;
};

// Where the title bar sits: below the panel's title and the first group's bar.
constexpr int32_t kBarTop = style::kTitleHeight + style::kGroupHeight + 2;

TEST_F(PanelCommand, WritesThePicture) {
  const ToolRun r = run("--object Bend --pointer 60," + std::to_string(kBarTop + 8));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(picture));
  EXPECT_NE(r.out.find("wrote "), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Open HTML"), std::string::npos) << "pointing opens nothing";
}

TEST_F(PanelCommand, AClickInTheLinkZonePrintsTheAddress) {
  const ToolRun r = run("--object Bend --click 60," + std::to_string(kBarTop + 8));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Open HTML: https://www.example.com/kurvo2"), std::string::npos) << r.out;
  const ToolRun outside = run("--object Bend --click 20," + std::to_string(kBarTop + 8));
  ASSERT_EQ(outside.status, 0) << outside.err;
  EXPECT_EQ(outside.out.find("Open HTML"), std::string::npos) << outside.out;
}

TEST_F(PanelCommand, MistakesAreNamedAndWriteNothing) {
  struct Case {
    std::string args, expected;
  };
  for (const Case& c : {Case{"--object Nobody", "no object named \"Nobody\""},
                        Case{"--object Bar", "has no attribute description"},
                        Case{"--object Bend --pointer 5", "--pointer: \"5\" is not X,Y"},
                        Case{"--object Bend --click 5,x", "--click: \"5,x\" is not X,Y"},
                        Case{"--object Bend --pointer 99999,5", "lies outside the panel"},
                        Case{"--object Bend --click -1,5", "lies outside the panel"}}) {
    const ToolRun r = run(c.args);
    EXPECT_EQ(r.status, 1) << c.args;
    EXPECT_NE(r.err.find(c.expected), std::string::npos) << c.args << ": " << r.err;
    EXPECT_FALSE(std::filesystem::exists(picture)) << c.args;
  }
}

}  // namespace
}  // namespace kurvo::panel::test
