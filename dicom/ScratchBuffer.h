// A byte buffer kept per thread between whole-file reads and writes. A Part 10 file is read into
// one buffer and encoded into another; allocating those afresh each time hands the memory back to
// the system and faults it in again page by page, which costs as much as the parsing itself.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline constexpr size_t kScratchKeepAtMost = 8u << 20;

// Lends `bytes` the thread's spare buffer (emptied, its capacity kept) for the lease's lifetime,
// then keeps whatever `bytes` holds as the spare again, unless it has grown beyond
// kScratchKeepAtMost bytes.
class ScratchLease {
 public:
  explicit ScratchLease(std::vector<uint8_t>& bytes);
  ~ScratchLease();
  ScratchLease(const ScratchLease&) = delete;
  ScratchLease& operator=(const ScratchLease&) = delete;

 private:
  std::vector<uint8_t>& bytes_;
};
