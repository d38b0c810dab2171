// Unsigned 16- and 32-bit values from bytes in either byte order: DICOM values follow the
// transfer syntax (little endian but for explicit VR big endian), network fields are big endian.
// The caller has checked that the two or four bytes are there.
#pragma once

#include <cstdint>

inline uint16_t DecodeU16(const uint8_t* at, bool bigEndian = false) {
  return bigEndian ? static_cast<uint16_t>((at[0] << 8) | at[1])
                   : static_cast<uint16_t>(at[0] | (at[1] << 8));
}

inline uint32_t DecodeU32(const uint8_t* at, bool bigEndian = false) {
  const uint32_t b0 = at[0], b1 = at[1], b2 = at[2], b3 = at[3];
  return bigEndian ? (b0 << 24) | (b1 << 16) | (b2 << 8) | b3
                   : b0 | (b1 << 8) | (b2 << 16) | (b3 << 24);
}
