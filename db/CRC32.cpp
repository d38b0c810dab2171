// CRC-32 as zlib, PNG and Ethernet compute it (reflected 0x04C11DB7, initial and final
// complement), and its 8-digit text form used for store folder names.
#include <cstdio>
#include <string>

#include "db/StoreNames.h"

namespace {
constexpr uint32_t kPolynomial = 0x04C11DB7;
}

CCRC32::CCRC32() { BuildTable(); }

uint32_t CCRC32::ReflectBits(uint32_t value, int bits) {
  uint32_t reflected = 0;
  for (int i = 0; i < bits; ++i)
    if (value & (1u << i)) reflected |= 1u << (bits - 1 - i);
  return reflected;
}

void CCRC32::BuildTable() {
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t v = ReflectBits(i, 8) << 24;
    for (int bit = 0; bit < 8; ++bit) v = (v << 1) ^ ((v & 0x80000000u) ? kPolynomial : 0);
    table_[i] = ReflectBits(v, 32);
  }
}

void CCRC32::Update(uint32_t& crc, const uint8_t* bytes, size_t length) const {
  for (size_t i = 0; i < length; ++i) crc = table_[(crc ^ bytes[i]) & 0xFF] ^ (crc >> 8);
}

uint32_t CCRC32::Compute(const uint8_t* bytes, size_t length) const {
  uint32_t crc = 0xFFFFFFFF;
  Update(crc, bytes, length);
  return ~crc;
}

std::string TextCRC32Hex(const std::string& text) {
  const CCRC32 crc;
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08X",
                static_cast<unsigned>(
                    crc.Compute(reinterpret_cast<const uint8_t*>(text.data()), text.size())));
  return hex;
}
