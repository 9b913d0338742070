// How the panel writes parameter values as text.
#pragma once

#include <cstdint>
#include <string>

#include "core/description.h"

namespace kurvo::panel {

// A number with at most `decimals` decimals, trailing zeros (and a lone
// point) dropped, and no negative zero: 1.5, 0, -0.25, 1234567.
std::string formatNumber(double value, int decimals = 3);

// A real as the panel shows it in its unit: "percent" as a hundredfold with
// " %", "degree" from radians to degrees with " °", "meter" with " m";
// anything else as the bare number.
std::string formatReal(float value, const std::string& unit);

// The label of the option `value` of an integer parameter with options; the
// number itself when no option has that value.
std::string optionLabel(const kurvo::host::DescParameter& parameter, int32_t value);

// The host's data type code of a parameter type (the codes of typed values;
// booleans are integers). Separators have none (0).
int32_t dataTypeOf(kurvo::host::ParamType type) noexcept;

}  // namespace kurvo::panel
