// The host's spline machinery (span tables, arc-length tables) against the
// reference's own splines, on the random paths of the differential scenes:
// the point at every arc-length fraction must agree.
#include <gtest/gtest.h>

#include "arc_length.h"
#include "differential_check.h"
#include "scene_generator.h"
#include "spline.h"

namespace kurvo::differential {
namespace {

TEST(PathDifferentialTest, ArcLengthPositionsMatchTheReference) {
  const RunSettings settings = SettingsFromEnvironment(600);
  int failures = 0;
  for (uint64_t index = settings.first; index < settings.first + settings.count && failures < 5; ++index) {
    const reference::Scene scene = GenerateScene(settings.seed, index);
    geo::Spline spline;
    spline.interpolation = static_cast<geo::Interpolation>(scene.path.kind);
    spline.closed = scene.path.closed;
    for (const auto &p : scene.path.points) spline.points.push_back(Vector(p.x, p.y, p.z));
    for (const auto &t : scene.path.tangentsIn) spline.tangentsIn.push_back(Vector(t.x, t.y, t.z));
    for (const auto &t : scene.path.tangentsOut) spline.tangentsOut.push_back(Vector(t.x, t.y, t.z));
    const geo::SegmentView seg = geo::MakeSegmentView(spline, 0);
    geo::ArcLengthTable table;
    ASSERT_TRUE(table.Build(seg));
    const reference::ArcPath path(scene.path.Shape());
    const double L = path.Length();
    EXPECT_NEAR(table.Length(), L, 2e-6 * L) << "scene " << index;
    double worst = 0, worstAt = 0;
    for (int i = 0; i <= 400; ++i) {
      const double u = i / 400.0;
      const Vector got = geo::SplinePoint(seg, table.UniformToNatural(static_cast<float>(u)));
      const reference::DVec3 want = path.Point(static_cast<float>(u));
      const double error = reference::Length(reference::DVec3(got.x, got.y, got.z) - want);
      if (error > worst) worst = error, worstAt = u;
    }
    if (worst > 4e-6 * L) {
      ++failures;
      ADD_FAILURE() << "scene " << index << " (kind " << static_cast<int>(scene.path.kind) << ", closed "
                    << scene.path.closed << ", " << scene.path.points.size() << " points): off by " << worst << " at "
                    << worstAt << " of a path " << L << " long";
    }
  }
}

}  // namespace
}  // namespace kurvo::differential
