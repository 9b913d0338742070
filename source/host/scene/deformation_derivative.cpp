#include "deformation_derivative.h"

#include <algorithm>
#include <cmath>

namespace kurvo::host {

float derivativeStep(const std::vector<Vector>& points, const std::vector<kurvo::geo::Polygon>& polygons,
                     float extent) {
  double sum = 0.0;
  size_t edges = 0;
  for (const kurvo::geo::Polygon& q : polygons) {
    const int32_t c[4] = {q.a, q.b, q.c, q.d};
    const int corners = q.c == q.d ? 3 : 4;
    for (int k = 0; k < corners; ++k) {
      sum += Len(points[size_t(c[k])] - points[size_t(c[(k + 1) % corners])]);
      ++edges;
    }
  }
  const float floor = 1e-4f * extent;
  float step = edges ? float(0.5 * sum / double(edges)) : 1e-2f * extent;
  if (!(step > floor) || !std::isfinite(step)) step = floor;
  return step > 0.0f && std::isfinite(step) ? step : 1e-3f;
}

std::optional<std::vector<LocalDerivative>> deformationDerivatives(Document& document, Object& object, float step) {
  const std::vector<Vector>& rest = object.restPoints();
  const size_t n = rest.size();
  if (n == 0 || object.appliedDeformers.empty()) return std::nullopt;
  Vector lo = rest[0], hi = rest[0];
  for (const Vector& p : rest) {
    lo = Vector(std::min(lo.x, p.x), std::min(lo.y, p.y), std::min(lo.z, p.z));
    hi = Vector(std::max(hi.x, p.x), std::max(hi.y, p.y), std::max(hi.z, p.z));
  }
  if (!(step > 0.0f))
    step = derivativeStep(rest, object.polygons(), std::max({hi.x - lo.x, hi.y - lo.y, hi.z - lo.z}));
  // Seven copies of the points: as they are, then +x, -x, +y, -y, +z, -z, all
  // bent in one run so that they share everything a run decides once (a
  // random offset too).
  const Vector axes[3] = {Vector(step, 0.0f, 0.0f), Vector(0.0f, step, 0.0f), Vector(0.0f, 0.0f, step)};
  std::vector<Vector> moved;
  moved.reserve(7 * n);
  moved.insert(moved.end(), rest.begin(), rest.end());
  for (const Vector& axis : axes) {
    for (const Vector& p : rest) moved.push_back(p + axis);
    for (const Vector& p : rest) moved.push_back(p - axis);
  }
  auto bent = document.deformAgain(object, moved);
  if (!bent) return std::nullopt;
  const std::vector<Vector>& b = *bent;
  const auto component = [](const Vector& v, size_t a) { return a == 0 ? v.x : a == 1 ? v.y : v.z; };
  std::vector<LocalDerivative> out(n);
  for (size_t i = 0; i < n; ++i) {
    Vector column[3];
    for (size_t a = 0; a < 3; ++a) {
      const size_t plus = (1 + 2 * a) * n + i, minus = (2 + 2 * a) * n + i;
      // A step that leaves the object's box goes where its points never
      // are: beyond the end of a path the bend may jump or stop. There the
      // difference stays on the side of the points (one-sided); inside, it
      // is central. The steps are those actually taken, after rounding.
      const float at = component(rest[i], a);
      const bool up = component(moved[plus], a) <= component(hi, a);
      const bool down = component(moved[minus], a) >= component(lo, a);
      const size_t from = up == down || down ? minus : i, to = up == down || up ? plus : i;
      const float h = component(moved[to], a) - (from == i ? at : component(moved[from], a));
      column[a] = h != 0.0f ? (b[to] - b[from]) / h : Vector(0.0f, 0.0f, 0.0f);
    }
    out[i] = LocalDerivative{column[0], column[1], column[2]};
  }
  return out;
}

Vector carryNormal(const LocalDerivative& d, const Vector& normal) {
  // The inverse transpose times the determinant: the cofactor matrix, whose
  // columns are the cross products of the derivative's. It takes the cross
  // product of two edges at rest to that of the bent edges, so the normal
  // keeps to the side its face's winding makes the front, mirrored or not.
  return NormalCarrier(d)(normal);
}

}  // namespace kurvo::host
