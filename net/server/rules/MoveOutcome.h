// The bookkeeping of a C-MOVE: how each C-STORE sub-operation counts, which final status the
// counts give, and how an object is encoded for the context the destination accepted.
#pragma once

#include <cstdint>
#include <string>

inline constexpr uint16_t kMoveAllSucceeded = 0x0000;
inline constexpr uint16_t kMoveSomeFailedOrWarned = 0xB000;
inline constexpr uint16_t kMoveAllFailed = 0xA702;

struct SubOperationCounts {
  uint16_t completed = 0;
  uint16_t failed = 0;
  uint16_t warning = 0;
};

// Counts one sub-operation by its outcome: the destination's C-STORE-RSP status, or a negative
// value for any local failure (no response, not written, unreadable file, failed association).
void CountSubOperation(SubOperationCounts& counts, int32_t storeStatus);

// 0x0000 when nothing failed or warned (also when nothing ran), 0xA702 when every sub-operation
// failed, 0xB000 otherwise.
uint16_t FinalMoveStatus(const SubOperationCounts& counts);

// How WriteStoreRQ sends a data set on a context whose transfer syntax is `contextSyntax`.
enum class StoreEncoding {
  AsItIs,           // same syntax
  Convert,          // image: convert to the context's syntax
  RelabelImplicit,  // non-image explicit VR little endian (or no syntax) sent implicit
  Refuse,           // non-image pairing that would put garbage on the wire: result -3
};

StoreEncoding ChooseStoreEncoding(const std::string& dataSetSyntax,
                                  const std::string& contextSyntax, bool isImage);
