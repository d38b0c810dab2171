// The per-thread spare buffer behind ScratchLease.
#include "dicom/ScratchBuffer.h"

#include <utility>

namespace {
thread_local std::vector<uint8_t> spare;
}  // namespace

ScratchLease::ScratchLease(std::vector<uint8_t>& bytes) : bytes_(bytes) {
  if (spare.capacity() > bytes_.capacity()) {
    bytes_ = std::exchange(spare, {});
    bytes_.clear();
  }
}

ScratchLease::~ScratchLease() {
  if (bytes_.capacity() <= kScratchKeepAtMost && bytes_.capacity() > spare.capacity()) {
    spare = std::move(bytes_);
    spare.clear();
  }
}
