// A scene for the differential tests: one path (optionally below a moved
// null), an optional rail, one polygon object with the deformer below it, and
// every deformer setting. All numbers are floats, so the scene file written
// from it (SceneJson) loads into exactly these values.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "reference_curve.h"
#include "reference_math.h"
#include "reference_spline.h"

namespace kurvo::reference {

struct Float3 {
  float x = 0, y = 0, z = 0;
  DVec3 d() const { return {x, y, z}; }
};

// Placement relative to the parent: a matrix, or position, rotation in
// degrees (about X, then Y, then Z) and scale.
struct Placement {
  bool asMatrix = false;
  Float3 off, ax{1, 0, 0}, ay{0, 1, 0}, az{0, 0, 1};  // asMatrix
  Float3 position, rotation, scale{1, 1, 1};          // otherwise
};

struct SplineInput {
  Kind kind = Kind::Linear;
  bool closed = false;
  std::vector<Float3> points, tangentsIn, tangentsOut;
  SplineShape Shape() const;
};

struct CurveInput {
  std::vector<std::pair<float, float>> knots;
  std::vector<bool> linearKnots;  // empty or one per knot
  bool smooth = false;
  std::optional<float> round;  // smooth curves only; missing: 1
  RefCurve Curve() const;
};

struct DeformerSettings {
  float offset = 0, rotation = 0, random = 0;
  bool stretch = false;
  float stretchFactor = 0;
  int32_t upMode = 0;
  Float3 upVector{0, 1, 0};
  float scaleStrength = 1, twistStrength = 1, profileStrength = 1;
  std::optional<CurveInput> scaleCurve, twistCurve,
      profileCurve;  // missing: the defaults
};

struct Scene {
  SplineInput path;
  Placement pathPlacement;
  std::optional<Placement> pathParent;  // the path sits below a null placed so
  std::optional<SplineInput> rail;
  Placement railPlacement;
  std::vector<Float3> objectPoints;
  std::vector<std::array<int32_t, 3>> triangles;
  Placement objectPlacement, deformerPlacement;
  DeformerSettings deformer;
  std::optional<int32_t> tagIndex;  // a deformer tag on the object
  std::vector<float> weights;       // a vertex map, or none
  bool deformOn = true;
};

// The scene as a scene file (objects "Path", "Rail", "Object", "Bend").
std::string SceneJson(const Scene &scene);

// The placement as a matrix, computed here from its parts.
DMat LocalMatrix(const Placement &placement);

}  // namespace kurvo::reference
