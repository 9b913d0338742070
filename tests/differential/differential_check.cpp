#include "differential_check.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace kurvo::differential {

Comparison Compare(const reference::Expected &expected, const std::vector<DeformedPoint> &actual) {
  Comparison c;
  if (actual.size() != expected.points.size()) {
    c.failure = "the object has " + std::to_string(actual.size()) + " points, the reference " +
                std::to_string(expected.points.size());
    return c;
  }
  for (size_t i = 0; i < actual.size(); ++i) {
    const reference::ExpectedPoint &e = expected.points[i];
    if (!e.tight) ++c.loose;
    if (!std::isfinite(e.tolerance)) continue;  // a frame that float precision leaves undefined
    ++c.compared;
    const reference::DVec3 got(actual[i].x, actual[i].y, actual[i].z);
    // The difference in world units: the object's own space may be scaled.
    const double error = reference::Length(reference::ApplyDirection(expected.objectMatrix, got - e.position));
    // An ill-conditioned point's tolerance is an estimate from a few samples
    // around a corner or of a barely defined frame; it is held to four times
    // that, which still catches any gross fault.
    const double tolerance = e.tight ? e.tolerance : 4 * e.tolerance;
    const double ratio = tolerance > 0 ? error / tolerance : (error > 0 ? INFINITY : 0);
    if (!(ratio <= c.worstRatio) || std::isnan(error)) {
      c.worstRatio = std::isnan(error) ? INFINITY : ratio;
      c.worst = i;
      c.worstError = error;
    }
    if (e.tight && expected.worldPathLength > 0)
      c.worstErrorToLength = std::fmax(c.worstErrorToLength, error / expected.worldPathLength);
  }
  if (c.worstRatio > 1) {
    const auto &e = expected.points[c.worst];
    std::ostringstream s;
    s.precision(9);
    s << "point " << c.worst << " is (" << actual[c.worst].x << ", " << actual[c.worst].y << ", " << actual[c.worst].z
      << "), the reference says (" << e.position.x << ", " << e.position.y << ", " << e.position.z << "): off by "
      << c.worstError << " world units, tolerance " << (e.tight ? e.tolerance : 4 * e.tolerance) << " (path length "
      << expected.worldPathLength << ")";
    const reference::DVec3 w = reference::Apply(
        expected.objectMatrix, reference::DVec3(actual[c.worst].x, actual[c.worst].y, actual[c.worst].z));
    s << " [world (" << w.x << ", " << w.y << ", " << w.z << ")]";
    c.failure = s.str();
  }
  return c;
}

RunSettings SettingsFromEnvironment(uint64_t defaultCount) {
  RunSettings s;
  s.count = defaultCount;
  if (const char *v = std::getenv("KURVO_DIFF_SEED")) s.seed = std::strtoull(v, nullptr, 10);
  if (const char *v = std::getenv("KURVO_DIFF_SCENES")) s.count = std::strtoull(v, nullptr, 10);
  if (const char *v = std::getenv("KURVO_DIFF_ONLY")) {
    s.first = std::strtoull(v, nullptr, 10);
    s.count = 1;
  }
  if (const char *v = std::getenv("KURVO_DIFF_OUT"))
    s.out = v;
  else
    s.out = std::filesystem::temp_directory_path() / "kurvo-differential";
  return s;
}

std::filesystem::path WriteFailureScene(const RunSettings &settings, uint64_t index, const std::string &json) {
  std::error_code ec;
  std::filesystem::create_directories(settings.out, ec);
  const auto file = settings.out / ("scene-" + std::to_string(settings.seed) + "-" + std::to_string(index) + ".json");
  std::ofstream(file) << json << '\n';
  return file;
}

}  // namespace kurvo::differential
