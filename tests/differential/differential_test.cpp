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
