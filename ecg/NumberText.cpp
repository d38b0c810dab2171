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
  if (times32 == std::floor(times32) && std::fmod(times32, 2.0) == 1.0) {
    // An odd multiple of 1/32 lies below 2^48, so its whole part and its fraction (j/32, j odd)
    // split exactly, and the fraction x 10000 is an exact half that round() takes away from
    // zero; j <= 31 never carries into the whole part.
    const double whole = std::floor(magnitude);
    const double fraction = std::round((magnitude - whole) * 10000.0);
    std::snprintf(digits, sizeof digits, "%.0f.%04.0f", whole, fraction);
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
