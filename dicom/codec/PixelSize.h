// Transfer-syntax UIDs the conversion names, and the size rule shared by its steps.
#pragma once

#include <cstdint>
#include <string_view>

namespace ts {
inline constexpr std::string_view kImplicitLE = "1.2.840.10008.1.2";
inline constexpr std::string_view kExplicitLE = "1.2.840.10008.1.2.1";
inline constexpr std::string_view kExplicitBE = "1.2.840.10008.1.2.2";
inline constexpr std::string_view kRle = "1.2.840.10008.1.2.5";
inline constexpr std::string_view kJpegBaseline = "1.2.840.10008.1.2.4.50";
inline constexpr std::string_view kJpegExtended = "1.2.840.10008.1.2.4.51";
inline constexpr std::string_view kJpegLossless = "1.2.840.10008.1.2.4.57";
inline constexpr std::string_view kJpegLosslessSV1 = "1.2.840.10008.1.2.4.70";
inline constexpr std::string_view kJ2kLossless = "1.2.840.10008.1.2.4.90";
inline constexpr std::string_view kJ2k = "1.2.840.10008.1.2.4.91";
inline constexpr std::string_view kMpeg2 = "1.2.840.10008.1.2.4.100";

inline bool IsNative(std::string_view uid) {
  return uid == kImplicitLE || uid == kExplicitLE || uid == kExplicitBE;
}
}  // namespace ts

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
