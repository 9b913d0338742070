#include "mesh_optimize.h"

#include <array>
#include <cmath>
#include <cstring>
#include <unordered_map>

namespace kurvo::geo {

namespace {

struct Cell {
  int64_t x, y, z;
  bool operator==(const Cell&) const = default;
};

struct CellHash {
  size_t operator()(const Cell& c) const {
    uint64_t h = static_cast<uint64_t>(c.x) * 0x9E3779B97F4A7C15ull;
    h ^= static_cast<uint64_t>(c.y) + 0x7F4A7C159E3779B9ull + (h << 6) + (h >> 2);
    h ^= static_cast<uint64_t>(c.z) + 0x94D049BB133111EBull + (h << 6) + (h >> 2);
    return static_cast<size_t>(h);
  }
};

bool IsFinite(const Vector& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

int64_t CellCoord(float v, double cellSize) {
  const double c = std::floor(static_cast<double>(v) / cellSize);
  constexpr double kLimit = 4.0e18;  // far from the int64 edge; distances are still checked
  return static_cast<int64_t>(c < -kLimit ? -kLimit : (c > kLimit ? kLimit : c));
}

int64_t ExactCoord(float v) {
  const float positiveZero = v + 0.0f;  // -0 and +0 are the same place
  int32_t bits;
  std::memcpy(&bits, &positiveZero, sizeof bits);
  return bits;
}

double DistanceSquared(const Vector& a, const Vector& b) {
  const double dx = static_cast<double>(a.x) - b.x, dy = static_cast<double>(a.y) - b.y,
               dz = static_cast<double>(a.z) - b.z;
  return dx * dx + dy * dy + dz * dz;
}

// For every point the index of the earliest point it merges into (itself when kept).
std::vector<int32_t> MergeTargets(const std::vector<Vector>& points, float tolerance) {
  const auto n = static_cast<int32_t>(points.size());
  std::vector<int32_t> target(n);
  std::vector<int32_t> nextInCell(n, -1);
  std::unordered_map<Cell, int32_t, CellHash> firstInCell;  // first, then via nextInCell, in index order
  std::unordered_map<Cell, int32_t, CellHash> lastInCell;
  firstInCell.reserve(points.size());
  lastInCell.reserve(points.size());
  const bool exact = !(tolerance > 0.0f);
  const double tol = exact ? 0.0 : static_cast<double>(tolerance);
  const double tol2 = tol * tol;

  for (int32_t i = 0; i < n; ++i) {
    target[i] = i;
    const Vector& p = points[i];
    if (!IsFinite(p)) continue;
    const Cell home = exact ? Cell{ExactCoord(p.x), ExactCoord(p.y), ExactCoord(p.z)}
                            : Cell{CellCoord(p.x, tol), CellCoord(p.y, tol), CellCoord(p.z, tol)};
    int32_t found = -1;
    const int reach = exact ? 0 : 1;
    for (int dx = -reach; dx <= reach; ++dx)
      for (int dy = -reach; dy <= reach; ++dy)
        for (int dz = -reach; dz <= reach; ++dz) {
          const auto it = firstInCell.find(Cell{home.x + dx, home.y + dy, home.z + dz});
          if (it == firstInCell.end()) continue;
          for (int32_t j = it->second; j >= 0; j = nextInCell[j]) {
            if (found >= 0 && j > found) break;  // cells list in index order: nothing earlier follows
            if (DistanceSquared(points[j], p) <= tol2) {
              found = j;
              break;
            }
          }
        }
    if (found >= 0) {
      target[i] = found;
      continue;
    }
    const auto [last, inserted] = lastInCell.try_emplace(home, i);
    if (inserted) {
      firstInCell.emplace(home, i);
    } else {
      nextInCell[last->second] = i;
      last->second = i;
    }
  }
  return target;
}

}  // namespace

OptimizeResult OptimizeMesh(const std::vector<Vector>& points, const std::vector<Polygon>& polygons,
                            const OptimizeOptions& options) {
  const auto n = static_cast<int32_t>(points.size());
  std::vector<int32_t> target;
  if (options.mergePoints) {
    target = MergeTargets(points, options.tolerance);
  } else {
    target.resize(n);
    for (int32_t i = 0; i < n; ++i) target[i] = i;
  }

  // Polygons in terms of the surviving (target) points.
  OptimizeResult result;
  std::vector<Polygon> kept;
  kept.reserve(polygons.size());
  for (const Polygon& poly : polygons) {
    const std::array<int32_t, 4> corners{poly.a, poly.b, poly.c, poly.d};
    bool valid = true;
    for (int32_t c : corners) valid = valid && c >= 0 && c < n;
    if (!valid) continue;
    Polygon mapped{target[poly.a], target[poly.b], target[poly.c], target[poly.d]};
    if (options.dropDegenerate) {
      const int cornerCount = poly.IsTriangle() ? 3 : 4;
      const std::array<int32_t, 4> m{mapped.a, mapped.b, mapped.c, mapped.d};
      std::array<int32_t, 4> distinct{};
      int count = 0;
      for (int k = 0; k < cornerCount; ++k) {
        bool seen = false;
        for (int j = 0; j < count; ++j) seen = seen || distinct[j] == m[k];
        if (!seen) distinct[count++] = m[k];
      }
      if (count < 3) continue;
      mapped = count == 3 ? Polygon{distinct[0], distinct[1], distinct[2], distinct[2]}
                          : Polygon{distinct[0], distinct[1], distinct[2], distinct[3]};
    }
    kept.push_back(mapped);
  }

  // Which surviving points stay, and their new numbers.
  std::vector<char> keep(n, 0);
  const bool dropUnused = options.dropUnused && !polygons.empty();
  for (int32_t i = 0; i < n; ++i) keep[i] = target[i] == i && !dropUnused;
  if (dropUnused) {
    for (const Polygon& p : kept) keep[p.a] = keep[p.b] = keep[p.c] = keep[p.d] = 1;
  }
  std::vector<int32_t> newIndex(n, -1);
  for (int32_t i = 0; i < n; ++i) {
    if (!keep[i]) continue;
    newIndex[i] = static_cast<int32_t>(result.points.size());
    result.points.push_back(points[i]);
  }
  result.pointMap.resize(n);
  for (int32_t i = 0; i < n; ++i) result.pointMap[i] = newIndex[target[i]];
  result.polygons.reserve(kept.size());
  for (const Polygon& p : kept)
    result.polygons.push_back(Polygon{newIndex[p.a], newIndex[p.b], newIndex[p.c], newIndex[p.d]});
  return result;
}

}  // namespace kurvo::geo
