// Small helpers shared by the codec tests: a scratch folder, running peer tools, file bytes,
// sample patterns and frame areas with a guard zone behind them.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/TempFolder.h"

namespace codec_test {

using ScratchDir = TempFolder;

// Runs a shell command with its output discarded; true when it exits 0.
inline bool RunTool(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// A deterministic pattern of `count` samples below 2^bits, stored in `bytesPerSample` bytes
// (little endian).
inline std::vector<uint8_t> Pattern(size_t count, int bits, int bytesPerSample, uint32_t seed = 7) {
  std::vector<uint8_t> out(count * bytesPerSample);
  uint32_t x = seed;
  const uint32_t mask = bits >= 32 ? 0xFFFFFFFFu : ((1u << bits) - 1);
  for (size_t i = 0; i < count; ++i) {
    x = x * 1103515245u + 12345u;
    // A smooth ramp with some noise, so lossy coders have structure to work with.
    const uint32_t v = ((static_cast<uint32_t>(i * 37) + ((x >> 16) & 15)) & mask);
    for (int b = 0; b < bytesPerSample; ++b)
      out[i * bytesPerSample + b] = static_cast<uint8_t>(v >> (8 * b));
  }
  return out;
}

// A frame area followed by a guard zone that no decoder may touch.
struct GuardedArea {
  static constexpr size_t kGuard = 64;
  static constexpr uint8_t kFill = 0xA5;
  explicit GuardedArea(size_t size) : size(size), bytes(size + kGuard, kFill) {}
  uint8_t* data() { return bytes.data(); }
  bool GuardIntact() const {
    for (size_t i = size; i < bytes.size(); ++i)
      if (bytes[i] != kFill) return false;
    return true;
  }
  bool AreaUntouched() const {
    for (size_t i = 0; i < size; ++i)
      if (bytes[i] != kFill) return false;
    return true;
  }
  std::vector<uint8_t> Area() const { return {bytes.begin(), bytes.begin() + size}; }
  size_t size;
  std::vector<uint8_t> bytes;
};

inline int MaxAbsDiff16(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  int worst = 0;
  for (size_t i = 0; i + 1 < a.size() && i + 1 < b.size(); i += 2) {
    const int x = a[i] | (a[i + 1] << 8), y = b[i] | (b[i + 1] << 8);
    worst = std::max(worst, std::abs(x - y));
  }
  return worst;
}

inline int MaxAbsDiff8(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  int worst = 0;
  for (size_t i = 0; i < a.size() && i < b.size(); ++i)
    worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

// Mean absolute difference of 1- or 2-byte little-endian samples.
inline double MeanAbsDiff(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b,
                          int bytesPerSample) {
  const size_t n = std::min(a.size(), b.size()) / static_cast<size_t>(bytesPerSample);
  if (n == 0) return 0;
  double sum = 0;
  for (size_t i = 0; i < n; ++i) {
    int x = a[i * bytesPerSample], y = b[i * bytesPerSample];
    if (bytesPerSample == 2) {
      x |= a[i * 2 + 1] << 8;
      y |= b[i * 2 + 1] << 8;
    }
    sum += std::abs(x - y);
  }
  return sum / static_cast<double>(n);
}

}  // namespace codec_test
