#include "object_frames.h"

#include <cmath>

#include "axis_convention.h"

namespace kurvo::media {
namespace {

bool finite(const Vector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

}  // namespace

ObjectFrames::ObjectFrames(const AnimatedMesh& mesh, const ExportOptions& options) : mesh_(mesh), options_(options) {
  for (const Matrix& placement : mesh.placements) {
    std::optional<NodeTransform> t = node_transform(placement, !options.raw_axes, options.scale);
    if (!t) {
      transforms_.clear();
      return;
    }
    // q and -q are the same turn; taking the sign nearer the previous key
    // makes a player turn the short way round between them.
    if (!transforms_.empty()) {
      const std::array<float, 4>& before = transforms_.back().rotation;
      float dot = 0.0f;
      for (size_t i = 0; i < 4; ++i) dot += before[i] * t->rotation[i];
      if (dot < 0.0f)
        for (float& c : t->rotation) c = -c + 0.0f;
    }
    transforms_.push_back(*t);
  }
}

bool ObjectFrames::deformed() const {
  for (size_t s = 1; s < mesh_.points.size(); ++s) {
    if (mesh_.points[s] != mesh_.points[0]) return true;
    if (baked() && mesh_.placements[s] != mesh_.placements[0]) return true;
  }
  return false;
}

bool ObjectFrames::points_at(size_t sample, std::vector<Vector>& out) const {
  const std::vector<Vector>& local = mesh_.points[sample];
  const Matrix& placement = mesh_.placements[sample];
  out.resize(local.size());
  for (size_t i = 0; i < local.size(); ++i) {
    Vector p = baked() ? placement * local[i] : local[i];
    if (!options_.raw_axes) p = to_file_frame(p, FileFrame::y_up_right_handed);
    if (options_.scale != 1.0f) p = p * options_.scale;
    if (!finite(p)) return false;
    out[i] = p;
  }
  return true;
}

std::vector<Polygon> ObjectFrames::polygons() const {
  std::vector<Polygon> out = mesh_.polygons;
  if (!options_.raw_axes)
    for (Polygon& q : out) q = reversed(q);
  return out;
}

}  // namespace kurvo::media
