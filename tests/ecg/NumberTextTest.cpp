// Readout texts: the amplitude format (half away from zero, on the double value) and times.
#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <limits>

#include "ecg/NumberText.h"

namespace {

struct AmplitudeCase {
  double value;
  const char* text;
};

class AmplitudeFormat : public ::testing::TestWithParam<AmplitudeCase> {};

TEST_P(AmplitudeFormat, FourDecimalsNoLeadingZeroGrouped) {
  EXPECT_EQ(FormatFloat(GetParam().value), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Values, AmplitudeFormat,
    ::testing::Values(AmplitudeCase{1.25, "1.2500"}, AmplitudeCase{0.5, ".5000"},
                      AmplitudeCase{-0.25, "-.2500"}, AmplitudeCase{0, ".0000"},
                      AmplitudeCase{1234.5, "1,234.5000"},
                      AmplitudeCase{1234567.0, "1,234,567.0000"},
                      // an exact tie rounds away from zero, where printf would round to even
                      AmplitudeCase{0.03125, ".0313"}, AmplitudeCase{-0.03125, "-.0313"},
                      AmplitudeCase{1234.03125, "1,234.0313"}, AmplitudeCase{-2.96875, "-2.9688"},
                      AmplitudeCase{1e12 + 0.03125, "1,000,000,000,000.0313"},
                      AmplitudeCase{-(0x1p47 + 0.03125), "-140,737,488,355,328.0313"},
                      // 123 x 1.25 x 0.001 in double lies just below the tie
                      AmplitudeCase{123 * 1.25 * 0.001, ".1537"}, AmplitudeCase{-0.00001, ".0000"},
                      AmplitudeCase{0.99995, "1.0000"},
                      AmplitudeCase{std::numeric_limits<double>::quiet_NaN(), "NAN"},
                      AmplitudeCase{std::numeric_limits<double>::infinity(), "INF"},
                      AmplitudeCase{-std::numeric_limits<double>::infinity(), "-INF"}),
    [](const auto& info) {
      std::string name = "Row" + std::to_string(info.index) + "_";
      for (char c : std::string(info.param.text)) name += std::isalnum(c) ? c : '_';
      return name;
    });

TEST(AmplitudeFormat, UsesTheGivenSeparators) {
  SetNumberSeparators(',', '.');
  EXPECT_EQ(FormatFloat(1234.5), "1.234,5000");
  SetNumberSeparators('.', ',');
}

TEST(AmplitudeFormat, HugeValuesStayBounded) {
  const std::string text = FormatFloat(std::numeric_limits<double>::max());
  EXPECT_GT(text.size(), 300u);
  EXPECT_EQ(text.substr(text.size() - 5), ".0000");
}

TEST(TimeText, ShortestGeneralForm) {
  EXPECT_EQ(FloatToStr(2220.0f), "2220");
  EXPECT_EQ(FloatToStr(-250.0f), "-250");
  EXPECT_EQ(FloatToStr(2.5), "2.5");
}

TEST(SaturatingTrunc, ClampsAndMapsNaN) {
  EXPECT_EQ(SaturatingTrunc(1e30, 7), INT32_MAX);
  EXPECT_EQ(SaturatingTrunc(-1e30, 7), INT32_MIN);
  EXPECT_EQ(SaturatingTrunc(std::nan(""), 7), 7);
  EXPECT_EQ(SaturatingTrunc(-2.9, 7), -2);
}

}  // namespace
