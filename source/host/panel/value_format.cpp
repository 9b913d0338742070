#include "value_format.h"

#include <cmath>
#include <cstdio>
#include <numbers>

namespace kurvo::panel {

std::string formatNumber(double value, int decimals) {
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "inf" : "-inf";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
  std::string text(buffer);
  if (text.find('.') != std::string::npos) {
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
  }
  // Rounding can leave "-0" for small negative values.
  if (text == "-0") text = "0";
  return text;
}

std::string formatReal(float value, const std::string& unit) {
  if (unit == "percent") return formatNumber(static_cast<double>(value) * 100.0, 2) + " %";
  if (unit == "degree") return formatNumber(static_cast<double>(value) * 180.0 / std::numbers::pi, 2) + " \u00B0";
  if (unit == "meter") return formatNumber(value) + " m";
  return formatNumber(value);
}

std::string optionLabel(const kurvo::host::DescParameter& parameter, int32_t value) {
  for (const auto& [id, label] : parameter.options)
    if (id == value) return label;
  return std::to_string(value);
}

int32_t dataTypeOf(kurvo::host::ParamType type) noexcept {
  using kurvo::host::ParamType;
  switch (type) {
    case ParamType::Long:
    case ParamType::Bool:
      return KH_DA_LONG;
    case ParamType::Real:
      return KH_DA_REAL;
    case ParamType::Vector:
      return KH_DA_VECTOR;
    case ParamType::Matrix:
      return KH_DA_MATRIX;
    case ParamType::String:
      return KH_DA_STRING;
    case ParamType::Filename:
      return KH_DA_FILENAME;
    case ParamType::Link:
      return KH_DA_LINK;
    case ParamType::Spline:
      return KH_CUSTOMDATA_SPLINE;
    case ParamType::Gradient:
      return KH_CUSTOMDATA_GRADIENT;
    case ParamType::Separator:
      break;
  }
  return KH_DA_NIL;
}

}  // namespace kurvo::panel
