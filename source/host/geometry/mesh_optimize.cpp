#include "mesh_optimize.h"

#include <array>
#include <cmath>
#include <cstring>
#include <vector>

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

Cell HomeCell(const Vector& p, bool exact, double tol) {
  return exact ? Cell{ExactCoord(p.x), ExactCoord(p.y), ExactCoord(p.z)}
               : Cell{CellCoord(p.x, tol), CellCoord(p.y, tol), CellCoord(p.z, tol)};
}

// Kept points are listed by block: kBlock x kBlock x kBlock neighbouring
// cells share one list, so the 27 cells around a point usually take one to
// eight look-ups instead of 27. A block holds few kept points, since kept
// points lie more than a tolerance apart.
constexpr int kBlockShift = 2;  // blocks of 4 cells per axis
Cell BlockOf(const Cell& c) { return Cell{c.x >> kBlockShift, c.y >> kBlockShift, c.z >> kBlockShift}; }

// Open addressing from a block to its list of kept points (first and last, in
// index order). A slot's block is not stored: it is the block of the slot's
// first point, recomputed on a hash collision.
class BlockTable {
 public:
  BlockTable(const std::vector<Cell>& homes, size_t pointCount) : homes_(homes) {
    size_t capacity = 16;
    while (capacity < 2 * pointCount) capacity *= 2;
    slots_.assign(capacity, Slot{});
    mask_ = capacity - 1;
  }

  // The first kept point of the block, or -1.
  int32_t First(const Cell& block) const { return slots_[Find(block)].first; }

  // Adds kept point i (of home cell `home`) at the end of its block's list.
  void Add(int32_t i, std::vector<int32_t>& next) {
    Slot& slot = slots_[Find(BlockOf(homes_[i]))];
    if (slot.first < 0) {
      slot.first = slot.last = i;
      return;
    }
    next[slot.last] = i;
    slot.last = i;
  }

 private:
  struct Slot {
    int32_t first = -1, last = -1;
  };
  // The cell hash mixed once more: its low bits alone, which the mask keeps,
  // cluster on the regular grids of primitives.
  static size_t Mix(uint64_t h) {
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return static_cast<size_t>(h);
  }
  size_t Find(const Cell& block) const {
    size_t at = Mix(CellHash{}(block)) & mask_;
    while (slots_[at].first >= 0 && !(BlockOf(homes_[slots_[at].first]) == block)) at = (at + 1) & mask_;
    return at;
  }
  const std::vector<Cell>& homes_;
  std::vector<Slot> slots_;
  size_t mask_ = 0;
};

// For every point the index of the earliest kept point it merges into
// (itself when kept): the earliest one in the 27 cells around its own (its
// own cell alone for exact merging) within the tolerance.
std::vector<int32_t> MergeTargets(const std::vector<Vector>& points, float tolerance) {
  const auto n = static_cast<int32_t>(points.size());
  std::vector<int32_t> target(n);
  std::vector<int32_t> nextInBlock(n, -1);
  const bool exact = !(tolerance > 0.0f);
  const double tol = exact ? 0.0 : static_cast<double>(tolerance);
  const double tol2 = tol * tol;
  const int64_t reach = exact ? 0 : 1;

  std::vector<Cell> homes(n);
  for (int32_t i = 0; i < n; ++i)
    if (IsFinite(points[i])) homes[i] = HomeCell(points[i], exact, tol);
  BlockTable blocks(homes, points.size());
  const auto near = [reach](int64_t a, int64_t b) { return a - b <= reach && b - a <= reach; };

  for (int32_t i = 0; i < n; ++i) {
    target[i] = i;
    const Vector& p = points[i];
    if (!IsFinite(p)) continue;
    const Cell home = homes[i];
    const Cell low = BlockOf(Cell{home.x - reach, home.y - reach, home.z - reach});
    const Cell high = BlockOf(Cell{home.x + reach, home.y + reach, home.z + reach});
    int32_t found = -1;
    for (int64_t bx = low.x; bx <= high.x; ++bx)
      for (int64_t by = low.y; by <= high.y; ++by)
        for (int64_t bz = low.z; bz <= high.z; ++bz)
          for (int32_t j = blocks.First(Cell{bx, by, bz}); j >= 0; j = nextInBlock[j]) {
            if (found >= 0 && j > found) break;  // lists run in index order: nothing earlier follows
            const Cell& c = homes[j];
            if (near(c.x, home.x) && near(c.y, home.y) && near(c.z, home.z) && DistanceSquared(points[j], p) <= tol2) {
              found = j;
              break;
            }
          }
    if (found >= 0) {
      target[i] = found;
      continue;
    }
    blocks.Add(i, nextInBlock);
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
