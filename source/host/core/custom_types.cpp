#include "custom_types.h"

namespace kurvo::host {

std::unique_ptr<CustomData> makeCustomData(int32_t type) {
  switch (type) {
    case CurveData::kType: return std::make_unique<CurveData>();
    case GradientData::kType: return std::make_unique<GradientData>();
    default: return nullptr;
  }
}

bool isCustomDataType(int32_t type) noexcept {
  return type == CurveData::kType || type == GradientData::kType;
}

}  // namespace kurvo::host

namespace kurvo::host {

bool GradientData::equals(const CustomData& other) const {
  if (other.typeId() != kType) return false;
  const kurvo::geo::Gradient& g = static_cast<const GradientData&>(other).gradient;
  if (g.KnotCount() != gradient.KnotCount()) return false;
  for (int32_t i = 0; i < g.KnotCount(); ++i) {
    const kurvo::geo::GradientKnot &a = gradient.GetKnot(i), &b = g.GetKnot(i);
    if (!(a.col == b.col) || a.brightness != b.brightness || a.pos != b.pos || a.bias != b.bias || a.index != b.index)
      return false;
  }
  return true;
}

}  // namespace kurvo::host
