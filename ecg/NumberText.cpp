#include "ecg/NumberText.h"

#include <cmath>
#include <cstdio>

namespace {
char decimalSeparator = '.';
char thousandsSeparator = ',';
}  // namespace

std::string FloatToStr(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.15g", value);
  return text;
}

void SetNumberSeparators(char decimalPoint, char thousands) {
  decimalSeparator = decimalPoint;
  thousandsSeparator = thousands;
}

std::string FormatFloat(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  // printf rounds the binary value correctly except at exact ties, where it rounds to even
  // (.03125 -> .0312). A value is an exact tie at four decimals exactly when |value| x 32 (an
  // exact product) is an odd integer; those round away from zero.
  const double magnitude = std::fabs(value);
  const double times32 = magnitude * 32.0;
  char digits[400];
  if (times32 < 1e12 && times32 == std::floor(times32) && std::fmod(times32, 2.0) == 1.0) {
    // magnitude x 10000 is then an exact half (below 2^53, so every step here is exact);
    // round() takes it away from zero.
    const double units = std::round(magnitude * 10000.0);
    std::snprintf(digits, sizeof digits, "%.0f.%04.0f", std::floor(units / 10000.0),
                  std::fmod(units, 10000.0));
  } else {
    std::snprintf(digits, sizeof digits, "%.4f", magnitude);
  }
  std::string all = digits;
  const size_t point = all.find('.');
  std::string integer = all.substr(0, point);
  const std::string fraction = all.substr(point + 1, 4);
  const bool negative = value < 0 && all.find_first_not_of("0.") != std::string::npos;
  if (integer == "0") integer.clear();
  std::string grouped;
  for (size_t i = 0; i < integer.size(); ++i) {
    if (i > 0 && (integer.size() - i) % 3 == 0) grouped.push_back(thousandsSeparator);
    grouped.push_back(integer[i]);
  }
  return (negative ? "-" : "") + grouped + decimalSeparator + fraction;
}
