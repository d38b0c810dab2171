// The user information item and its sub-items (see PduItems.h).
#include <string>

#include "dicom/util/Log.h"
#include "net/ItemWindow.h"
#include "net/PduItems.h"

// ---- leaf sub-items ----

bool MaxSubLength::Write(Buffer& link) {
  link.WriteByte(ItemType).WriteByte(Reserved1).WriteU16(Length).WriteU32(MaximumLength);
  return true;
}

bool MaxSubLength::ReadDynamic(Buffer& link) {
  Buffer window;
  if (!ReadItemWindow(link, Reserved1, Length, window)) return false;
  uint32_t value = 0;
  window.ReadU32(value);
  if (window.Failed()) return false;  // too short for its value: keep what we had
  MaximumLength = value;
  return true;
}

bool AsyncOpWindow::ReadDynamic(Buffer& link) {
  Buffer window;
  if (!ReadItemWindow(link, Reserved1, Length, window)) return false;
  window.ReadU16(MaxOperationsInvoked).ReadU16(MaxOperationsPerformed);
  return !window.Failed();
}

bool SCPSCURole::ReadDynamic(Buffer& link) {
  Buffer window;
  if (!ReadItemWindow(link, Reserved1, Length, window)) return false;
  uint16_t uidLength = 0;
  window.ReadU16(uidLength);
  std::string text;
  if (!ReadText(window, uidLength, text)) return false;
  UID = StripTrailingNuls(std::move(text));
  window.ReadByte(SCURole).ReadByte(SCPRole);
  return !window.Failed();
}

bool UserIdentity::Write(Buffer& link) {
  ItemType = kUserIdentityItem;
  link.WriteByte(ItemType).WriteByte(Reserved1).WriteU16(Length);
  link.WriteByte(UserIdentityType).WriteByte(PositiveResponseRequested);
  link.WriteU16(PrimaryFieldLength);
  if (PrimaryFieldLength) link.Write(PrimaryField.data(), PrimaryFieldLength);
  link.WriteU16(SecondaryFieldLength);
  if (SecondaryFieldLength) link.Write(SecondaryField.data(), SecondaryFieldLength);
  return true;
}

bool UserIdentity::ReadDynamic(Buffer& link) {
  Buffer window;
  if (!ReadItemWindow(link, Reserved1, Length, window)) return false;
  window.ReadByte(UserIdentityType).ReadByte(PositiveResponseRequested);
  window.ReadU16(PrimaryFieldLength);
  if (!ReadText(window, PrimaryFieldLength, PrimaryField)) return false;
  window.ReadU16(SecondaryFieldLength);
  if (!ReadText(window, SecondaryFieldLength, SecondaryField)) return false;
  return !window.Failed();
}

bool UserIdentityResponse::ReadDynamic(Buffer& link) {
  Buffer window;
  if (!ReadItemWindow(link, Reserved1, Length, window)) return false;
  window.ReadU16(ResponseLength);
  if (!ReadText(window, ResponseLength, Response)) return false;
  return !window.Failed();
}

// ---- UserInformation ----

UserInformation::UserInformation() = default;

void UserInformation::SetImpClass(const std::string& uid) { ImpClass.Set(uid, kImpClassItem); }

void UserInformation::SetImpVersion(const std::string& name) {
  ImpVersion.Set(name, kImpVersionItem);
}

void UserInformation::SetUserIdentity(const std::string& user, const std::string& password) {
  UserIdentity.ItemType = kUserIdentityItem;
  UserIdentity.Reserved1 = 0;
  UserIdentity.UserIdentityType = 2;
  UserIdentity.PositiveResponseRequested = 1;
  UserIdentity.PrimaryField = user.substr(0, 0x7FF0);
  UserIdentity.PrimaryFieldLength = uint16_t(UserIdentity.PrimaryField.size());
  UserIdentity.SecondaryField = password.substr(0, 0x7FF0);
  UserIdentity.SecondaryFieldLength = uint16_t(UserIdentity.SecondaryField.size());
  UserIdentity.Length =
      uint16_t(UserIdentity.PrimaryFieldLength + UserIdentity.SecondaryFieldLength + 6);
}

uint32_t UserInformation::Size() {
  if (Length == 0) {
    uint32_t length = MaxSubLength.Size() + ImpClass.Size() + ImpVersion.Size();
    bool withIdentity = !UserIdentity.PrimaryField.empty();
    if (withIdentity) length += UserIdentity.Size();
    Length = uint16_t(length);
    if (LoggingAbove(1)) {
      LogWrite("INFO, MaxSubLength::Size, Length=" + std::to_string(MaxSubLength.Size()) +
               ", MaxSubLength.MaximumLength=" + std::to_string(MaxSubLength.MaximumLength));
      LogWrite("INFO, ImpClass::Size, Length=" + std::to_string(ImpClass.Size()) + ", \"" +
               ImpClass.UID + "\"");
      LogWrite("INFO, ImpVersion::Size, Length=" + std::to_string(ImpVersion.Size()) + ", \"" +
               ImpVersion.UID + "\"");
      if (withIdentity)
        LogWrite("INFO, UserIdent::Size, Length=" + std::to_string(UserIdentity.Size()));
    }
  }
  if (LoggingAbove(1)) LogWrite("INFO, UserInformation::Size, Length=" + std::to_string(Length));
  return Length + kItemHeaderSize;
}

bool UserInformation::Write(Buffer& link) {
  link.WriteByte(ItemType).WriteByte(Reserved1).WriteU16(Length);
  MaxSubLength.Write(link);
  ImpClass.ItemType = kImpClassItem;
  ImpClass.Write(link);
  ImpVersion.ItemType = kImpVersionItem;
  ImpVersion.Write(link);
  if (!UserIdentity.PrimaryField.empty()) UserIdentity.Write(link);
  return true;
}

namespace {
// The sub-item readers, keyed by type: each reads one sub-item and logs its detail line with
// the count that remains after it.
struct SubItemReader {
  uint8_t type;
  bool (*read)(UserInformation&, Buffer&);
  uint32_t (*size)(const UserInformation&);
  std::string (*detail)(const UserInformation&, int remaining);
};

std::string Count(const char* label, int remaining) {
  return std::string("INFO, ") + label + "::ReadDynamic, Count=" + std::to_string(remaining);
}

const SubItemReader kSubItemReaders[] = {
    {kMaxSubLengthItem, [](UserInformation& u, Buffer& b) { return u.MaxSubLength.ReadDynamic(b); },
     [](const UserInformation& u) { return u.MaxSubLength.Size(); },
     [](const UserInformation& u, int n) {
       return Count("MaxSubLength", n) +
              ", MaxSubLength.MaximumLength=" + std::to_string(u.MaxSubLength.MaximumLength);
     }},
    {kImpClassItem, [](UserInformation& u, Buffer& b) { return u.ImpClass.ReadDynamic(b); },
     [](const UserInformation& u) { return u.ImpClass.Size(); },
     [](const UserInformation& u, int n) {
       return Count("ImpClass", n) + ", \"" + u.ImpClass.UID + "\"";
     }},
    {kAsyncOpWindowItem,
     [](UserInformation& u, Buffer& b) { return u.AsyncOpWindow.ReadDynamic(b); },
     [](const UserInformation& u) { return u.AsyncOpWindow.Size(); },
     [](const UserInformation&, int n) { return Count("AsyncOpWindow", n); }},
    {kSCPSCURoleItem, [](UserInformation& u, Buffer& b) { return u.SCPSCURole.ReadDynamic(b); },
     [](const UserInformation& u) { return u.SCPSCURole.Size(); },
     [](const UserInformation&, int n) { return Count("SCPSCURole", n); }},
    {kImpVersionItem, [](UserInformation& u, Buffer& b) { return u.ImpVersion.ReadDynamic(b); },
     [](const UserInformation& u) { return u.ImpVersion.Size(); },
     [](const UserInformation& u, int n) {
       return Count("ImpVersion", n) + ", \"" + u.ImpVersion.UID + "\"";
     }},
    {kUserIdentityItem, [](UserInformation& u, Buffer& b) { return u.UserIdentity.ReadDynamic(b); },
     [](const UserInformation& u) { return u.UserIdentity.Size(); },
     [](const UserInformation&, int n) { return Count("UserIdent", n); }},
    {kUserIdentityResponseItem,
     [](UserInformation& u, Buffer& b) { return u.UserIdentityResponse.ReadDynamic(b); },
     [](const UserInformation& u) { return u.UserIdentityResponse.Size(); },
     [](const UserInformation& u, int n) {
       return Count("UserIdentRes", n) + ", " + u.UserIdentityResponse.Response;
     }},
};

const SubItemReader* FindSubItemReader(uint8_t type) {
  for (const SubItemReader& reader : kSubItemReaders)
    if (reader.type == type) return &reader;
  return nullptr;
}
}  // namespace

bool UserInformation::ReadDynamic(Buffer& link) {
  Buffer window;
  if (!ReadItemWindow(link, Reserved1, Length, window)) return false;
  if (LoggingAbove(1))
    LogWrite("INFO, UserInformation::ReadDynamic, Count=" + std::to_string(Length));
  int remaining = Length;
  while (remaining > 0 && !window.Failed()) {
    uint8_t type = 0;
    window.ReadByte(type);
    const SubItemReader* reader = FindSubItemReader(type);
    if (!reader) {
      LogWrite("WARNING, UserInformation::Read Unknown Packet");
      window.Skip(uint32_t(remaining - 1));
      remaining = -1;
      break;
    }
    reader->read(*this, window);
    if (window.Failed()) break;
    remaining -= int(reader->size(*this));
    if (LoggingAbove(1)) LogWrite(reader->detail(*this, remaining));
  }
  if (remaining == 0 && !window.Failed()) return true;
  LogWrite("WARNING, UserInformation::Read Count=" + std::to_string(remaining));
  return false;
}
