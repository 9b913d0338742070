// Comparing what the deformer made of a scene with the reference.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "reference_deformation.h"

namespace kurvo::differential {

struct Comparison {
  size_t compared = 0;            // points with a finite tolerance
  size_t loose = 0;               // of those, ill-conditioned ones (tolerance above 1e-4 of
                                  // the path length)
  size_t worst = 0;               // index of the point with the largest error / tolerance
  double worstRatio = 0;          // that error / tolerance (<= 1 passes)
  double worstError = 0;          // in world units
  double worstErrorToLength = 0;  // largest error / world path length
  std::string failure;            // empty when every point is within its tolerance
};

struct DeformedPoint {
  double x, y, z;
};

Comparison Compare(const reference::Expected &expected, const std::vector<DeformedPoint> &actual);

// The run settings: KURVO_DIFF_SEED (default 20261208), KURVO_DIFF_SCENES
// (default `defaultCount`), KURVO_DIFF_ONLY (one scene index),
// KURVO_DIFF_OUT (folder for the scene files of failures; default: the
// system's temporary folder).
struct RunSettings {
  uint64_t seed = 20261208;
  uint64_t first = 0, count = 0;
  std::filesystem::path out;
};
RunSettings SettingsFromEnvironment(uint64_t defaultCount);

// Writes the scene of a failure where `kurvo eval` can run it; answers the
// path.
std::filesystem::path WriteFailureScene(const RunSettings &settings, uint64_t index, const std::string &json);

}  // namespace kurvo::differential
