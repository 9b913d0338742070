#include "polygon_split.h"

#include <GL/glu.h>

#include <cmath>
#include <memory>

namespace kurvo::media {
namespace {

struct Tessellation {
  std::vector<uint32_t> triangles;  // positions within the face
  bool failed = false;
};

// Each vertex handed to GLU carries its position within the face; GLU hands
// it back per triangle corner. Position 0 must not be a null pointer.
void* tag_of(size_t position) { return reinterpret_cast<void*>(position + 1); }
uint32_t position_of(void* tag) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(tag) - 1); }

extern "C" {
static void GLAPIENTRY on_begin(GLenum, void*) {}
static void GLAPIENTRY on_edge_flag(GLboolean, void*) {}  // asks GLU for triangles only
static void GLAPIENTRY on_vertex(void* vertex, void* data) {
  static_cast<Tessellation*>(data)->triangles.push_back(position_of(vertex));
}
static void GLAPIENTRY on_combine(GLdouble[3], void* neighbours[4], GLfloat weights[4], void** out, void*) {
  size_t best = 0;
  for (size_t i = 1; i < 4; ++i)
    if (neighbours[i] && weights[i] > weights[best]) best = i;
  *out = neighbours[best];
}
static void GLAPIENTRY on_error(GLenum, void* data) { static_cast<Tessellation*>(data)->failed = true; }
}

struct TessDeleter {
  void operator()(GLUtesselator* t) const { gluDeleteTess(t); }
};

}  // namespace

bool triangulate_face(const std::vector<Vector>& points, std::span<const int32_t> corners,
                      std::vector<uint32_t>& out) {
  const size_t n = corners.size();
  if (n < 3) return false;
  double normal[3] = {0.0, 0.0, 0.0};
  for (size_t i = 0; i < n; ++i) {
    const Vector& a = points[corners[i]];
    const Vector& b = points[corners[(i + 1) % n]];
    normal[0] += (double(a.y) - b.y) * (double(a.z) + b.z);
    normal[1] += (double(a.z) - b.z) * (double(a.x) + b.x);
    normal[2] += (double(a.x) - b.x) * (double(a.y) + b.y);
  }
  const double length = std::sqrt(normal[0] * normal[0] + normal[1] * normal[1] + normal[2] * normal[2]);
  if (!(length > 0.0)) return false;
  if (n == 3) {
    out.insert(out.end(), {0u, 1u, 2u});
    return true;
  }
  std::unique_ptr<GLUtesselator, TessDeleter> tess(gluNewTess());
  if (!tess) return false;
  Tessellation result;
  result.triangles.reserve(3 * (n - 2));
  gluTessCallback(tess.get(), GLU_TESS_BEGIN_DATA, reinterpret_cast<_GLUfuncptr>(&on_begin));
  gluTessCallback(tess.get(), GLU_TESS_EDGE_FLAG_DATA, reinterpret_cast<_GLUfuncptr>(&on_edge_flag));
  gluTessCallback(tess.get(), GLU_TESS_VERTEX_DATA, reinterpret_cast<_GLUfuncptr>(&on_vertex));
  gluTessCallback(tess.get(), GLU_TESS_COMBINE_DATA, reinterpret_cast<_GLUfuncptr>(&on_combine));
  gluTessCallback(tess.get(), GLU_TESS_ERROR_DATA, reinterpret_cast<_GLUfuncptr>(&on_error));
  gluTessProperty(tess.get(), GLU_TESS_WINDING_RULE, GLU_TESS_WINDING_ODD);
  gluTessNormal(tess.get(), normal[0] / length, normal[1] / length, normal[2] / length);
  std::vector<GLdouble> coords(3 * n);
  gluTessBeginPolygon(tess.get(), &result);
  gluTessBeginContour(tess.get());
  for (size_t i = 0; i < n; ++i) {
    const Vector& p = points[corners[i]];
    coords[3 * i] = p.x, coords[3 * i + 1] = p.y, coords[3 * i + 2] = p.z;
    gluTessVertex(tess.get(), &coords[3 * i], tag_of(i));
  }
  gluTessEndContour(tess.get());
  gluTessEndPolygon(tess.get());
  if (result.failed || result.triangles.size() % 3 != 0 || result.triangles.empty()) return false;
  // A triangle that the stand-in for a crossing made degenerate adds nothing;
  // each other one turns the way the face does (the tessellator's own
  // orientation depends on the winding rule).
  for (size_t t = 0; t < result.triangles.size(); t += 3) {
    const uint32_t a = result.triangles[t], b = result.triangles[t + 1], c = result.triangles[t + 2];
    if (a == b || b == c || a == c) continue;
    const Vector& pa = points[corners[a]];
    const Vector& pb = points[corners[b]];
    const Vector& pc = points[corners[c]];
    const double ux = double(pb.x) - pa.x, uy = double(pb.y) - pa.y, uz = double(pb.z) - pa.z;
    const double vx = double(pc.x) - pa.x, vy = double(pc.y) - pa.y, vz = double(pc.z) - pa.z;
    const double along = (uy * vz - uz * vy) * normal[0] + (uz * vx - ux * vz) * normal[1] + (ux * vy - uy * vx) * normal[2];
    if (along < 0.0)
      out.insert(out.end(), {a, c, b});
    else
      out.insert(out.end(), {a, b, c});
  }
  return true;
}

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
  std::vector<uint32_t> triangles;
  if (!triangulate_face(points, corners, triangles)) return false;
  for (size_t t = 0; t < triangles.size(); t += 3)
    out.push_back(make_triangle(corners[triangles[t]], corners[triangles[t + 1]], corners[triangles[t + 2]]));
  return true;
}

}  // namespace kurvo::media
