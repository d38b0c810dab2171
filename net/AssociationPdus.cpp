// The association PDUs (see AssociationPdus.h).
#include "net/AssociationPdus.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "dicom/util/Log.h"
#include "net/ItemWindow.h"

namespace {
// More presentation contexts than IDs exist (odd, 1..255) are never legal; beyond this many the
// rest of a request is skipped, so a crafted request cannot make us allocate millions of them.
constexpr size_t kMaxPresentationContexts = 256;

std::string FieldText(const char* field, size_t size) {
  return std::string(field, strnlen(field, size));
}

// Length := 68 + the sizes of the items (which sets their own lengths); the PDU's whole size.
template <class Context>
uint32_t AssociateSize(AAssociatePdu& pdu, std::vector<std::unique_ptr<Context>>& contexts) {
  uint32_t length = kAssociateFixedSize + pdu.AppContext.Size();
  for (auto& context : contexts) length += context->Size();
  length += pdu.UserInfo.Size();
  pdu.Length = length;
  return pdu.Length + kPduHeaderSize;
}

// The walk over the items after the fixed part, shared by the request and the acceptance: the
// application context, the presentation-context items of the PDU's own kind and the user
// information, each subtracted by the window it declared. Returns what remains of the PDU's
// length: 0 when the items end exactly there, -1 when an item of another type stopped the walk
// (`unknownWarning` is logged then, unless null).
template <class Context>
int64_t ReadItems(AAssociatePdu& pdu, Buffer& body, uint8_t contextType,
                  std::vector<std::unique_ptr<Context>>& contexts, const char* unknownWarning) {
  int64_t remaining = int64_t(pdu.Length) - kAssociateFixedSize;
  while (remaining > 0 && !body.Failed()) {
    uint8_t type = 0;
    body.ReadByte(type);
    if (type == kApplicationContextItem) {
      pdu.AppContext.ReadDynamic(body);
      remaining -= pdu.AppContext.Size();
    } else if (type == contextType) {
      auto context = std::make_unique<Context>();
      context->ReadDynamic(body);
      remaining -= context->Length + kItemHeaderSize;  // the declared window, as read
      if (contexts.size() < kMaxPresentationContexts) contexts.push_back(std::move(context));
    } else if (type == kUserInformationItem) {
      pdu.UserInfo.ReadDynamic(body);
      remaining -= pdu.UserInfo.Length + kItemHeaderSize;
    } else {
      if (unknownWarning) LogWrite(unknownWarning);
      return -1;  // the rest of the body is dropped with it
    }
  }
  return remaining;
}
}  // namespace

bool ReadPduBody(Buffer& link, Buffer& body, uint32_t& length, uint32_t minLength) {
  link.ReadU32(length);
  if (link.Failed()) return false;
  // A length beyond the cap, or too small for the fixed part the PDU must hold, cannot be a
  // PDU: the caller treats it as a protocol error and aborts rather than resynchronising.
  if (length < minLength || length > kMaxPduLength) return false;
  body.SetIncomingEndian(link.inEndian);
  body.SetOutgoingEndian(link.outEndian);
  return body.AppendFrom(link, length);
}

// ---- AAssociatePdu ----

AAssociatePdu::AAssociatePdu(uint8_t type) : ItemType(type) {
  SetApplicationContext(kApplicationContextUid);
}

void AAssociatePdu::SetApplicationContext(const std::string& uid) {
  AppContext.Set(uid, kApplicationContextItem);
}

void AAssociatePdu::SetTitle(char (&field)[kAeTitleSize + 1], const std::string& title) {
  std::memset(field, ' ', kAeTitleSize);
  std::memcpy(field, title.data(), std::min<size_t>(title.size(), kAeTitleSize));
  field[kAeTitleSize] = '\0';
}

void AAssociatePdu::CopyTitle(char (&field)[kAeTitleSize + 1],
                              const char (&asRead)[kAeTitleSize + 1]) {
  std::memset(field, 0, sizeof field);
  std::memcpy(field, asRead, strnlen(asRead, kAeTitleSize));
}

void AAssociatePdu::WriteHeader(Buffer& link) {
  link.WriteByte(ItemType).WriteByte(Reserved1).WriteU32(Length);
  link.WriteU16(ProtocolVersion).WriteU16(Reserved2);
  link.Write(CalledApTitle, kAeTitleSize);
  link.Write(CallingApTitle, kAeTitleSize);
  link.Write(Reserved3, sizeof Reserved3);
}

bool AAssociatePdu::ReadFixedPart(Buffer& link, Buffer& body) {
  ProtocolError = false;
  link.ReadByte(Reserved1);
  if (!ReadPduBody(link, body, Length, kAssociateFixedSize)) {
    ProtocolError = !link.Failed();
    return false;
  }
  body.ReadU16(ProtocolVersion).ReadU16(Reserved2);
  body.Read(CalledApTitle, kAeTitleSize);
  body.Read(CallingApTitle, kAeTitleSize);
  body.Read(Reserved3, sizeof Reserved3);
  CalledApTitle[kAeTitleSize] = CallingApTitle[kAeTitleSize] = '\0';
  return !body.Failed();
}

void AAssociatePdu::LogHeader(const char* title) const {
  LogWrite(title);
  LogWrite("ItemType: " + std::to_string(int(ItemType)));
  LogWrite("Reserved1: " + std::to_string(int(Reserved1)));
  LogWrite("Length: " + std::to_string(Length));
  LogWrite("ProtocolVersion: " + std::to_string(ProtocolVersion));
  LogWrite("Reserved2: " + std::to_string(Reserved2));
  LogWrite("CalledApTitle: " + FieldText(CalledApTitle, kAeTitleSize));
  LogWrite("CallingApTitle: " + FieldText(CallingApTitle, kAeTitleSize));
  LogWrite("Reserved3: " + FieldText(reinterpret_cast<const char*>(Reserved3), sizeof Reserved3));
}

// ---- AAssociateRQ ----

AAssociateRQ::AAssociateRQ() : AAssociatePdu(kAssociateRQPdu) {}

void AAssociateRQ::AddPresentationContext(PresentationContext* context) {
  PresContexts.emplace_back(context);
}

uint32_t AAssociateRQ::Size() { return AssociateSize(*this, PresContexts); }

bool AAssociateRQ::Write(Buffer& link) {
  Size();
  WriteHeader(link);
  if (LoggingAbove(1)) LogHeader("INFO, AAssociateRQ::Write");
  AppContext.Write(link);
  for (auto& context : PresContexts) context->Write(link);
  UserInfo.Write(link);
  // The whole PDU in one send: a header sent apart from its items waits for a delayed ACK.
  if (!link.Flush()) {
    LogWrite("ERROR, AAssociateRQ::Write Link.Flush()");
    return false;
  }
  return true;
}

bool AAssociateRQ::Read(Buffer& link) {
  link.ReadByte(ItemType);
  return ReadDynamic(link);
}

bool AAssociateRQ::ReadDynamic(Buffer& link) {
  Buffer body;
  if (!ReadFixedPart(link, body)) return false;
  if (LoggingAbove(1)) LogHeader("INFO, AAssociateRQ::Read");
  int64_t remaining = ReadItems(*this, body, kPresentationContextItem, PresContexts,
                                "WARNING, AAssociateRQ::Read Unknown Packet");
  if (remaining == 0 && !body.Failed()) return true;
  LogWrite("WARNING, AAssociateRQ::Read Count=" + std::to_string(body.Failed() ? -1 : remaining));
  return false;
}

// ---- AAssociateAC ----

AAssociateAC::AAssociateAC() : AAssociatePdu(kAssociateACPdu) {}

void AAssociateAC::AddPresContextAccept(PresentationContextAccept* answer) {
  PresContextAccepts.emplace_back(answer);
}

void AAssociateAC::SetUserInformation(const UserInformation& info) { UserInfo = info; }

uint32_t AAssociateAC::Size() { return AssociateSize(*this, PresContextAccepts); }

bool AAssociateAC::Write(Buffer& link) {
  Size();
  WriteHeader(link);
  if (LoggingAbove(1)) LogHeader("INFO, AAssociateAC::Write");
  AppContext.Write(link);
  for (auto& answer : PresContextAccepts) answer->Write(link);
  UserInfo.Write(link);
  link.Flush();
  return true;
}

bool AAssociateAC::Read(Buffer& link) {
  link.ReadByte(ItemType);
  return ReadDynamic(link);
}

bool AAssociateAC::ReadDynamic(Buffer& link) {
  Buffer body;
  if (!ReadFixedPart(link, body)) return false;
  if (LoggingAbove(2)) LogHeader("INFO, AAssociateAC::Read");
  // An unknown item drops the rest of the body silently.
  int64_t remaining =
      ReadItems(*this, body, kPresentationContextAcceptItem, PresContextAccepts, nullptr);
  return remaining == 0 && !body.Failed();
}

// ---- AAssociateRJ, release and abort ----

bool AAssociateRJ::ReadDynamic(Buffer& link) {
  Buffer body;
  link.ReadByte(Reserved1);
  if (!ReadPduBody(link, body, Length, kShortPduBodySize)) return false;
  body.ReadByte(Reserved2).ReadByte(Result).ReadByte(Source).ReadByte(Reason);
  return !body.Failed();
}

bool AReleasePdu::Write(Buffer& link) {
  Size();
  link.WriteByte(ItemType).WriteByte(Reserved1).WriteU32(Length).WriteU32(Reserved2);
  link.Flush();
  return true;
}

bool AReleasePdu::Read(Buffer& link) {
  link.ReadByte(ItemType);
  return ReadDynamic(link);
}

bool AReleasePdu::ReadDynamic(Buffer& link) {
  Buffer body;
  link.ReadByte(Reserved1);
  if (!ReadPduBody(link, body, Length, kShortPduBodySize)) return false;
  body.ReadU32(Reserved2);
  return !body.Failed();
}

bool AAbortRQ::Write(Buffer& link) {
  Size();
  link.WriteByte(ItemType).WriteByte(Reserved1).WriteU32(Length);
  link.WriteByte(Reserved2).WriteByte(Reserved3).WriteByte(Source).WriteByte(Reason);
  link.Flush();
  return true;
}
