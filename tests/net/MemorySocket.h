// An in-memory Socket for tests and fuzzing: reads come from a byte script (in pieces of a
// chosen size), sends are captured. At the end of the script a read fails as a closed peer.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "net/Socket.h"

class MemorySocket : public Socket {
 public:
  explicit MemorySocket(std::vector<uint8_t> script = {}, uint32_t piece = 1024)
      : input(std::move(script)), pieceSize(piece) {
    connected = true;
  }
  bool SendBinary(const void* bytes, uint32_t length) override {
    if (!connected) return false;
    const auto* data = static_cast<const uint8_t*>(bytes);
    sent.insert(sent.end(), data, data + length);
    ++sendCount;
    return true;
  }
  int ReadBinary(void* buffer, uint32_t size) override {
    if (!connected || position >= input.size()) {
      connected = false;
      return -1;
    }
    uint32_t count = std::min<uint32_t>({size, pieceSize, uint32_t(input.size() - position)});
    std::memcpy(buffer, input.data() + position, count);
    position += count;
    return int(count);
  }
  bool Connect(const std::string&, const std::string&) override { return connected = true; }
  void Append(const std::vector<uint8_t>& bytes) {
    input.insert(input.end(), bytes.begin(), bytes.end());
  }

  std::vector<uint8_t> input;
  size_t position = 0;
  uint32_t pieceSize;
  std::vector<uint8_t> sent;
  int sendCount = 0;
};
