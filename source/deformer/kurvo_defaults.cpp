#include "deformer/kurvo_defaults.h"

void WriteFlatCurve(BaseContainer& bc, int32 id, Real y) {
  GeData value(KH_CUSTOMDATA_SPLINE, DEFAULTVALUE);
  if (auto* curve = static_cast<SplineData*>(value.GetCustomDataType(KH_CUSTOMDATA_SPLINE))) {
    curve->MakeLinearSpline(-1);
    curve->InsertKnot(0.0f, y, KH_CURVE_KNOT_LINEAR);
    curve->InsertKnot(1.0f, y, KH_CURVE_KNOT_LINEAR);
    curve->SetRound(0.0f);
  }
  bc.SetData(id, value);
}

void WriteKurvoDefaults(BaseContainer& bc) {
  for (const KurvoDefault& d : kKurvoDefaults) {
    switch (d.kind) {
      case KurvoValueKind::kReal: bc.SetReal(d.id, d.value.x); break;
      case KurvoValueKind::kBool: bc.SetBool(d.id, d.value.x != 0.0f); break;
      case KurvoValueKind::kLong: bc.SetLong(d.id, static_cast<int32>(d.value.x)); break;
      case KurvoValueKind::kVector: bc.SetVector(d.id, d.value); break;
      case KurvoValueKind::kCurve: WriteFlatCurve(bc, d.id, d.value.x); break;
    }
  }
}

bool IsKurvoElementEnabled(int32 id, const BaseContainer& bc) {
  if (id == KURVO_UP_VECTOR) return bc.GetLong(KURVO_UP_MODE, 0) == KURVO_UP_MODE_VECTOR;
  const bool disabled = (id >= 1003 && id <= 1013) || id == 1015 || id == 1024 ||
                        (id >= 1100 && id <= 1110) || id == 1114 || (id >= 1117 && id <= 1122) ||
                        id == 1201 || (id >= 1203 && id <= 1207);
  return !disabled;
}
