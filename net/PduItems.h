// The items and sub-items that the association PDUs carry: UID items, the proposed presentation
// context and its answer, and the user information with its sub-items.
//
// Below: the link Buffer (big endian). Above: the association PDUs (net/AssociationPdus.h).
// Never sees a DIMSE command or a socket.
//
// Every item on the wire:
//   offset 0  size 1  item type
//   offset 1  size 1  reserved (0)
//   offset 2  size 2  item length: the bytes that follow
//   offset 4  ...     contents
//
// Reading: the enclosing reader has consumed the type byte; ReadDynamic reads the reserved byte
// and the length, takes exactly `Length` bytes (failing when fewer remain in the parent) and
// parses the contents inside that window. A field that would run past the window makes the item
// read false; the unread tail of a window is skipped. The caller's walk goes on by Size().
// Writing: Size() before Write(); composite items take their Length from Size().
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "net/Buffer.h"

inline constexpr uint32_t kItemHeaderSize = 1 + 1 + 2;  // type, reserved, length

enum ItemTypes : uint8_t {
  kApplicationContextItem = 0x10,
  kPresentationContextItem = 0x20,
  kPresentationContextAcceptItem = 0x21,
  kAbstractSyntaxItem = 0x30,
  kTransferSyntaxItem = 0x40,
  kUserInformationItem = 0x50,
  kMaxSubLengthItem = 0x51,
  kImpClassItem = 0x52,
  kAsyncOpWindowItem = 0x53,
  kSCPSCURoleItem = 0x54,
  kImpVersionItem = 0x55,
  kUserIdentityItem = 0x58,
  kUserIdentityResponseItem = 0x59,
};

// Drops trailing NUL bytes (and only those) from a UID read off the wire.
std::string StripTrailingNuls(std::string text);

// Item types 0x10, 0x30, 0x40, 0x52, 0x55: a text without terminator or padding.
class UIDitem {
 public:
  UIDitem() = default;
  UIDitem(const std::string& text, uint8_t itemType);
  void Set(const std::string& text, uint8_t itemType);
  bool Write(Buffer& link);
  bool Read(Buffer& link);
  bool ReadDynamic(Buffer& link);
  uint32_t Size() const { return Length + kItemHeaderSize; }
  // The text as compared: without trailing NULs.
  const std::string& Text() const { return UID; }

  uint8_t ItemType = 0;
  uint8_t Reserved1 = 0;
  uint16_t Length = 0;
  std::string UID;
};

//   0 1 type 0x20 | 1 1 reserved | 2 2 length | 4 1 context ID | 5..7 reserved
//   8 .. abstract syntax item 0x30, then one transfer syntax item 0x40 per syntax
class PresentationContext {
 public:
  static constexpr uint32_t kFixedSize = 1 + 1 + 1 + 1;  // ID and three reserved bytes
  PresentationContext();
  void SetAbstractSyntax(const std::string& uid);
  void AddTransferSyntax(const std::string& uid);
  bool Write(Buffer& link);
  bool ReadDynamic(Buffer& link);
  uint32_t Size();

  uint8_t ItemType = kPresentationContextItem;
  uint8_t Reserved1 = 0;
  uint16_t Length = 0;
  uint8_t PresentationContextID = 0;
  uint8_t Reserved2 = 0;
  uint8_t Reserved3 = 0;
  uint8_t Reserved4 = 0;
  UIDitem AbsSyntax;
  std::vector<std::unique_ptr<UIDitem>> TrnSyntax;
};

//   0 1 type 0x21 | 1 1 reserved | 2 2 length | 4 1 context ID | 5 1 reserved | 6 1 result
//   7 1 reserved | 8 .. transfer syntax item 0x40 (length 0 when not accepted)
class PresentationContextAccept {
 public:
  static constexpr uint32_t kFixedSize = 1 + 1 + 1 + 1;  // ID, reserved, result, reserved
  static constexpr uint8_t kAcceptance = 0;
  static constexpr uint8_t kTransferSyntaxesNotSupported = 4;
  PresentationContextAccept();
  void SetAbstractSyntax(const std::string& uid);
  void SetTransferSyntax(const std::string& uid);
  bool Write(Buffer& link);
  bool ReadDynamic(Buffer& link);
  uint32_t Size();

  uint8_t ItemType = kPresentationContextAcceptItem;
  uint8_t Reserved1 = 0;
  uint16_t Length = 0;
  uint8_t PresentationContextID = 0;
  uint8_t Reserved2 = 0;
  uint8_t Result = 2;
  uint8_t Reserved4 = 0;
  UIDitem AbsSyntax;  // kept in memory only, never on the wire
  UIDitem TrnSyntax;
};

// 51 00 00 04, then the largest P-DATA variable field the sender can receive (0: no limit).
class MaxSubLength {
 public:
  bool Write(Buffer& link);
  bool ReadDynamic(Buffer& link);
  uint32_t Size() const { return Length + kItemHeaderSize; }

  uint8_t ItemType = kMaxSubLengthItem;
  uint8_t Reserved1 = 0;
  uint16_t Length = 4;
  uint32_t MaximumLength = 0;
};

// 53 00 length, operations invoked (2), operations performed (2). Kept, never used.
class AsyncOpWindow {
 public:
  bool ReadDynamic(Buffer& link);
  uint32_t Size() const { return Length + kItemHeaderSize; }

  uint8_t ItemType = kAsyncOpWindowItem;
  uint8_t Reserved1 = 0;
  uint16_t Length = 0;
  uint16_t MaxOperationsInvoked = 0;
  uint16_t MaxOperationsPerformed = 0;
};

// 54 00 length, UID length (2), UID, SCU role (1), SCP role (1). Kept, never used.
class SCPSCURole {
 public:
  bool ReadDynamic(Buffer& link);
  uint32_t Size() const { return Length + kItemHeaderSize; }

  uint8_t ItemType = kSCPSCURoleItem;
  uint8_t Reserved1 = 0;
  uint16_t Length = 0;
  std::string UID;
  uint8_t SCURole = 0;
  uint8_t SCPRole = 0;
};

// 58 00 length, identity type (1), positive response requested (1), primary length (2),
// primary (user name), secondary length (2), secondary (passcode). Length = 6 + both fields.
class UserIdentity {
 public:
  bool Write(Buffer& link);
  bool ReadDynamic(Buffer& link);
  uint32_t Size() const { return Length + kItemHeaderSize; }

  uint8_t ItemType = kUserIdentityItem;
  uint8_t Reserved1 = 0;
  uint16_t Length = 0;
  uint8_t UserIdentityType = 0;
  uint8_t PositiveResponseRequested = 0;
  uint16_t PrimaryFieldLength = 0;
  std::string PrimaryField;
  uint16_t SecondaryFieldLength = 0;
  std::string SecondaryField;
};

// 59 00 length, response length (2), response. Read only, logged only.
class UserIdentityResponse {
 public:
  bool ReadDynamic(Buffer& link);
  uint32_t Size() const { return Length + kItemHeaderSize; }

  uint8_t ItemType = kUserIdentityResponseItem;
  uint8_t Reserved1 = 0;
  uint16_t Length = 0;
  uint16_t ResponseLength = 0;
  std::string Response;
};

//   0 1 type 0x50 | 1 1 reserved | 2 2 length (sum of the sub-items)
//   4 8 maximum length 0x51 | then 0x52 class UID | 0x55 version name | 0x58 identity (if any)
// Length 0 means "not counted yet": Size() then counts it; any other value is used as it stands.
class UserInformation {
 public:
  UserInformation();
  bool Write(Buffer& link);
  bool ReadDynamic(Buffer& link);
  uint32_t Size();
  void SetImpClass(const std::string& uid);
  void SetImpVersion(const std::string& name);
  void SetUserIdentity(const std::string& user, const std::string& password);

  uint8_t ItemType = kUserInformationItem;
  uint8_t Reserved1 = 0;
  uint16_t Length = 0;
  ::MaxSubLength MaxSubLength;
  ::AsyncOpWindow AsyncOpWindow;
  ::SCPSCURole SCPSCURole;
  UIDitem ImpClass;
  UIDitem ImpVersion;
  ::UserIdentity UserIdentity;
  ::UserIdentityResponse UserIdentityResponse;
};
