// Sample rescaling for the lossy targets.
#include "dicom/codec/Rescale.h"

#include <algorithm>
#include <cmath>

#include "dicom/util/ByteOrder.h"

namespace {

// Clamped well inside the 64-bit range before any integer conversion, so absurd slopes never
// overflow.
constexpr double kFar = 1e12;

int64_t Rescaled(const uint8_t* at, uint16_t pixelRepresentation, float slope, float intercept,
                 const std::string& modality) {
  const uint16_t raw = DecodeU16(at);
  const double v = pixelRepresentation != 0 ? static_cast<double>(static_cast<int16_t>(raw))
                                            : static_cast<double>(raw);
  double x = std::trunc(v * static_cast<double>(slope) + static_cast<double>(intercept));
  if (std::isnan(x)) x = 0;
  int64_t r = static_cast<int64_t>(std::clamp(x, -kFar, kFar));
  if (modality == "CT") r += 1024;
  return r;
}

void RescaleInPlace(uint8_t* samples, uint16_t pixelRepresentation, float slope, float intercept,
                    uint32_t byteCount, const std::string& modality, int64_t top) {
  for (uint32_t i = 0; i + 1 < byteCount; i += 2) {
    const int64_t x = std::clamp<int64_t>(
        Rescaled(samples + i, pixelRepresentation, slope, intercept, modality), 0, top);
    samples[i] = static_cast<uint8_t>(x & 0xFF);
    samples[i + 1] = static_cast<uint8_t>(x >> 8);
  }
}

}  // namespace

int EightBitDivisor(uint16_t bitsStored, const std::string& modality) {
  int divisor = 1;
  switch (bitsStored) {
    case 10:
      divisor = 4;
      break;
    case 12:
      divisor = 16;
      break;
    case 14:
      divisor = 64;
      break;
    case 16:
      divisor = 256;
      break;
    default:
      break;
  }
  if (modality == "CT") divisor = 16;
  if (modality == "NM") divisor = 1;
  return divisor;
}

void RescaleTo8Bits(uint8_t* out, const uint8_t* in, uint16_t pixelRepresentation,
                    uint16_t bitsStored, float slope, float intercept, uint32_t byteCount,
                    const std::string& modality) {
  const int64_t divisor = EightBitDivisor(bitsStored, modality);
  for (uint32_t i = 0; i + 1 < byteCount; i += 2) {
    const int64_t x = Rescaled(in + i, pixelRepresentation, slope, intercept, modality) / divisor;
    out[i / 2] = static_cast<uint8_t>(std::clamp<int64_t>(x, 0, 255));
  }
}

void RescaleTo12Bits(uint8_t* samples, uint16_t pixelRepresentation, float slope, float intercept,
                     uint32_t byteCount, const std::string& modality) {
  RescaleInPlace(samples, pixelRepresentation, slope, intercept, byteCount, modality, 4095);
}

void RescaleTo16Bits(uint8_t* samples, uint16_t pixelRepresentation, float slope, float intercept,
                     uint32_t byteCount, const std::string& modality) {
  RescaleInPlace(samples, pixelRepresentation, slope, intercept, byteCount, modality, 65535);
}
