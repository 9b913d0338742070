// Spline primitives, as a user would create them from a menu.
//
// Placement: flat shapes (circle, arc, rectangle) lie in the XY plane centred
// on the origin, facing +Z, running counter-clockwise seen from +Z and
// starting on +X (the rectangle at its corner (+w/2, -h/2)). The line starts
// at the origin and runs along +Z. The helix winds counter-clockwise around
// the Z axis from z = 0 up to its height, starting on +X.
//
// Round shapes are Bezier splines with one point every 45 degrees and the
// usual tangent length 4/3 tan(a/4) r for a span of a radians: a circle of 8
// points is within 3e-6 of the true radius and length.
#ifndef KURVO_GEO_SPLINE_PRIMITIVES_H
#define KURVO_GEO_SPLINE_PRIMITIVES_H

#include <cstdint>

#include "spline.h"

namespace kurvo::geo {

// Two points, (0, 0, 0) and (0, 0, length); linear, open.
Spline MakeLine(float length);

// Closed Bezier circle of 8 points.
Spline MakeCircle(float radius);

// Open Bezier arc from startAngle to endAngle (radians, counter-clockwise
// from +X); one span per started 45 degrees. Equal angles give one point.
Spline MakeArc(float radius, float startAngle, float endAngle);

// Closed linear rectangle of 4 points.
Spline MakeRectangle(float width, float height);

// Open cubic helix: `pointsPerTurn` points per full turn (at least 3), the
// radius changing linearly from startRadius to endRadius and the height from
// 0 to `height` along the way. Zero turns give a single point.
Spline MakeHelix(float startRadius, float endRadius, float height, float turns, int32_t pointsPerTurn);

}  // namespace kurvo::geo

#endif
