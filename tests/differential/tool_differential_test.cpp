// A sample of the random scenes through the whole tool: each is written as a
// scene file, run with `kurvo eval SCENE -o out.json`, and the
// "deformed_points" it writes are compared with the reference. This covers
// the scene reader, the evaluation loop and the scene writer together. The
// same run to `-o out.obj --raw-axes` (a mesh export, which takes the
// geometry over from the finished document) must give the reference's
// points in world space.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "differential_check.h"
#include "reference_deformation.h"
#include "scene_generator.h"

namespace kurvo::differential {
namespace {

namespace fs = std::filesystem;

// The written points of the top-level object "Object": its deformed points,
// or its own points when no deformer changed it.
std::vector<DeformedPoint> ReadObjectPoints(const fs::path &file) {
  std::ifstream in(file);
  const nlohmann::json scene = nlohmann::json::parse(in);
  std::vector<DeformedPoint> points;
  for (const auto &object : scene.at("objects")) {
    if (object.at("name") != "Object") continue;
    const auto &list = object.contains("deformed_points") ? object["deformed_points"] : object.at("points");
    for (const auto &p : list) points.push_back({p.at(0).get<double>(), p.at(1).get<double>(), p.at(2).get<double>()});
  }
  return points;
}

// The points of object "Object" in a written OBJ, in order.
std::vector<DeformedPoint> ReadObjPoints(const fs::path &file) {
  std::ifstream in(file);
  std::vector<DeformedPoint> points;
  std::string line;
  bool inside = false;
  while (std::getline(in, line)) {
    if (line.rfind("o ", 0) == 0) inside = line == "o Object";
    if (!inside || line.rfind("v ", 0) != 0) continue;
    DeformedPoint p{};
    std::istringstream(line.substr(2)) >> p.x >> p.y >> p.z;
    points.push_back(p);
  }
  return points;
}

// The reference in world space: each point through the object's matrix.
reference::Expected InWorld(reference::Expected expected) {
  for (reference::ExpectedPoint &p : expected.points) p.position = reference::Apply(expected.objectMatrix, p.position);
  expected.objectMatrix = reference::DMat{};
  return expected;
}

TEST(ToolDifferentialTest, SampledScenesThroughKurvoEvalMatchTheReference) {
  RunSettings settings = SettingsFromEnvironment(24);
  const fs::path dir = fs::temp_directory_path() / ("kurvo-tool-differential-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  int failures = 0;
  for (uint64_t n = 0; n < settings.count && failures < 3; ++n) {
    // Spread the sample over the in-process run's scenes.
    const uint64_t index = settings.count == 1 ? settings.first : settings.first + n * 25;
    const reference::Scene scene = GenerateScene(settings.seed, index);
    const std::string json = reference::SceneJson(scene);
    const fs::path in = dir / "scene.json", out = dir / "out.json", mesh = dir / "out.obj";
    std::ofstream(in) << json;
    fs::remove(out);
    fs::remove(mesh);
    const std::string command = std::string(KURVO_TOOL) + " eval --quiet --plugins " + KURVO_PLUGIN_DIR + " " +
                                in.string() + " -o ";
    std::string failure;
    if (std::system((command + out.string()).c_str()) != 0) {
      failure = "kurvo eval failed";
    } else if (std::system((command + mesh.string() + " --raw-axes").c_str()) != 0) {
      failure = "kurvo eval to OBJ failed";
    } else {
      const reference::Expected expected = reference::ReferenceDeformation(scene);
      failure = Compare(expected, ReadObjectPoints(out)).failure;
      if (failure.empty()) {
        failure = Compare(InWorld(expected), ReadObjPoints(mesh)).failure;
        if (!failure.empty()) failure = "out.obj: " + failure;
      }
    }
    if (!failure.empty()) {
      ++failures;
      ADD_FAILURE() << "scene " << index << " of seed " << settings.seed << ": " << failure
                    << "\n  scene file: " << WriteFailureScene(settings, index, json).string();
    }
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace kurvo::differential
