#include "frame_series.h"

namespace kurvo::media {

std::vector<Vector> world_points(const AnimatedMesh& mesh, size_t sample) {
  const Matrix& m = mesh.placements[sample];
  const std::vector<Vector>& local = mesh.points[sample];
  std::vector<Vector> world;
  world.reserve(local.size());
  for (const Vector& p : local) world.push_back(m * p);
  return world;
}

}  // namespace kurvo::media
