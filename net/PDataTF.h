// P-DATA-TF: carries DIMSE messages (command sets and data sets, already encoded) over an
// association. Reading collects the fragments of one message from as many PDVs and PDUs as it
// takes; writing cuts one message into PDUs of one PDV each, no larger than the peer allows.
//
// Below: the link Buffer. Above: the association service. Never decodes a message.
//
// One PDU as written:
//   offset  size       field
//   0       1          PDU type 0x04
//   1       1          reserved
//   2       4          PDU length = BlockSize + 6
//   6       4          PDV length = BlockSize + 2
//   10      1          presentation context ID
//   11      1          control: 0x01 command set, 0x02 last fragment
//   12      BlockSize  fragment
// A PDU read may hold any number of PDVs (offsets 6.. repeated).
//
// `Length` is the read state: 0 between PDUs, otherwise the bytes of the current PDU not yet
// read, so the next read goes on with the next PDV without a PDU header.
#pragma once

#include <cstdint>

#include "net/Buffer.h"

inline constexpr uint32_t kPdvHeaderSize = 4 + 1 + 1;  // PDV length, context ID, control
inline constexpr uint32_t kPdvLengthFieldSize = 4;
inline constexpr uint32_t kPdvMinLength = 1 + 1;  // context ID and control
inline constexpr uint32_t kPDataMinPduLength = kPdvHeaderSize;
inline constexpr uint32_t kDefaultBlockSize = 4096;
inline constexpr uint32_t kLargestBlockSize = 16384 - kPdvHeaderSize;  // 16378
inline constexpr uint8_t kPdvCommand = 0x01;
inline constexpr uint8_t kPdvLastFragment = 0x02;
// One message assembled from fragments is never larger than this: a peer that keeps sending
// fragments without a last one could otherwise make us hold everything it sends.
inline constexpr uint64_t kMaxMessageLength = 1024ull * 1024 * 1024;

class PDataTF {
 public:
  PDataTF() = default;
  virtual ~PDataTF() = default;
  // Reads PDVs until a message is complete or the current PDU is used up. False only on a
  // protocol error (a PDU or PDV length that does not fit, a message beyond MaxMessageLength)
  // or a failed read; the caller aborts.
  bool ReadDynamic(Buffer& link);
  // Sends the message pending in MessageBuffer. On a failed send every byte of the message
  // still waiting is dropped and `Length` put back, so nothing of it reaches a later message.
  bool Write(Buffer& link);
  // Sends the `total` encoded bytes at `message` the same way, each fragment taken straight
  // from them.
  bool Write(Buffer& link, const uint8_t* message, uint32_t total);

  uint8_t ItemType = 4;
  uint8_t Reserved1 = 0;
  uint32_t Length = 0;
  uint32_t BlockSize = 0;
  Buffer MessageBuffer;
  int MessageComplete = 0;
  uint32_t PDVLength = 0;
  uint8_t PDVContextID = 0;
  uint8_t PDVControl = 0;
  uint8_t PresentationContextID = 0;
  uint8_t SendControl = 0;
  uint64_t MaxMessageLength = kMaxMessageLength;
};
