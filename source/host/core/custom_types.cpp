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
