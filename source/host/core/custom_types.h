// The host's custom data types: spline curves (1009060) and colour
// gradients (1000481), backed by the geometry library.
#pragma once

#include "curve.h"
#include "custom_data.h"
#include "gradient.h"

namespace kurvo::host {

class CurveData final : public CustomData {
 public:
  static constexpr int32_t kType = KH_CUSTOMDATA_SPLINE;
  CurveData() noexcept : CustomData(kType) {}
  std::unique_ptr<CustomData> clone() const override { return std::make_unique<CurveData>(*this); }
  bool equals(const CustomData& other) const override {
    return other.typeId() == kType && static_cast<const CurveData&>(other).curve == curve;
  }
  kurvo::geo::Curve curve;
};

class GradientData final : public CustomData {
 public:
  static constexpr int32_t kType = KH_CUSTOMDATA_GRADIENT;
  GradientData() noexcept : CustomData(kType) {}
  std::unique_ptr<CustomData> clone() const override { return std::make_unique<GradientData>(*this); }
  bool equals(const CustomData& other) const override;
  kurvo::geo::Gradient gradient;
};

}  // namespace kurvo::host
