#include "polygon_split.h"

#include <cmath>

namespace kurvo::media {
namespace {

struct Point2 {
  double x, y;
};

double cross2(const Point2& o, const Point2& a, const Point2& b) {
  return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x);
}

bool inside_triangle(const Point2& p, const Point2& a, const Point2& b, const Point2& c) {
  return cross2(a, b, p) >= 0.0 && cross2(b, c, p) >= 0.0 && cross2(c, a, p) >= 0.0;
}

// The corners seen along the polygon's Newell normal, turned so that the
// outline runs counter-clockwise.
std::vector<Point2> project_to_plane(const std::vector<Vector>& points, std::span<const int32_t> corners) {
  double nx = 0.0, ny = 0.0, nz = 0.0;
  const size_t n = corners.size();
  for (size_t i = 0; i < n; ++i) {
    const Vector& a = points[corners[i]];
    const Vector& b = points[corners[(i + 1) % n]];
    nx += (double(a.y) - b.y) * (double(a.z) + b.z);
    ny += (double(a.z) - b.z) * (double(a.x) + b.x);
    nz += (double(a.x) - b.x) * (double(a.y) + b.y);
  }
  // Drop the dominant axis; the sign of that component keeps the outline
  // counter-clockwise in the remaining two.
  std::vector<Point2> flat(n);
  const double ax = std::fabs(nx), ay = std::fabs(ny), az = std::fabs(nz);
  for (size_t i = 0; i < n; ++i) {
    const Vector& p = points[corners[i]];
    if (az >= ax && az >= ay)
      flat[i] = nz >= 0.0 ? Point2{p.x, p.y} : Point2{p.y, p.x};
    else if (ax >= ay)
      flat[i] = nx >= 0.0 ? Point2{p.y, p.z} : Point2{p.z, p.y};
    else
      flat[i] = ny >= 0.0 ? Point2{p.z, p.x} : Point2{p.x, p.z};
  }
  return flat;
}

// Ear clipping costs O(n^2) or more; beyond this many corners a fan is used.
constexpr size_t kMaxEarClipCorners = 512;

void fan(std::span<const int32_t> ring, std::vector<Polygon>& out) {
  for (size_t i = 1; i + 1 < ring.size(); ++i) out.push_back(make_triangle(ring[0], ring[i], ring[i + 1]));
}

}  // namespace

bool append_polygon(const std::vector<Vector>& points, std::span<const int32_t> corners,
                    std::vector<Polygon>& out) {
  const size_t n = corners.size();
  if (n < 3) return false;
  if (n == 3) {
    out.push_back(make_triangle(corners[0], corners[1], corners[2]));
    return true;
  }
  if (n == 4) {
    out.push_back(Polygon{corners[0], corners[1], corners[2], corners[3]});
    return true;
  }
  if (n > kMaxEarClipCorners) {
    fan(corners, out);
    return true;
  }

  const std::vector<Point2> flat = project_to_plane(points, corners);
  std::vector<size_t> ring(n);  // positions into corners/flat still in the outline
  for (size_t i = 0; i < n; ++i) ring[i] = i;

  size_t misses = 0;  // consecutive corners that were no ear
  size_t i = 0;
  while (ring.size() > 3 && misses < ring.size()) {
    const size_t m = ring.size();
    const size_t ip = ring[(i + m - 1) % m], ic = ring[i % m], in = ring[(i + 1) % m];
    bool ear = cross2(flat[ip], flat[ic], flat[in]) > 0.0;
    for (size_t k = 0; ear && k < m; ++k) {
      const size_t q = ring[k];
      if (q == ip || q == ic || q == in) continue;
      if (inside_triangle(flat[q], flat[ip], flat[ic], flat[in])) ear = false;
    }
    if (ear) {
      out.push_back(make_triangle(corners[ip], corners[ic], corners[in]));
      ring.erase(ring.begin() + static_cast<std::ptrdiff_t>(i % m));
      misses = 0;
      if (i >= ring.size()) i = 0;
    } else {
      ++misses;
      i = (i + 1) % m;
    }
  }
  // What is left (a triangle, or a degenerate rest without ears) as a fan.
  std::vector<int32_t> rest;
  rest.reserve(ring.size());
  for (size_t k : ring) rest.push_back(corners[k]);
  fan(rest, out);
  return true;
}

}  // namespace kurvo::media
