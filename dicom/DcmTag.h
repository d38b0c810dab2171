// One DICOM data element: tag, VR, value length and the owned value bytes.
//
// Values read from a stream are kept exactly as encoded (in the byte order of their transfer
// syntax); values built by the constructors are padded to even length (NUL for "UI", a blank
// otherwise). Numbers built by the constructors are little endian.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "dicom/DcmEntry.h"
#include "dicom/EntryCache.h"
#include "dicom/TagValue.h"

inline constexpr uint32_t kUndefinedLength = 0xFFFFFFFF;

class DcmTag : public DcmEntry {
 public:
  DcmTag();
  // Copies `count` bytes; `vr` may be null (the VR then comes from the dictionary, and "UN"
  // with undefined length becomes "SQ").
  DcmTag(uint16_t group, uint16_t element, uint32_t length, const void* bytes,
         const char* vr = nullptr);
  DcmTag(uint16_t group, uint16_t element, uint16_t value, const char* vr = nullptr);
  DcmTag(uint16_t group, uint16_t element, uint32_t value, const char* vr = nullptr);
  DcmTag(uint16_t group, uint16_t element, const std::string& text, const char* vr = nullptr);
  ~DcmTag() override;
  // Elements come and go by the thousand with every object: their memory is kept for reuse.
  static void* operator new(size_t size) { return EntryCache<DcmTag>::Take(size); }
  static void operator delete(void* memory, size_t size) { EntryCache<DcmTag>::Give(memory, size); }

  uint16_t GetUShort() const;  // 0 when the value is shorter than 2 bytes
  uint32_t GetULong() const;   // 0 when the value is shorter than 4 bytes
  float GetFloat() const;      // strtod in the C locale, rounded to float; 0 without a number
  std::string GetString() const;
  void LookupVR();
  std::string GetName() const;
  std::string DumpLine(int depth) const;
  // The same line showing `shownVR` in place of the element's own VR letters.
  std::string DumpLine(int depth, const char* shownVR) const;

  // VR helpers: the two letters as a string ("" when unset), and comparison.
  std::string VR() const;
  bool HasVR(const char* twoLetters) const;
  void SetVR(const char* twoLetters);  // null or "" leaves the VR all zero

  // Replaces the value with `count` bytes (no padding); length becomes `count`.
  void SetData(const void* bytes, uint32_t count);
  void ReleaseData();  // no value; length unchanged

  uint16_t group = 0;
  uint16_t element = 0;
  char vr[4] = {0, 0, 0, 0};
  uint32_t length = 0;
  // The value bytes: exactly `length` of them when 0 < length < kUndefinedLength, else empty.
  // Owned, or lent from the block the element was parsed from (see TagValue.h).
  TagValue data;
};
