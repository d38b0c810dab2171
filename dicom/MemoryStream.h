// A growable byte buffer with a read/write position, behaving like the class library's memory
// stream: a short read returns the count and leaves the position at the end, a seek past the end
// is allowed, a write grows the buffer.
#pragma once

#include <cstdint>
#include <vector>

class MemoryStream {
 public:
  uint32_t Read(void* buffer, uint32_t count);
  void Write(const void* bytes, uint32_t count);
  void Seek(uint64_t position) { position_ = position; }
  uint64_t Position() const { return position_; }
  uint64_t Size() const { return bytes_.size(); }
  uint64_t Remaining() const { return position_ < bytes_.size() ? bytes_.size() - position_ : 0; }
  void Clear() { bytes_.clear(); position_ = 0; }
  std::vector<uint8_t>& Bytes() { return bytes_; }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
  uint64_t position_ = 0;
};
