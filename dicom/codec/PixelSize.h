// The size rules shared by the conversion steps.
#pragma once

#include <cstdint>

// Bytes of the native pixel data: columns x rows x bits allocated / 8, x 3 for colour, x frames
// when frames is positive. Computed in 64 bits so large multi-frame objects cannot wrap.
inline uint64_t NativePixelSize(uint16_t columns, uint16_t rows, uint16_t bitsAllocated,
                                bool colour, int frames) {
  uint64_t size = static_cast<uint64_t>(columns) * rows * bitsAllocated / 8;
  if (colour) size *= 3;
  if (frames > 0) size *= static_cast<uint64_t>(frames);
  return size;
}

// Largest size an element length can hold (0xFFFFFFFF means undefined).
inline constexpr uint64_t kMaxElementLength = 0xFFFFFFFEu;
