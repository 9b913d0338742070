// How an object's deformers bend space around each of its points: the local
// derivative of the deformation, measured by running the deformers again on
// points moved a small step either way along each axis (central
// differences; one-sided at the object's box, whose outside the bend may
// treat apart, as beyond the end of a path), so any deformer is measured as
// it runs, through the same calls as an evaluation.
//
// Normals go through a deformation as the inverse transpose of this
// derivative: a surface normal stays normal to the bent surface.
#pragma once

#include <cmath>
#include <optional>
#include <vector>

#include "document.h"

namespace kurvo::host {

// The columns of the derivative at one point: how far the bent point moves
// per unit of x, y and z at rest (object coordinates in and out).
struct LocalDerivative {
  Vector dx, dy, dz;
};

// The step, for an object with these rest points and polygons, whose
// points span `extent` (the largest side of their box): half the mean length
// of the polygons' edges, so that the derivative is that of the bent surface
// as the mesh shows it: a bend is free to be made of pieces finer than
// that (a path's frame taken from a table of samples turns in small steps),
// and a step below them would see a piece, not the bend. Never below a
// ten-thousandth of the extent.
float derivativeStep(const std::vector<Vector>& points, const std::vector<kurvo::geo::Polygon>& polygons,
                     float extent);

// Per rest point of `object`, after an evaluation of `document`; nothing
// when no deformer ran on it (the derivative is then the identity) or a
// deformer changed its number of points. `step` 0 takes derivativeStep().
std::optional<std::vector<LocalDerivative>> deformationDerivatives(Document& document, Object& object,
                                                                   float step = 0.0f);

// The unit normal that `normal` (at rest) becomes under `d`: the inverse
// transpose of d applied to it, times d's determinant, so that it stays on
// the front of its faces as their winding has it (under a mirroring d too,
// which turns the winding). A d that flattens it to nothing gives `normal`.
Vector carryNormal(const LocalDerivative& d, const Vector& normal);

// carryNormal under one d for many normals: d's cofactor columns made once.
class NormalCarrier {
 public:
  explicit NormalCarrier(const LocalDerivative& d)
      : yz_(Cross(d.dy, d.dz)), zx_(Cross(d.dz, d.dx)), xy_(Cross(d.dx, d.dy)) {}
  Vector operator()(const Vector& normal) const {
    const Vector n = yz_ * normal.x + zx_ * normal.y + xy_ * normal.z;
    const float length = Len(n);
    if (!(length > 0.0f) || !std::isfinite(length)) return normal;
    return n / length;
  }

 private:
  Vector yz_, zx_, xy_;
};

}  // namespace kurvo::host
