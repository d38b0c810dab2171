// The in-memory byte stream under the element codec: writes that do not simply append, and the
// copy a lent block turns into before it is changed.
#include "dicom/MemoryStream.h"

void MemoryStream::WriteInside(const void* bytes, uint32_t count) {
  if (count == 0) return;
  // A write after a seek past the end fills the gap with zero bytes.
  const uint64_t end = position_ + count;
  if (end > bytes_.size()) bytes_.resize(end);
  std::memcpy(bytes_.data() + position_, bytes, count);
  position_ = end;
}

void MemoryStream::Materialise() {
  bytes_.assign(lent_.get(), lent_.get() + lentSize_);
  lent_.reset();
  lentSize_ = 0;
}
