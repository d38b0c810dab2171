// Number conversions of the chart: saturating float-to-int steps and the texts of the readouts.
#pragma once

#include <cstdint>
#include <string>

// trunc(value) clamped to the int32 range; NaN gives `nanValue`.
inline int32_t SaturatingTrunc(double value, int32_t nanValue);
inline int64_t SaturatingTrunc64(double value, int64_t nanValue);

// The shortest general form of a value (as "%.15g"): 1230, -100, 2.5.
std::string FloatToStr(double value);

// The class library's float format with the pattern "#.##0,0", the one the amplitude readouts
// use: four decimals rounded half away from zero, no digit before the decimal separator when the
// integer part is 0, thousands grouped: 1.2500, .5000, -.2500, 1,234.5000.
// A value that rounds to zero never carries a sign. Non-finite values give NAN, INF and -INF.
std::string FormatFloat(double value);

// The separators of FormatFloat (the GUI sets the user's); '.' and ',' until then.
void SetNumberSeparators(char decimalPoint, char thousands);

// Inline: the trace calls these twice per sample.
inline int32_t SaturatingTrunc(double value, int32_t nanValue) {
  if (value != value) return nanValue;
  if (value >= 2147483647.0) return INT32_MAX;
  if (value <= -2147483648.0) return INT32_MIN;
  return static_cast<int32_t>(value);
}

inline int64_t SaturatingTrunc64(double value, int64_t nanValue) {
  if (value != value) return nanValue;
  if (value >= 9.2e18) return INT64_MAX;
  if (value <= -9.2e18) return INT64_MIN;
  return static_cast<int64_t>(value);
}
