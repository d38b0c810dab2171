// The process-wide ID counter: presentation context IDs (odd, 1..255), the provisional IDs of
// presentation context answers, and DIMSE message IDs (odd, 16 bits). Every draw is one atomic
// step, so concurrent associations always get odd, non-zero values where oddness is required.
// Knows nothing of sockets or PDUs.
#pragma once

#include <atomic>
#include <cstdint>

extern std::atomic<uint32_t> UniqueIdCounter;

void ResetUniqueId();
uint8_t NextUniqueId8();
uint8_t NextOddUniqueId8();
uint16_t NextOddUniqueId16();
