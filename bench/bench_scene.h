// Scenes for the benchmarks: a host session with the module started
// in-process, a point cloud under a deformer, a path (and a rail) of a chosen
// interpolation and number of control points.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "core/host_session.h"
#include "scene/document.h"
#include "scene/node.h"

namespace kurvo::bench {

struct SceneOptions {
  int32_t points = 10000;    // mesh points
  int32_t interpolation = 1; // path and rail: 0 linear, 1 cubic
  int32_t controls = 8;      // control points of the path and the rail
  int32_t upMode = 0;        // KURVO_UP_MODE
  bool shapedCurves = false; // false: the deformer's flat default curves
  bool scattered = false;    // true: the mesh's points in a random order, so no
                             // two neighbours share a path position
};

// One deformer scene. The mesh's rest points are kept so that every timed run
// starts from the same input.
class DeformScene {
 public:
  explicit DeformScene(const SceneOptions& options);
  ~DeformScene();

  // Puts the rest points back (not part of the timed work).
  void Restore();
  // One ModifyObject call, as the evaluation loop makes it.
  void Modify();

  host::Object* path() const { return path_; }
  int32_t pointCount() const { return static_cast<int32_t>(rest_.size()); }
  // False when the run left a point that is not finite (a broken scene).
  bool AllFinite() const;

 private:
  std::unique_ptr<host::HostSession> session_;
  host::Document* doc_ = nullptr;
  host::Object* mesh_ = nullptr;
  host::Object* deformer_ = nullptr;
  host::Object* path_ = nullptr;
  std::vector<Vector> rest_;
};

// A path spline: a wave in X and Y that climbs along +Z from 0 to 400,
// through `controls` control points, shifted by `shift`.
host::Object* MakeWavePath(host::Document& doc, int32_t interpolation, int32_t controls, Vector shift);

}  // namespace kurvo::bench
