#include "mesh_weld.h"

#include <cstring>
#include <unordered_map>

namespace kurvo::media {
namespace {

// Coordinates compared by value: -0 and +0 are one place.
struct PlaceKey {
  float x, y, z;
  bool operator==(const PlaceKey& o) const { return x == o.x && y == o.y && z == o.z; }
};

struct PlaceHash {
  size_t operator()(const PlaceKey& k) const {
    const auto bits = [](float v) {
      if (v == 0.0f) v = 0.0f;
      uint32_t b;
      std::memcpy(&b, &v, 4);
      return static_cast<size_t>(b);
    };
    return bits(k.x) * 73856093u ^ bits(k.y) * 19349663u ^ bits(k.z) * 83492791u;
  }
};

}  // namespace

size_t weld_points(Mesh& mesh) {
  std::unordered_map<PlaceKey, int32_t, PlaceHash> first;
  first.reserve(mesh.points.size());
  std::vector<int32_t> remap(mesh.points.size());
  std::vector<Vector> kept;
  kept.reserve(mesh.points.size());
  for (size_t i = 0; i < mesh.points.size(); ++i) {
    const Vector& p = mesh.points[i];
    const auto [it, inserted] = first.emplace(PlaceKey{p.x, p.y, p.z}, static_cast<int32_t>(kept.size()));
    if (inserted) {
      kept.push_back(p);
      // The first point at a place gives the joined point its colour.
      if (!mesh.point_colours.empty()) mesh.point_colours[kept.size() - 1] = mesh.point_colours[i];
    }
    remap[i] = it->second;
  }
  for (int32_t& c : mesh.corners) c = remap[c];
  if (!mesh.point_colours.empty()) mesh.point_colours.resize(kept.size());
  const size_t removed = mesh.points.size() - kept.size();
  mesh.points = std::move(kept);
  return removed;
}

}  // namespace kurvo::media
