// The PDUs that open and end an association: A-ASSOCIATE-RQ/AC/RJ, A-RELEASE-RQ/RP, A-ABORT.
//
// Below: the items (net/PduItems.h) and the link Buffer. Above: the association service
// (net/PDU_Service.h). Never sees a DIMSE command; never reads a socket except through Buffer.
//
// A-ASSOCIATE-RQ (type 1) and -AC (type 2):
//   offset  size  field
//   0       1     PDU type
//   1       1     reserved
//   2       4     PDU length: 68 + the sizes of the items that follow
//   6       2     protocol version (1)
//   8       2     reserved
//   10      16    called AE title
//   26      16    calling AE title
//   42      32    reserved
//   74      ...   application context 0x10, presentation contexts 0x20/0x21, user info 0x50
// A-RELEASE-RQ/RP: 05/06 00, length 4, four reserved bytes. A-ABORT: 07 00 00 00 00 04 00 00 03 01.
//
// Reading: ReadDynamic follows the type byte. The whole body is first taken into memory (at most
// kMaxPduLength, grown as bytes arrive) and the items are parsed inside it, so a lying item
// length can never move the stream out of step with the PDU boundaries.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "net/PduItems.h"

inline constexpr uint32_t kPduHeaderSize = 1 + 1 + 4;  // type, reserved, length
// One PDU body is never larger than this: a peer announcing more is a protocol error.
inline constexpr uint32_t kMaxPduLength = 64u * 1024 * 1024;
// The fixed part of an A-ASSOCIATE-RQ/AC after the PDU length.
inline constexpr uint32_t kAssociateFixedSize = 2 + 2 + 16 + 16 + 32;
static_assert(kAssociateFixedSize == 68);
// Release, abort and reject bodies: four bytes.
inline constexpr uint32_t kShortPduBodySize = 4;
inline constexpr uint32_t kAeTitleSize = 16;
// The DICOM application context: every association PDU carries it, in both roles.
inline constexpr const char* kApplicationContextUid = "1.2.840.10008.3.1.1.1";

enum PduTypes : uint8_t {
  kAssociateRQPdu = 0x01,
  kAssociateACPdu = 0x02,
  kAssociateRJPdu = 0x03,
  kPDataTFPdu = 0x04,
  kReleaseRQPdu = 0x05,
  kReleaseRPPdu = 0x06,
  kAbortPdu = 0x07,
};

// Reads the 32-bit PDU length and then the body into `body` (an in-memory Buffer), checking
// min <= length <= kMaxPduLength first. False on a bad length or a failed read.
bool ReadPduBody(Buffer& link, Buffer& body, uint32_t& length, uint32_t minLength);

// The common header and fixed part of both association PDUs.
class AAssociatePdu {
 public:
  explicit AAssociatePdu(uint8_t type);
  virtual ~AAssociatePdu() = default;
  void SetApplicationContext(const std::string& uid);
  // Blank-padded to 16 characters; longer titles are cut to 16.
  static void SetTitle(char (&field)[kAeTitleSize + 1], const std::string& title);
  // The bytes of a title as read, up to its first NUL, and zeros after them: an answer carries
  // the requestor's titles exactly as they came.
  static void CopyTitle(char (&field)[kAeTitleSize + 1], const char (&asRead)[kAeTitleSize + 1]);
  std::string CalledTitle() const { return CalledApTitle; }
  std::string CallingTitle() const { return CallingApTitle; }

  uint8_t ItemType;
  uint8_t Reserved1 = 0;
  uint32_t Length = 0;
  uint16_t ProtocolVersion = 1;
  uint16_t Reserved2 = 0;
  char CalledApTitle[kAeTitleSize + 1] = {};
  char CallingApTitle[kAeTitleSize + 1] = {};
  uint8_t Reserved3[32] = {};
  UIDitem AppContext;
  UserInformation UserInfo;
  // Set by a read whose PDU length was out of bounds: the stream cannot be trusted any more.
  bool ProtocolError = false;

 protected:
  void WriteHeader(Buffer& link);
  // Reserved byte, PDU length and body (into `body`), then the fixed part from the body.
  bool ReadFixedPart(Buffer& link, Buffer& body);
  void LogHeader(const char* title) const;
};

class AAssociateRQ : public AAssociatePdu {
 public:
  AAssociateRQ();
  void AddPresentationContext(PresentationContext* context);  // takes ownership
  void SetCallingApTitle(const std::string& title) { SetTitle(CallingApTitle, title); }
  void SetCalledApTitle(const std::string& title) { SetTitle(CalledApTitle, title); }
  bool Write(Buffer& link);
  bool Read(Buffer& link);
  bool ReadDynamic(Buffer& link);
  uint32_t Size();

  std::vector<std::unique_ptr<PresentationContext>> PresContexts;
};

class AAssociateAC : public AAssociatePdu {
 public:
  AAssociateAC();
  void AddPresContextAccept(PresentationContextAccept* answer);  // takes ownership
  void SetUserInformation(const UserInformation& info);
  bool Write(Buffer& link);
  bool Read(Buffer& link);
  bool ReadDynamic(Buffer& link);
  uint32_t Size();

  // unique_ptr entries: PDU_Service::AcceptedContexts points into them, so they must not move.
  std::vector<std::unique_ptr<PresentationContextAccept>> PresContextAccepts;
};

class AAssociateRJ {
 public:
  bool ReadDynamic(Buffer& link);

  uint8_t ItemType = kAssociateRJPdu;
  uint8_t Reserved1 = 0;
  uint32_t Length = 0;
  uint8_t Reserved2 = 0;
  uint8_t Result = 1;
  uint8_t Source = 3;
  uint8_t Reason = 1;
};

// A-RELEASE-RQ and A-RELEASE-RP share their layout.
class AReleasePdu {
 public:
  explicit AReleasePdu(uint8_t type) : ItemType(type) {}
  virtual ~AReleasePdu() = default;
  bool Write(Buffer& link);
  bool Read(Buffer& link);
  bool ReadDynamic(Buffer& link);
  uint32_t Size() {
    Length = kShortPduBodySize;
    return Length + kPduHeaderSize;
  }

  uint8_t ItemType;
  uint8_t Reserved1 = 0;
  uint32_t Length = kShortPduBodySize;
  uint32_t Reserved2 = 0;
};

class AReleaseRQ : public AReleasePdu {
 public:
  AReleaseRQ() : AReleasePdu(kReleaseRQPdu) {}
};

class AReleaseRP : public AReleasePdu {
 public:
  AReleaseRP() : AReleasePdu(kReleaseRPPdu) {}
};

class AAbortRQ {
 public:
  virtual ~AAbortRQ() = default;
  bool Write(Buffer& link);
  uint32_t Size() {
    Length = kShortPduBodySize;
    return Length + kPduHeaderSize;
  }

  uint8_t ItemType = kAbortPdu;
  uint8_t Reserved1 = 0;
  uint32_t Length = kShortPduBodySize;
  uint8_t Reserved2 = 0;
  uint8_t Reserved3 = 0;
  uint8_t Source = 3;
  uint8_t Reason = 1;
};
