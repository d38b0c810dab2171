// A growable byte buffer with a read/write position, behaving like the class library's memory
// stream: a short read returns the count and leaves the position at the end, a seek past the end
// is allowed, a write grows the buffer.
#pragma once

#include <cstdint>
#include <cstring>
#include <vector>

class MemoryStream {
 public:
  uint32_t Read(void* buffer, uint32_t count) {
    const uint64_t available = Remaining();
    const uint32_t n = count < available ? count : static_cast<uint32_t>(available);
    if (n > 0) {
      std::memcpy(buffer, bytes_.data() + position_, n);
      position_ += n;
    }
    return n;
  }
  void Write(const void* bytes, uint32_t count) {
    // Appending is by far the common case (encoding a data set); it grows geometrically
    // without zero-filling first.
    if (position_ == bytes_.size()) {
      const uint8_t* from = static_cast<const uint8_t*>(bytes);
      bytes_.insert(bytes_.end(), from, from + count);
      position_ += count;
      return;
    }
    WriteInside(bytes, count);
  }
  void Seek(uint64_t position) { position_ = position; }
  uint64_t Position() const { return position_; }
  uint64_t Size() const { return bytes_.size(); }
  uint64_t Remaining() const { return position_ < bytes_.size() ? bytes_.size() - position_ : 0; }
  void Reserve(uint64_t capacity) { bytes_.reserve(capacity); }
  void Clear() {
    bytes_.clear();
    position_ = 0;
  }
  std::vector<uint8_t>& Bytes() { return bytes_; }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  void WriteInside(const void* bytes, uint32_t count);

  std::vector<uint8_t> bytes_;
  uint64_t position_ = 0;
};
