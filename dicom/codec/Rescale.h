// Rescaling of 16-bit samples for the lossy targets: x = v * slope + intercept (v signed when
// the pixel representation is non-zero), truncated toward zero, +1024 for CT, then limited to
// the target range. Samples are little endian; byteCount / 2 samples are processed.
#pragma once

#include <cstdint>
#include <string>

// Writes one byte per input sample: x divided by the divisor of `bitsStored` (10 → 4, 12 → 16,
// 14 → 64, 16 → 256, else 1; CT → 16, NM → 1), limited to 0..255.
void RescaleTo8Bits(uint8_t* out, const uint8_t* in, uint16_t pixelRepresentation,
                    uint16_t bitsStored, float slope, float intercept, uint32_t byteCount,
                    const std::string& modality);
// In place, limited to 0..4095.
void RescaleTo12Bits(uint8_t* samples, uint16_t pixelRepresentation, float slope, float intercept,
                     uint32_t byteCount, const std::string& modality);
// In place, limited to 0..65535.
void RescaleTo16Bits(uint8_t* samples, uint16_t pixelRepresentation, float slope, float intercept,
                     uint32_t byteCount, const std::string& modality);

// The divisor RescaleTo8Bits uses, also behind the slope text written for baseline JPEG.
int EightBitDivisor(uint16_t bitsStored, const std::string& modality);
