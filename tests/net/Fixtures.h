// Named, decoded byte fixtures of the upper layer, built from their parts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline void Put16(Bytes& b, uint16_t v) {
  b.push_back(uint8_t(v >> 8));
  b.push_back(uint8_t(v));
}
inline void Put32(Bytes& b, uint32_t v) {
  Put16(b, uint16_t(v >> 16));
  Put16(b, uint16_t(v));
}
inline void PutText(Bytes& b, const std::string& t) { b.insert(b.end(), t.begin(), t.end()); }
inline Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}
// type, reserved, 16-bit length, text
inline Bytes UidItem(uint8_t type, const std::string& text) {
  Bytes b{type, 0};
  Put16(b, uint16_t(text.size()));
  PutText(b, text);
  return b;
}
inline Bytes Item(uint8_t type, const Bytes& body) {
  Bytes b{type, 0};
  Put16(b, uint16_t(body.size()));
  return Cat({b, body});
}
// 20 00 len, ID, 00 00 00, abstract syntax 0x30, transfer syntaxes 0x40
inline Bytes PresentationContextItem(uint8_t id, const std::string& abstract,
                                     const std::vector<std::string>& syntaxes) {
  Bytes body{id, 0, 0, 0};
  body = Cat({body, UidItem(0x30, abstract)});
  for (const auto& s : syntaxes) body = Cat({body, UidItem(0x40, s)});
  return Item(0x20, body);
}
// 50 00 len: 51 00 00 04 max, 52 class UID, 55 version name
inline Bytes UserInfoItem(uint32_t maxLength, const std::string& classUid,
                          const std::string& version) {
  Bytes max{0x51, 0, 0, 4};
  Put32(max, maxLength);
  return Item(0x50, Cat({max, UidItem(0x52, classUid), UidItem(0x55, version)}));
}
inline std::string Title16(const std::string& t) {
  return (t + std::string(16, ' ')).substr(0, 16);
}
// PDU type, reserved, 32-bit length, version 1, reserved, called, calling, 32 zeros, items
inline Bytes AssociatePdu(uint8_t type, const std::string& called, const std::string& calling,
                          const Bytes& items) {
  Bytes fixed;
  Put16(fixed, 1);
  Put16(fixed, 0);
  PutText(fixed, Title16(called));
  PutText(fixed, Title16(calling));
  fixed.resize(fixed.size() + 32, 0);
  Bytes head{type, 0};
  Put32(head, uint32_t(fixed.size() + items.size()));
  return Cat({head, fixed, items});
}
// 04 00 len, then one PDV: len, context ID, control, fragment
inline Bytes Pdv(uint8_t id, uint8_t control, const Bytes& fragment) {
  Bytes b;
  Put32(b, uint32_t(fragment.size() + 2));
  b.push_back(id);
  b.push_back(control);
  return Cat({b, fragment});
}
inline Bytes PDataPdu(const Bytes& pdvs) {
  Bytes b{0x04, 0};
  Put32(b, uint32_t(pdvs.size()));
  return Cat({b, pdvs});
}

// The largest PDU length that a read accepts (64 MiB), written out here rather than taken from
// the code, so that a cap moved by one fails the rows at it and past it.
inline constexpr uint32_t kPduLengthCap = 64u * 1024 * 1024;

inline const std::string kVerification = "1.2.840.10008.1.1";
inline const std::string kImplicitLE = "1.2.840.10008.1.2";
inline const std::string kExplicitLE = "1.2.840.10008.1.2.1";
inline const std::string kAppContext = "1.2.840.10008.3.1.1.1";
inline const std::string kEcg12Lead = "1.2.840.10008.5.1.4.1.1.9.1.1";

// The 210-byte echo request: application context (25), one context of verification with
// implicit VR (8 + 21 + 21 = 50), user information with 16384, a 30-character class UID and an
// 11-character version name (4 + 8 + 34 + 15 = 61). PDU length 68 + 25 + 50 + 61 = 204.
inline Bytes EchoRequest210() {
  return AssociatePdu(
      0x01, "ANY-SCP", "ECHOSCU",
      Cat({UidItem(0x10, kAppContext), PresentationContextItem(1, kVerification, {kImplicitLE}),
           UserInfoItem(16384, "2.25.304991017046338021517.999", "Nolvertasco")}));
}

inline const Bytes kAbortPduBytes{0x07, 0, 0, 0, 0, 0x04, 0, 0, 0x03, 0x01};
inline const Bytes kReleaseRQBytes{0x05, 0, 0, 0, 0, 0x04, 0, 0, 0, 0};
inline const Bytes kReleaseRPBytes{0x06, 0, 0, 0, 0, 0x04, 0, 0, 0, 0};
