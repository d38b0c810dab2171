// The process-wide ID counter (see UniqueId.h).
#include "net/UniqueId.h"

std::atomic<uint32_t> UniqueIdCounter{1};

namespace {
// One compare-and-swap: r = c | 1, counter = r + 1. Returns r.
uint32_t DrawOdd() {
  uint32_t current = UniqueIdCounter.load();
  uint32_t result;
  do {
    result = current | 1u;
  } while (!UniqueIdCounter.compare_exchange_weak(current, result + 1));
  return result;
}
}  // namespace

void ResetUniqueId() { UniqueIdCounter.store(1); }
uint8_t NextUniqueId8() { return uint8_t(UniqueIdCounter.fetch_add(1)); }
uint8_t NextOddUniqueId8() { return uint8_t(DrawOdd()); }
uint16_t NextOddUniqueId16() { return uint16_t(DrawOdd()); }
