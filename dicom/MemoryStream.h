// A growable byte buffer with a read/write position, behaving like the class library's memory
// stream: a short read returns the count and leaves the position at the end, a seek past the end
// is allowed, a write grows the buffer.
//
// A stream may also be lent a read-only block (Lend): it then reads from that block in place, and
// the element codec lets large values refer into it instead of copying them (TagValue). Anything
// that writes to a lent stream, or asks for its bytes as a vector, first copies the block into
// the stream's own buffer.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

class MemoryStream {
 public:
  uint32_t Read(void* buffer, uint32_t count) {
    const uint64_t available = Remaining();
    const uint32_t n = count < available ? count : static_cast<uint32_t>(available);
    if (n > 0) {
      std::memcpy(buffer, Data() + position_, n);
      position_ += n;
    }
    return n;
  }
  void Write(const void* bytes, uint32_t count) {
    if (lent_) Materialise();
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
  uint64_t Size() const { return lent_ ? lentSize_ : bytes_.size(); }
  uint64_t Remaining() const { return position_ < Size() ? Size() - position_ : 0; }
  void Reserve(uint64_t capacity) {
    if (lent_) Materialise();
    bytes_.reserve(capacity);
  }
  void Clear() {
    lent_.reset();
    lentSize_ = 0;
    bytes_.clear();
    position_ = 0;
  }
  // The bytes, wherever they are kept.
  const uint8_t* Data() const { return lent_ ? lent_.get() : bytes_.data(); }
  std::vector<uint8_t>& Bytes() {
    if (lent_) Materialise();
    return bytes_;
  }

  // Reads from `size` bytes at `block` from now on, position 0, without copying them. The block
  // must not change while anything refers to it.
  void Lend(std::shared_ptr<const uint8_t> block, uint64_t size) {
    Clear();
    lent_ = std::move(block);
    lentSize_ = size;
  }
  // The lent block (null when the stream holds its own bytes).
  const std::shared_ptr<const uint8_t>& Lent() const { return lent_; }

 private:
  void WriteInside(const void* bytes, uint32_t count);
  void Materialise();

  std::vector<uint8_t> bytes_;
  uint64_t position_ = 0;
  std::shared_ptr<const uint8_t> lent_;
  uint64_t lentSize_ = 0;
};
