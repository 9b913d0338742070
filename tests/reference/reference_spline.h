// The reference's own splines: linear, cubic (uniform Catmull-Rom through
// every point, end spans continued by reflection) and Bezier (tangents as
// offsets from their point), open or closed, evaluated in double precision
// by arc length. Shares nothing with the host's span tables or length tables.
#pragma once

#include <vector>

#include "reference_math.h"

namespace kurvo::reference {

enum class Kind { Linear = 0, Cubic = 1, Bezier = 2 };

struct SplineShape {
  Kind kind = Kind::Linear;
  bool closed = false;
  std::vector<DVec3> points;
  std::vector<DVec3> tangentsIn, tangentsOut;  // Bezier only; empty: zero
};

// A spline measured by arc length: positions are fractions of its length.
class ArcPath {
 public:
  explicit ArcPath(const SplineShape &shape);

  double Length() const { return length_; }
  // Point and unit tangent at arc-length fraction u in [0, 1].
  DVec3 Point(double u) const;
  DVec3 Tangent(double u) const;
  // How far (in radians) a tangent computed in float from the same control
  // points may stray at u: the control points carry rounding relative to
  // their own size, and the tangent is their difference.
  double TangentError(double u) const;
  // Arc-length fractions of the joins between spans (where a linear or
  // cornered path turns at once).
  const std::vector<double> &Joins() const { return joins_; }

 private:
  struct Span {
    DVec3 b0, b1, b2,
        b3;  // cubic Bezier control polygon (a line has b1, b2 on it)
  };
  // Locates the span and its own parameter at arc length s.
  void Locate(double s, int &span, double &t) const;
  static DVec3 At(const Span &c, double t);
  static DVec3 Derivative(const Span &c, double t);
  static double SpeedIntegral(const Span &c, double t0, double t1);

  static constexpr int kSteps = 16;  // table entries per span
  std::vector<Span> spans_;
  std::vector<double> table_;  // arc length at span k, step j: table_[k * kSteps
                               // + j]; one more at the end
  double length_ = 0;
  std::vector<double> joins_;
};

}  // namespace kurvo::reference
