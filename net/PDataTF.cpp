// P-DATA-TF reading and writing (see PDataTF.h).
#include "net/PDataTF.h"

#include <cassert>
#include <string>
#include <vector>

#include "dicom/util/Log.h"
#include "net/AssociationPdus.h"

bool PDataTF::ReadDynamic(Buffer& link) {
  if (Length == 0) {
    link.ReadByte(Reserved1).ReadU32(Length);
    if (link.Failed()) {
      Length = 0;
      return false;
    }
    // A P-DATA-TF must hold at least one PDV header, and no PDU is larger than the cap.
    if (Length < kPDataMinPduLength || Length > kMaxPduLength) {
      Length = 0;
      return false;
    }
  }
  MessageComplete = 0;
  while (Length != 0) {
    link.ReadU32(PDVLength).ReadByte(PDVContextID).ReadByte(PDVControl);
    if (link.Failed()) break;
    // A PDV must hold its context ID and control byte and must end inside its PDU; anything
    // else would wrap the counts and read across PDU boundaries.
    if (PDVLength < kPdvMinLength || uint64_t(PDVLength) + kPdvLengthFieldSize > Length) break;
    if (uint64_t(MessageBuffer.available) + (PDVLength - kPdvMinLength) > MaxMessageLength) break;
    if (!MessageBuffer.AppendFrom(link, PDVLength - kPdvMinLength)) break;
    Length -= PDVLength + kPdvLengthFieldSize;
    if (PDVControl & kPdvLastFragment) {
      MessageComplete = 1;
      PresentationContextID = PDVContextID;
      return true;
    }
  }
  if (Length != 0) {  // a protocol error or a failed read inside the PDU
    Length = 0;
    MessageBuffer.DiscardIncoming();
    return false;
  }
  PresentationContextID = PDVContextID;
  return true;
}

bool PDataTF::Write(Buffer& link) {
  const std::vector<uint8_t> message = MessageBuffer.PendingBytes();
  MessageBuffer.DiscardOutgoing();
  return Write(link, message.data(), uint32_t(message.size()));
}

bool PDataTF::Write(Buffer& link, const uint8_t* message, uint32_t total) {
  if (BlockSize == 0) BlockSize = kDefaultBlockSize;
  if (BlockSize > kLargestBlockSize)
    LogWrite("WARNING, BlockSize is too big: " + std::to_string(BlockSize));
  uint32_t keptLength = Length;
  uint32_t sent = 0;
  while (sent < total) {
    if (total - sent < BlockSize) BlockSize = total - sent;
    if (sent + BlockSize == total)
      SendControl |= kPdvLastFragment;
    else
      SendControl &= kPdvCommand;
    PDVContextID = PresentationContextID;
    PDVControl = SendControl;
    PDVLength = BlockSize + kPdvMinLength;
    Length = BlockSize + kPdvHeaderSize;
    ItemType = 4;
    Reserved1 = 0;
    link.WriteByte(ItemType).WriteByte(Reserved1).WriteU32(Length);
    link.WriteU32(PDVLength).WriteByte(PDVContextID).WriteByte(PDVControl);
    if (BlockSize) link.Write(message + sent, BlockSize);
    // Header and fragment leave in one send (one chunk while the PDU fits 32,600 bytes).
    if (!link.Flush()) {
      Length = keptLength;
      return false;
    }
    sent += BlockSize;
    assert(sent <= total);
  }
  Length = keptLength;
  return true;
}
