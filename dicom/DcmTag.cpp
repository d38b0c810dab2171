// One data element: construction with padding, value accessors, dictionary lookups and the
// one-line dump. Value accessors never read past `length` bytes, terminated or not.
#include "dicom/DcmTag.h"

#include <locale.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "dicom/Dictionary.h"
#include "dicom/UidRegistry.h"
#include "dicom/util/ByteOrder.h"
#include "dicom/util/TextUtil.h"

namespace {

const char kUnknownName[] = "*** Unidentified ***";

bool SameVR(const char* a, const char* b) { return a[0] == b[0] && a[1] == b[1]; }

// Numbers in data never depend on the process locale (a GUI sets the user's one).
locale_t CLocale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return c;
}

// "%5.2f" in the C locale.
std::string FormatFixed2(double value) {
  char buffer[64];
  auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, 2);
  std::string text = ec == std::errc() ? std::string(buffer, end) : std::string("0.00");
  if (text.size() < 5) text.insert(0, 5 - text.size(), ' ');
  return text;
}

}  // namespace

DcmTag::DcmTag() : DcmEntry(Kind::Tag) {}

DcmTag::DcmTag(uint16_t group_, uint16_t element_, uint32_t length_, const void* bytes,
               const char* vr_)
    : DcmEntry(Kind::Tag), group(group_), element(element_), length(length_) {
  if (vr_) {
    SetVR(vr_);
  } else {
    LookupVR();
    // An unknown element of undefined length is taken to be a sequence.
    if (HasVR("UN") && length == kUndefinedLength) SetVR("SQ");
  }
  // Test before padding: 0xFFFFFFFF is odd and would wrap to 0.
  if (length == 0 || length == kUndefinedLength) return;
  const uint32_t given = length;
  if (length % 2) ++length;
  data.assign(length, 0);
  if (bytes) std::memcpy(data.data(), bytes, given);
  if (given != length) data.back() = HasVR("UI") ? 0x00 : 0x20;
}

DcmTag::DcmTag(uint16_t group_, uint16_t element_, uint16_t value, const char* vr_)
    : DcmTag(group_, element_, 2, nullptr, vr_) {
  data[0] = static_cast<uint8_t>(value);
  data[1] = static_cast<uint8_t>(value >> 8);
}

DcmTag::DcmTag(uint16_t group_, uint16_t element_, uint32_t value, const char* vr_)
    : DcmTag(group_, element_, 4, nullptr, vr_) {
  for (int i = 0; i < 4; ++i) data[i] = static_cast<uint8_t>(value >> (8 * i));
}

DcmTag::DcmTag(uint16_t group_, uint16_t element_, const std::string& text, const char* vr_)
    : DcmTag(group_, element_, static_cast<uint32_t>(text.size()), text.data(), vr_) {}

DcmTag::~DcmTag() = default;

uint16_t DcmTag::GetUShort() const {
  if (length == kUndefinedLength || length < 2 || data.size() < 2) return 0;
  return DecodeU16(data.data());
}

uint32_t DcmTag::GetULong() const {
  if (length == kUndefinedLength || length < 4 || data.size() < 4) return 0;
  return DecodeU32(data.data());
}

float DcmTag::GetFloat() const {
  const std::string text = ValueText(*this);
  return static_cast<float>(strtod_l(text.c_str(), nullptr, CLocale()));
}

std::string DcmTag::GetString() const { return TrimControlAndBlanks(ValueText(*this)); }

void DcmTag::LookupVR() {
  const DictionaryRow* row = LookupDictionary(group, element);
  SetVR(row ? row->vr : "UN");
}

std::string DcmTag::GetName() const {
  const DictionaryRow* row = LookupDictionary(group, element);
  return row ? row->name : kUnknownName;
}

std::string DcmTag::DumpLine(int depth) const { return DumpLine(depth, vr); }

std::string DcmTag::DumpLine(int depth, const char* shownVR) const {
  std::string line;
  for (int i = 1; i < depth; ++i) line += "...";
  char head[64];
  const char letters[3] = {shownVR[0], shownVR[0] ? shownVR[1] : '\0', '\0'};
  std::snprintf(head, sizeof head, "(%04X,%04X), %2d, %s, ", group, element,
                static_cast<int>(length), letters);
  line += head;

  const DictionaryRow* row = LookupDictionary(group, element);
  line += row ? row->name : kUnknownName;
  line += ": ";

  const char* formatVR = row ? row->vr : vr;
  const bool hasValue = length != 0 && length != kUndefinedLength && !data.empty();
  if (SameVR(formatVR, "SQ") || length >= 255 || !hasValue) return line;

  const size_t n = std::min<size_t>(length, data.size());
  if ((SameVR(formatVR, "FL") || SameVR(formatVR, "FD")) && n == 4) {
    float value;
    uint32_t bits = GetULong();
    std::memcpy(&value, &bits, 4);
    line += FormatFixed2(value);
  } else if (SameVR(formatVR, "SL") || SameVR(formatVR, "SS") || SameVR(formatVR, "UL") ||
             SameVR(formatVR, "US")) {
    if (n > 4) {
      line += "Vector!!";
    } else {
      uint32_t value = 0;
      for (size_t i = 0; i < n; ++i) value |= static_cast<uint32_t>(data[i]) << (8 * i);
      line += std::to_string(static_cast<int32_t>(value));
    }
  } else {
    const std::string text = ValueText(*this);
    line += text;
    if (SameVR(formatVR, "UI")) {
      const std::string name = UIDToName(text);
      if (!name.empty()) line += " (" + name + ") ";
    }
  }
  return line;
}

std::string DcmTag::VR() const {
  if (vr[0] == 0) return "";
  return std::string(vr, vr[1] ? 2 : 1);
}

bool DcmTag::HasVR(const char* twoLetters) const { return SameVR(vr, twoLetters); }

void DcmTag::SetVR(const char* twoLetters) {
  vr[0] = vr[1] = vr[2] = vr[3] = 0;
  if (!twoLetters || !twoLetters[0]) return;
  vr[0] = twoLetters[0];
  vr[1] = twoLetters[1];
}

void DcmTag::SetData(const void* bytes, uint32_t count) {
  data.assign(static_cast<const uint8_t*>(bytes), static_cast<const uint8_t*>(bytes) + count);
  length = count;
}

void DcmTag::ReleaseData() {
  data.clear();
  data.shrink_to_fit();
}
