// Small builders for data sets in memory, in either shape: nested objects for defined-length
// sequences and items, opener/item/delimiter elements for undefined-length ones.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"

// An entry to add: owned until Build takes it.
using Entry = std::shared_ptr<DcmEntry>;

inline Entry Text(uint16_t g, uint16_t e, const std::string& text) {
  return std::make_shared<DcmTag>(g, e, text);
}
inline Entry U16(uint16_t g, uint16_t e, uint16_t v) {
  return std::make_shared<DcmTag>(g, e, v, "US");
}
inline Entry U32(uint16_t g, uint16_t e, uint32_t v) {
  return std::make_shared<DcmTag>(g, e, v, "UL");
}
inline Entry Bytes(uint16_t g, uint16_t e, const std::vector<uint8_t>& bytes) {
  return std::make_shared<DcmTag>(g, e, static_cast<uint32_t>(bytes.size()),
                                  static_cast<const void*>(bytes.data()), "OW");
}
inline Entry Undefined(uint16_t g, uint16_t e) {
  return std::make_shared<DcmTag>(g, e, kUndefinedLength, static_cast<const void*>(nullptr), "SQ");
}
inline Entry ItemStart() {
  return std::make_shared<DcmTag>(0xFFFE, 0xE000, kUndefinedLength,
                                  static_cast<const void*>(nullptr), nullptr);
}
inline Entry ItemEnd() {
  return std::make_shared<DcmTag>(0xFFFE, 0xE00D, 0u, static_cast<const void*>(nullptr), nullptr);
}
inline Entry SequenceEnd() {
  return std::make_shared<DcmTag>(0xFFFE, 0xE0DD, 0u, static_cast<const void*>(nullptr), nullptr);
}

using Entries = std::vector<Entry>;

inline Entries Join(std::initializer_list<Entries> parts) {
  Entries all;
  for (const Entries& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

// Moves copies of the entries into `obj` (entries are rebuilt, since DcmObj owns uniquely).
void AddAll(DcmObj& obj, const Entries& entries);

inline std::unique_ptr<DcmEntry> Clone(const DcmEntry& entry) {
  if (entry.kind() == DcmEntry::Kind::Tag) {
    const auto& tag = static_cast<const DcmTag&>(entry);
    auto copy = std::make_unique<DcmTag>();
    copy->group = tag.group;
    copy->element = tag.element;
    copy->SetVR(tag.VR().c_str());
    copy->length = tag.length;
    copy->data = tag.data;
    return copy;
  }
  const auto& obj = static_cast<const DcmObj&>(entry);
  auto copy = std::make_unique<DcmObj>();
  copy->explicitVR = obj.explicitVR;
  if (obj.header) copy->header.reset(static_cast<DcmTag*>(Clone(*obj.header).release()));
  for (int i = 0; i < obj.Count(); ++i) {
    const DcmEntry* child = obj.TagAt(i) ? static_cast<const DcmEntry*>(obj.TagAt(i))
                                         : static_cast<const DcmEntry*>(obj.ObjAt(i));
    copy->Add(Clone(*child).release());
  }
  return copy;
}

inline void AddAll(DcmObj& obj, const Entries& entries) {
  for (const Entry& entry : entries) obj.Add(Clone(*entry).release());
}

// A defined-length sequence or item as a nested object.
inline Entry Nested(uint16_t g, uint16_t e, const Entries& entries) {
  auto obj = std::make_shared<DcmObj>();
  obj->explicitVR = true;
  obj->header = std::make_unique<DcmTag>(g, e, 2u, static_cast<const void*>(nullptr),
                                         g == 0xFFFE ? nullptr : "SQ");
  AddAll(*obj, entries);
  return obj;
}
inline Entry Item(const Entries& entries) { return Nested(0xFFFE, 0xE000, entries); }
