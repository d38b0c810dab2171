// The in-memory byte stream under the element codec.
#include "dicom/MemoryStream.h"

#include <cstring>

uint32_t MemoryStream::Read(void* buffer, uint32_t count) {
  const uint64_t available = Remaining();
  const uint32_t n = count < available ? count : static_cast<uint32_t>(available);
  if (n > 0) {
    std::memcpy(buffer, bytes_.data() + position_, n);
    position_ += n;
  }
  return n;
}

void MemoryStream::Write(const void* bytes, uint32_t count) {
  if (count == 0) return;
  // A write after a seek past the end fills the gap with zero bytes.
  const uint64_t end = position_ + count;
  if (end > bytes_.size()) bytes_.resize(end);
  std::memcpy(bytes_.data() + position_, bytes, count);
  position_ = end;
}
