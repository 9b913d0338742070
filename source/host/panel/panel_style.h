// Colours and measures of the attribute panel (a dark theme, pixels).
#pragma once

#include <cstdint>

#include "painter.h"

namespace kurvo::panel::style {

inline constexpr Colour kBackground{56, 57, 61};
inline constexpr Colour kTitleBackground{38, 39, 42};
inline constexpr Colour kGroupBackground{72, 74, 79};
inline constexpr Colour kText{220, 220, 222};
inline constexpr Colour kTextDisabled{118, 119, 123};
inline constexpr Colour kField{36, 37, 40};
inline constexpr Colour kFieldDisabled{49, 50, 54};
inline constexpr Colour kFieldBorder{28, 28, 30};
inline constexpr Colour kAccent{240, 168, 64};
inline constexpr Colour kAccentDisabled{120, 104, 84};
inline constexpr Colour kGuide{70, 71, 76};

inline constexpr int32_t kTitleHeight = 26;
inline constexpr int32_t kGroupHeight = 22;
inline constexpr int32_t kRowHeight = 22;
inline constexpr int32_t kCurveRowHeight = 52;
inline constexpr int32_t kGradientRowHeight = 26;
inline constexpr int32_t kSeparatorHeight = 10;
inline constexpr int32_t kElementGap = 4;   // below an element
inline constexpr int32_t kGroupGap = 4;     // below a group's last row
inline constexpr int32_t kIndent = 12;      // per group level
inline constexpr int32_t kLabelX = 16;
inline constexpr int32_t kValueX = 180;     // left edge of the value column
inline constexpr int32_t kRightMargin = 12;
inline constexpr int32_t kFieldHeight = 18;
inline constexpr int32_t kNumberFieldWidth = 120;
inline constexpr int32_t kCheckSize = 14;

}  // namespace kurvo::panel::style
