// UID items and presentation context items (see PduItems.h).
#include "net/PduItems.h"

#include <string>

#include "dicom/util/Log.h"
#include "net/ItemWindow.h"
#include "net/UniqueId.h"

std::string StripTrailingNuls(std::string text) {
  while (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

bool ReadItemWindow(Buffer& link, uint8_t& reserved, uint16_t& length, Buffer& window) {
  link.ReadByte(reserved).ReadU16(length);
  if (link.Failed()) return false;
  return ReadWindowBytes(link, length, window);
}

bool ReadWindowBytes(Buffer& link, uint32_t length, Buffer& window) {
  window.SetIncomingEndian(link.inEndian);
  window.SetOutgoingEndian(link.outEndian);
  std::string bytes(length, '\0');
  if (!link.Read(bytes.data(), length)) return false;
  window.Feed(bytes.data(), length);
  return true;
}

bool ReadText(Buffer& window, uint32_t length, std::string& text) {
  if (window.available < length) {
    window.Skip(uint32_t(window.available) + 1);  // marks the window as overrun
    return false;
  }
  text.assign(length, '\0');
  return window.Read(text.data(), length);
}

// ---- UIDitem ----

UIDitem::UIDitem(const std::string& text, uint8_t itemType) { Set(text, itemType); }

void UIDitem::Set(const std::string& text, uint8_t itemType) {
  ItemType = itemType;
  Reserved1 = 0;
  UID = text.size() > 0xFFFF ? text.substr(0, 0xFFFF) : text;
  Length = uint16_t(UID.size());
}

bool UIDitem::Write(Buffer& link) {
  link.WriteByte(ItemType).WriteByte(Reserved1).WriteU16(Length);
  // Exactly Length bytes: a UID read with trailing NULs (dropped in memory) goes back whole.
  std::string bytes = UID.substr(0, Length);
  bytes.resize(Length, '\0');
  link.Write(bytes.data(), Length);
  return true;
}

bool UIDitem::Read(Buffer& link) {
  link.ReadByte(ItemType);
  return ReadDynamic(link);
}

bool UIDitem::ReadDynamic(Buffer& link) {
  link.ReadByte(Reserved1).ReadU16(Length);
  std::string text;
  if (!ReadText(link, Length, text)) {
    UID.clear();
    return false;
  }
  UID = StripTrailingNuls(std::move(text));
  return true;
}

// ---- PresentationContext ----

PresentationContext::PresentationContext() : PresentationContextID(NextOddUniqueId8()) {}

void PresentationContext::SetAbstractSyntax(const std::string& uid) {
  AbsSyntax.Set(uid, kAbstractSyntaxItem);
}

void PresentationContext::AddTransferSyntax(const std::string& uid) {
  TrnSyntax.push_back(std::make_unique<UIDitem>(uid, kTransferSyntaxItem));
}

uint32_t PresentationContext::Size() {
  uint32_t length = kFixedSize + AbsSyntax.Size();
  for (auto& syntax : TrnSyntax) length += syntax->Size();
  Length = uint16_t(length);
  return Length + kItemHeaderSize;
}

namespace {
void LogContextHeader(const PresentationContext& c) {
  LogWrite("ItemType: " + std::to_string(int(c.ItemType)));
  LogWrite("Reserved1: " + std::to_string(int(c.Reserved1)));
  LogWrite("Length: " + std::to_string(unsigned(c.Length)));
  LogWrite("PresentationContextID: " + std::to_string(int(c.PresentationContextID)));
  LogWrite("Reserved2: " + std::to_string(int(c.Reserved2)));
  LogWrite("Reserved3: " + std::to_string(int(c.Reserved3)));
  LogWrite("Reserved4: " + std::to_string(int(c.Reserved4)));
}

void LogAcceptLines(const PresentationContextAccept& a) {
  LogWrite("ItemType: " + std::to_string(int(a.ItemType)));
  LogWrite("Reserved1: " + std::to_string(int(a.Reserved1)));
  LogWrite("Length: " + std::to_string(unsigned(a.Length)));
  LogWrite("PresentationContextID: " + std::to_string(int(a.PresentationContextID)));
  LogWrite("Reserved2: " + std::to_string(int(a.Reserved2)));
  LogWrite("Result: " + std::to_string(int(a.Result)));
  LogWrite("Reserved4: " + std::to_string(int(a.Reserved4)));
  LogWrite("AbsSyntax: " + a.AbsSyntax.UID);
  LogWrite("TrnSyntax: " + a.TrnSyntax.UID);
}
}  // namespace

bool PresentationContext::Write(Buffer& link) {
  if (LoggingAbove(1)) {
    LogWrite("INFO, PresentationContext::Write");
    LogContextHeader(*this);
  }
  link.WriteByte(ItemType).WriteByte(Reserved1).WriteU16(Length);
  link.WriteByte(PresentationContextID)
      .WriteByte(Reserved2)
      .WriteByte(Reserved3)
      .WriteByte(Reserved4);
  AbsSyntax.Write(link);
  if (LoggingAbove(1)) LogWrite("AbsSyntax: " + AbsSyntax.UID);
  if (TrnSyntax.empty()) {
    LogWrite("ERROR, PresentationContext::Write");
    return false;
  }
  for (auto& syntax : TrnSyntax) {
    syntax->Write(link);
    if (LoggingAbove(1)) LogWrite("TrnSyntax: " + syntax->UID);
  }
  return true;
}

bool PresentationContext::ReadDynamic(Buffer& link) {
  Buffer window;
  if (!ReadItemWindow(link, Reserved1, Length, window)) return false;
  window.ReadByte(PresentationContextID)
      .ReadByte(Reserved2)
      .ReadByte(Reserved3)
      .ReadByte(Reserved4);
  if (LoggingAbove(1)) {
    LogWrite("INFO, PresentationContext::Read");
    LogContextHeader(*this);
  }
  int remaining = int(Length) - int(kFixedSize);
  if (!window.Failed()) {
    AbsSyntax.Read(window);
    remaining -= int(AbsSyntax.Size());
    if (LoggingAbove(1)) LogWrite("AbsSyntax: " + AbsSyntax.UID);
  }
  while (remaining > 0 && !window.Failed()) {
    auto syntax = std::make_unique<UIDitem>();
    syntax->Read(window);
    if (window.Failed()) break;
    remaining -= int(syntax->Size());
    if (LoggingAbove(1)) LogWrite("TrnSyntax: " + syntax->UID);
    TrnSyntax.push_back(std::move(syntax));
  }
  if (remaining == 0 && !window.Failed()) return true;
  LogWrite("WARNING, PresentationContext::Read Count=" + std::to_string(remaining));
  return false;
}

// ---- PresentationContextAccept ----

PresentationContextAccept::PresentationContextAccept() : PresentationContextID(NextUniqueId8()) {}

void PresentationContextAccept::SetAbstractSyntax(const std::string& uid) {
  AbsSyntax.Set(uid, kAbstractSyntaxItem);
}

void PresentationContextAccept::SetTransferSyntax(const std::string& uid) {
  TrnSyntax.Set(uid, kTransferSyntaxItem);
}

uint32_t PresentationContextAccept::Size() {
  Length = uint16_t(kFixedSize + TrnSyntax.Size());
  return Length + kItemHeaderSize;
}

bool PresentationContextAccept::Write(Buffer& link) {
  if (TrnSyntax.ItemType == 0) TrnSyntax.ItemType = kTransferSyntaxItem;
  link.WriteByte(ItemType).WriteByte(Reserved1).WriteU16(Length);
  link.WriteByte(PresentationContextID).WriteByte(Reserved2).WriteByte(Result).WriteByte(Reserved4);
  TrnSyntax.Write(link);
  if (LoggingAbove(1)) {
    LogWrite("INFO, PresentationContextAccept::Write");
    LogAcceptLines(*this);
  }
  return true;
}

bool PresentationContextAccept::ReadDynamic(Buffer& link) {
  Buffer window;
  if (!ReadItemWindow(link, Reserved1, Length, window)) return false;
  window.ReadByte(PresentationContextID).ReadByte(Reserved2).ReadByte(Result).ReadByte(Reserved4);
  TrnSyntax.Read(window);
  if (LoggingAbove(1)) {
    LogWrite("INFO, PresentationContextAccept::Read");
    LogAcceptLines(*this);
  }
  return !window.Failed();
}
