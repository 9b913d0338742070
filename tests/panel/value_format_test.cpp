// How values read in the panel.
#include <gtest/gtest.h>

#include <numbers>

#include "value_format.h"

namespace kurvo::panel::test {
namespace {

TEST(ValueFormat, NumbersDropTrailingZerosAndNegativeZero) {
  EXPECT_EQ(formatNumber(1.5), "1.5");
  EXPECT_EQ(formatNumber(0.0), "0");
  EXPECT_EQ(formatNumber(-0.0001), "0") << "rounds to zero, shown without a sign";
  EXPECT_EQ(formatNumber(-0.25), "-0.25");
  EXPECT_EQ(formatNumber(1234567.0), "1234567");
  EXPECT_EQ(formatNumber(2.0 / 3.0), "0.667");
}

TEST(ValueFormat, RealsInTheirUnits) {
  EXPECT_EQ(formatReal(0.25f, "percent"), "25 %");
  EXPECT_EQ(formatReal(std::numbers::pi_v<float> / 2, "degree"), "90 \u00B0");
  EXPECT_EQ(formatReal(12.5f, "meter"), "12.5 m");
  EXPECT_EQ(formatReal(3.0f, "none"), "3");
}

TEST(ValueFormat, OptionsByValueAndUnknownValuesAsNumbers) {
  kurvo::host::DescParameter p;
  p.type = kurvo::host::ParamType::Long;
  p.options = {{0, "Up vector"}, {1, "Path shape"}, {2, "Rail"}};
  EXPECT_EQ(optionLabel(p, 1), "Path shape");
  EXPECT_EQ(optionLabel(p, 7), "7");
}

}  // namespace
}  // namespace kurvo::panel::test
