// The deformer against the independent reference on random scenes: paths in
// general 3D position (linear, cubic, Bezier; open and closed; 2 to 1,000
// control points), every up mode with up vectors and rails in every
// direction, random placements of path, rail, object and deformer, and every
// setting of the deformer. Each scene is loaded from its scene file into the
// host, evaluated through the host's evaluation loop, and every point is
// compared with the reference.
//
// Reproduce or widen a run (see docs/testing.md):
//   KURVO_DIFF_SEED=7 KURVO_DIFF_SCENES=20000 build/bin/differential_tests
//   KURVO_DIFF_SEED=7 KURVO_DIFF_ONLY=1234 build/bin/differential_tests
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "core/host_session.h"
#include "differential_check.h"
#include "reference_deformation.h"
#include "scene/document.h"
#include "scene_file.h"
#include "scene_generator.h"

namespace kurvo::differential {
namespace {

class DifferentialTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::filesystem::path plugins = KURVO_PLUGIN_DIR;
    host::HostSession::Options options;
    options.quiet = true;
    session_ = std::make_unique<host::HostSession>(options);
    std::string error;
    ASSERT_TRUE(session_->loadPluginFolder(plugins, error)) << error;
  }

  // The points of "Object" after one evaluation of the scene; false (with a
  // message) when the scene does not load.
  bool Evaluate(const std::string &json, uint64_t index, std::vector<DeformedPoint> &points, std::string &error) {
    host::Document &doc = session_->newDocument();
    auto loaded = scenefile::loadSceneText(json, "scene-" + std::to_string(index) + ".json", doc, session_->state());
    if (!loaded.ok()) {
      error = loaded.message();
      return false;
    }
    doc.evaluate();
    points.clear();
    doc.forEachObject([&](host::Object &o) {
      if (o.name() == "Object")
        for (const auto &p : o.points()) points.push_back({p.x, p.y, p.z});
    });
    while (host::Object *o = doc.firstObject()) doc.destroy(o);
    return true;
  }

  std::unique_ptr<host::HostSession> session_;
};

TEST_F(DifferentialTest, RandomScenesMatchTheReference) {
  const RunSettings settings = SettingsFromEnvironment(600);
  size_t compared = 0, loose = 0, total = 0, failures = 0;
  double worstToLength = 0;
  for (uint64_t index = settings.first; index < settings.first + settings.count; ++index) {
    const reference::Scene scene = GenerateScene(settings.seed, index);
    const std::string json = reference::SceneJson(scene);
    std::vector<DeformedPoint> points;
    std::string error;
    bool ok = Evaluate(json, index, points, error);
    Comparison c;
    if (ok) {
      c = Compare(reference::ReferenceDeformation(scene), points);
      compared += c.compared;
      loose += c.loose;
      total += scene.objectPoints.size();
      worstToLength = std::max(worstToLength, c.worstErrorToLength);
      ok = c.failure.empty();
      error = c.failure;
    }
    if (std::getenv("KURVO_DIFF_STATS"))
      std::printf(
          "scene %llu: mode %d kind %d closed %d points %zu compared "
          "%zu loose %zu ratio %.3g error/L %.3g\n",
          static_cast<unsigned long long>(index), scene.deformer.upMode, static_cast<int>(scene.path.kind),
          scene.path.closed ? 1 : 0, scene.objectPoints.size(), c.compared, c.loose, c.worstRatio,
          c.worstErrorToLength);
    if (!ok) {
      const auto file = WriteFailureScene(settings, index, json);
      ADD_FAILURE() << "scene " << index << " of seed " << settings.seed << ": " << error
                    << "\n  reproduce: KURVO_DIFF_SEED=" << settings.seed << " KURVO_DIFF_ONLY=" << index << " "
                    << ::testing::internal::GetArgvs()[0] << "\n  scene file: " << file.string() << " (kurvo eval "
                    << file.string() << " -o out.json)";
      if (++failures >= 5) break;
    }
  }
  // Most points must be well enough conditioned for the tight tolerance. Up
  // mode 1 takes its up direction from the cross product of two path
  // positions 0.0001 of the path apart, which float precision defines only
  // loosely: about two thirds of its points are ill-conditioned, a tenth of
  // the others'.
  EXPECT_LT(loose * 4, total) << loose << " of " << total << " points ill-conditioned";
  std::printf(
      "[ differential ] seed %llu: %llu scenes, %zu points, %zu compared (%zu "
      "of them ill-conditioned), largest error %.3g of the path length\n",
      static_cast<unsigned long long>(settings.seed), static_cast<unsigned long long>(settings.count), total, compared,
      loose, worstToLength);
}

}  // namespace
}  // namespace kurvo::differential

namespace kurvo::differential {
namespace {

// Up mode 3 carries the frame without spinning it about the path: along a
// helix, whose own (Frenet) frame turns about the tangent by its torsion, the
// cross-section's X axis must not turn about the tangent at all. Measured on
// the deformed points themselves: columns at (0, 0, z), (1, 0, z) and
// (0, 1, z) give the path point, X and Y at each z.
TEST_F(DifferentialTest, FollowThePathDoesNotSpinTheCrossSection) {
  constexpr double kPi = 3.14159265358979323846;
  std::string points;
  for (int i = 0; i <= 64; ++i) {
    const double a = 4 * kPi * i / 64;  // two turns, radius 100, 400 high
    points += (i ? ", [" : "[") + std::to_string(100 * std::cos(a)) + ", " + std::to_string(100 * std::sin(a)) + ", " +
              std::to_string(400.0 * i / 64) + "]";
  }
  constexpr int kRings = 400;
  auto twist = [&](int upMode, double &worstStep) {
    std::string object;
    for (int i = 0; i < kRings; ++i) {
      const std::string z = std::to_string(1300.0 * i / kRings);
      object += std::string(i ? ", " : "") + "[0, 0, " + z + "], [1, 0, " + z + "], [0, 1, " + z + "]";
    }
    const std::string json =
        R"({"format": "kurvo-scene", "version": 1, "objects": [
        {"name": "Path", "type": "spline", "interpolation": "cubic", "points": [)" +
        points + R"(]},
        {"name": "Object", "type": "polygon", "points": [)" +
        object + R"(], "polygons": [[0, 1, 2]],
         "children": [{"name": "Bend", "type": "Kurvo2",
           "params": {"KURVO_SPLINE": "Path", "KURVO_UP_MODE": )" +
        std::to_string(upMode) + R"(, "KURVO_UP_VECTOR": [0, 0, 1]}}]}]})";
    std::vector<DeformedPoint> out;
    std::string error;
    EXPECT_TRUE(Evaluate(json, 0, out, error)) << error;
    double total = 0;
    worstStep = 0;
    for (int i = 0; i + 1 < kRings && out.size() == 3u * kRings; ++i) {
      auto axis = [&](int ring, int k) {
        const DeformedPoint &p = out[3 * ring], &q = out[3 * ring + k];
        return reference::DVec3(q.x - p.x, q.y - p.y, q.z - p.z);
      };
      // Turn of X about the tangent from one ring to the next (against the
      // mean Y of the two rings, so that the bend itself cancels out).
      const double step = reference::Dot(axis(i + 1, 1) - axis(i, 1), (axis(i, 2) + axis(i + 1, 2)) * 0.5);
      total += step;
      worstStep = std::max(worstStep, std::fabs(step));
    }
    return total;
  };
  double worstFollow, worstShape;
  const double follow = twist(3, worstFollow);
  const double shape = twist(1, worstShape);
  // The path's own frame turns by about its torsion times its length
  // (0.0029 x 1300 = 3.8 radians); the carried frame by nothing.
  EXPECT_GT(std::fabs(shape), 1.0);
  EXPECT_LT(std::fabs(follow), 1e-3);
  EXPECT_LT(worstFollow, 1e-4);
}

}  // namespace
}  // namespace kurvo::differential
