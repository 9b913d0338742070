// The deformer against the independent reference on a fixed sample of the
// random scenes, each built straight into a host document (scene_builder.h)
// instead of read from its scene file, and evaluated through the host's
// evaluation loop with the module loaded from the plug-in folder. This runs
// where the scene-file layer is not built: the 32-bit suite under qemu-i386
// (scripts/x86.sh).
//
// Reproduce or widen a run like the scene-file suite:
//   KURVO_DIFF_SEED=7 KURVO_DIFF_SCENES=2000 build-x86/bin/direct_differential_tests
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "core/host_session.h"
#include "differential_check.h"
#include "reference_deformation.h"
#include "scene/document.h"
#include "scene_builder.h"
#include "scene_generator.h"

namespace kurvo::differential {
namespace {

TEST(DirectDifferential, SampleOfRandomScenesMatchesTheReference) {
  host::HostSession::Options options;
  options.quiet = true;
  host::HostSession session(options);
  std::string error;
  ASSERT_TRUE(session.loadPluginFolder(KURVO_PLUGIN_DIR, error)) << error;

  const RunSettings settings = SettingsFromEnvironment(120);
  size_t compared = 0, failures = 0;
  double worstToLength = 0;
  for (uint64_t index = settings.first; index < settings.first + settings.count; ++index) {
    const reference::Scene scene = GenerateScene(settings.seed, index);
    host::Document& doc = session.newDocument();
    host::Object* object = BuildScene(scene, doc);
    doc.evaluate();
    std::vector<DeformedPoint> points;
    for (const auto& p : object->points()) points.push_back({p.x, p.y, p.z});
    while (host::Object* o = doc.firstObject()) doc.destroy(o);

    const Comparison c = Compare(reference::ReferenceDeformation(scene), points);
    compared += c.compared;
    worstToLength = std::max(worstToLength, c.worstErrorToLength);
    if (!c.failure.empty()) {
      const auto file = WriteFailureScene(settings, index, reference::SceneJson(scene));
      ADD_FAILURE() << "scene " << index << " of seed " << settings.seed << ": " << c.failure
                    << "\n  reproduce: KURVO_DIFF_SEED=" << settings.seed << " KURVO_DIFF_ONLY=" << index << " "
                    << ::testing::internal::GetArgvs()[0] << "\n  scene file: " << file.string();
      if (++failures >= 5) break;
    }
  }
  EXPECT_GT(compared, 0u);
  std::printf("[ differential ] seed %llu: %llu scenes built directly, %zu points compared, largest error %.3g of the path length\n",
              static_cast<unsigned long long>(settings.seed), static_cast<unsigned long long>(settings.count), compared,
              worstToLength);
}

}  // namespace
}  // namespace kurvo::differential
