// KURVO_BEND_AXIS: which of the deformer's own axes is laid along the path.
// The mapping always reads a point's deformer-space Z as the distance along
// the path and X, Y as the offsets across it; another bend axis is a turn of
// the deformer's space before that, a signed permutation of its axes (see
// kurvo_params.h for the order).
#pragma once

#include "deformer/kurvo_params.h"
#include "kurvo_api.h"

// The turn for `axis`; false for +Z and for values that name no axis, which
// bend along +Z and need no turn at all (so their results stay bit for bit).
inline bool BendAxisTurn(int32 axis, Matrix& turn) {
  // Source axis (0 X, 1 Y, 2 Z) of the across X, across Y and along axes.
  int32 across = 0, up = 1, along = 2;
  switch (axis) {
    case KURVO_BEND_AXIS_PLUS_X:
    case KURVO_BEND_AXIS_MINUS_X:
      across = 1, up = 2, along = 0;
      break;
    case KURVO_BEND_AXIS_PLUS_Y:
    case KURVO_BEND_AXIS_MINUS_Y:
      across = 2, up = 0, along = 1;
      break;
    case KURVO_BEND_AXIS_MINUS_Z:
      break;
    default:
      return false;
  }
  const bool negative =
      axis == KURVO_BEND_AXIS_MINUS_X || axis == KURVO_BEND_AXIS_MINUS_Y || axis == KURVO_BEND_AXIS_MINUS_Z;
  const Real sign = negative ? -1.0f : 1.0f;
  // Column c of the matrix says where source axis c goes.
  Vector* columns[3] = {&turn.v1, &turn.v2, &turn.v3};
  turn = Matrix();
  *columns[0] = *columns[1] = *columns[2] = Vector();
  (*columns[across]).x = sign;
  (*columns[up]).y = 1.0f;
  (*columns[along]).z = sign;
  return true;
}

// A direction turned (the translation of `turn` is zero).
inline Vector TurnDirection(const Matrix& turn, const Vector& v) {
  return turn.v1 * v.x + turn.v2 * v.y + turn.v3 * v.z;
}
