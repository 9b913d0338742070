// The deformer's parameter defaults and the panel's enabling rule.
#pragma once

#include "deformer/kurvo_params.h"
#include "kurvo_api.h"

enum class KurvoValueKind { kReal, kBool, kLong, kVector, kCurve };

// One default as Init writes it. Scalars use value.x; a curve default is a
// flat linear curve at value.x.
struct KurvoDefault {
  int32 id;
  KurvoValueKind kind;
  Vector value;
};

// In the order Init writes them. KURVO_STRETCH_FACTOR and KURVO_RANDOM have no
// default: readers see 0. Links have none either.
inline constexpr KurvoDefault kKurvoDefaults[] = {
    {KURVO_SPARE_1206, KurvoValueKind::kVector, Vector(1, 1, 1)},
    {KURVO_SPARE_1202, KurvoValueKind::kBool, Vector(1)},
    {KURVO_SPARE_1201, KurvoValueKind::kBool, Vector(0)},
    {KURVO_SPARE_1110, KurvoValueKind::kLong, Vector(1111)},
    {KURVO_SPARE_1114, KurvoValueKind::kLong, Vector(1116)},
    {KURVO_SPARE_1100, KurvoValueKind::kLong, Vector(0)},
    {KURVO_SPARE_1101, KurvoValueKind::kBool, Vector(0)},
    {KURVO_SPARE_1102, KurvoValueKind::kVector, Vector(0, 0, 0)},
    {KURVO_SPARE_1103, KurvoValueKind::kLong, Vector(1234567)},
    {KURVO_SPARE_1104, KurvoValueKind::kVector, Vector(0, 0, 0)},
    {KURVO_ROTATION, KurvoValueKind::kReal, Vector(0)},
    {KURVO_OFFSET, KurvoValueKind::kReal, Vector(0)},
    {KURVO_STRETCH, KurvoValueKind::kBool, Vector(0)},
    {KURVO_SCALE_STRENGTH, KurvoValueKind::kReal, Vector(1)},
    {KURVO_TWIST_STRENGTH, KurvoValueKind::kReal, Vector(1)},
    {KURVO_SPARE_1009, KurvoValueKind::kReal, Vector(0)},
    {KURVO_UP_VECTOR, KurvoValueKind::kVector, Vector(0, 1, 0)},
    {KURVO_UP_MODE, KurvoValueKind::kLong, Vector(0)},
    {KURVO_OPTIMIZE_TOLERANCE, KurvoValueKind::kReal, Vector(1)},
    {KURVO_OPTIMIZE_POINTS, KurvoValueKind::kBool, Vector(0)},
    {KURVO_OPTIMIZE_POLYGONS, KurvoValueKind::kBool, Vector(0)},
    {KURVO_OPTIMIZE_LOOSE_POINTS, KurvoValueKind::kBool, Vector(0)},
    {KURVO_SPLINE_LENGTH, KurvoValueKind::kReal, Vector(0)},
    {KURVO_PROFILE_CURVE, KurvoValueKind::kCurve, Vector(1)},
    {KURVO_PROFILE_STRENGTH, KurvoValueKind::kReal, Vector(1)},
    {KURVO_SCALE_CURVE, KurvoValueKind::kCurve, Vector(1)},
    {KURVO_TWIST_CURVE, KurvoValueKind::kCurve, Vector(0)},
    {KURVO_BEND_AXIS, KurvoValueKind::kLong, Vector(KURVO_BEND_AXIS_PLUS_Z)},
};

// Writes every default into bc, in table order.
void WriteKurvoDefaults(BaseContainer& bc);

// Stores under `id` a new spline curve that is flat at y: two linear knots at
// x = 0 and x = 1. When the host gives no curve object inside the new value,
// the value is stored as the host made it.
void WriteFlatCurve(BaseContainer& bc, int32 id, Real y);

// Whether description element `id` (first level) is shown enabled, given the
// node's parameters. Element IDs without a value follow the same ranges.
bool IsKurvoElementEnabled(int32 id, const BaseContainer& bc);
