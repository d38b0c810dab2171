// The element operations that DcmTag takes as two numbers, by a named tag (dicom/Tags.h):
// IsTag(element, tag::kPixelData), NewTag(tag::kStudyDate, "20240101", "DA"),
// MakeTag(tag::kTransferSyntaxUID, uid, "UI").
#pragma once

#include <cstdint>
#include <utility>

#include "dicom/DcmTag.h"
#include "dicom/TagKey.h"

inline bool IsTag(const DcmTag& t, uint16_t group, uint16_t element) {
  return t.group == group && t.element == element;
}

inline bool IsTag(const DcmTag& t, TagKey key) { return IsTag(t, key.group, key.element); }

// A new element for `key`, built by the DcmTag constructor that takes the rest of the arguments
// (a value and optionally a VR); the caller owns it, as with `new DcmTag(...)`.
template <typename... Value>
DcmTag* NewTag(TagKey key, Value&&... value) {
  return new DcmTag(key.group, key.element, std::forward<Value>(value)...);
}

// The same element as a value, for one that is written and not kept (a file's meta header).
template <typename... Value>
DcmTag MakeTag(TagKey key, Value&&... value) {
  return DcmTag(key.group, key.element, std::forward<Value>(value)...);
}
