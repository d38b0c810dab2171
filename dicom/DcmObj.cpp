// The data set container: an owned, ordered list of elements and nested data sets, with
// insertion in tag order among the top-level entries and group-length bookkeeping.
#include "dicom/DcmObj.h"

#include <stdexcept>

#include "dicom/Nesting.h"

namespace {

const DcmTag& HeaderOf(const DcmEntry& entry) {
  return entry.kind() == DcmEntry::Kind::Tag ? static_cast<const DcmTag&>(entry)
                                             : *static_cast<const DcmObj&>(entry).header;
}

bool TagGreater(const DcmTag& t, uint16_t group, uint16_t element) {
  return t.group > group || (t.group == group && t.element > element);
}

// Lengths counted by the group-length bookkeeping: an undefined length counts as 0.
uint32_t CountedLength(uint32_t length) { return length == kUndefinedLength ? 0 : length; }

void ThrowOutOfRange(int index) {
  throw std::out_of_range("DcmObj: index " + std::to_string(index) + " out of range");
}

}  // namespace

DcmObj::DcmObj() : DcmEntry(Kind::Obj), header(std::make_unique<DcmTag>()) {}

// A nested data set is only ever encoded as part of its parent, in the parent's transfer syntax,
// so it names none (which also spares every item of a parsed data set an allocated string).
DcmObj::DcmObj(std::unique_ptr<DcmTag> headerElement)
    : DcmEntry(Kind::Obj), transferSyntax(), header(std::move(headerElement)) {}

DcmObj::~DcmObj() = default;

void DcmObj::Clear() { items.clear(); }

int DcmObj::Count() const { return static_cast<int>(items.size()); }

const char* DcmObj::ClassNameAt(int index) const {
  if (index < 0 || index >= Count()) ThrowOutOfRange(index);
  return items[index]->ClassName();
}

DcmTag* DcmObj::TagAt(int index) const {
  if (index < 0 || index >= Count()) ThrowOutOfRange(index);
  DcmEntry* e = items[index].get();
  return e->kind() == Kind::Tag ? static_cast<DcmTag*>(e) : nullptr;
}

DcmObj* DcmObj::ObjAt(int index) const {
  if (index < 0 || index >= Count()) ThrowOutOfRange(index);
  DcmEntry* e = items[index].get();
  return e->kind() == Kind::Obj ? static_cast<DcmObj*>(e) : nullptr;
}

void DcmObj::Add(DcmEntry* entry) {
  if (entry) items.emplace_back(entry);
}

void DcmObj::InsertAt(DcmEntry* entry, int index) {
  std::unique_ptr<DcmEntry> owned(entry);
  if (index < 0 || index > Count()) ThrowOutOfRange(index);
  if (owned) items.insert(items.begin() + index, std::move(owned));
}

void DcmObj::Delete(int index) {
  if (index < 0 || index >= Count()) ThrowOutOfRange(index);
  items.erase(items.begin() + index);
}

// The index one past the delimiter that closes the flat structure opened at `opener`.
static size_t EndOfFlatStructure(const std::vector<std::unique_ptr<DcmEntry>>& items,
                                 size_t opener) {
  NestingState nesting;
  nesting.Advance(*items[opener]);
  size_t i = opener + 1;
  while (i < items.size() && !nesting.TopLevel()) nesting.Advance(*items[i++]);
  return i;
}

void DcmObj::Insert(DcmTag* raw) {
  std::unique_ptr<DcmTag> tag(raw);
  if (!tag) return;
  // Inserting a group length itself must not be overwritten by the old value it replaces.
  const bool keepGroupLength = tag->element != 0x0000;
  DcmTag* groupLength = nullptr;
  uint32_t groupLengthValue = 0;
  auto adjustGroupLength = [&](uint32_t grow) {
    if (!groupLength) return;
    groupLengthValue += grow;
    for (int i = 0; i < 4; ++i)
      groupLength->data[i] = static_cast<uint8_t>(groupLengthValue >> (8 * i));
  };

  NestingState nesting;
  for (size_t i = 0; i < items.size(); ++i) {
    if (!nesting.Advance(*items[i])) continue;
    DcmEntry& entry = *items[i];
    const DcmTag& existing = HeaderOf(entry);
    if (keepGroupLength && entry.kind() == Kind::Tag && existing.group == tag->group &&
        existing.element == 0x0000 && existing.length == 4 && existing.data.size() == 4) {
      groupLength = static_cast<DcmTag*>(&entry);
      groupLengthValue = existing.GetULong();
    }
    if (existing.group == tag->group && existing.element == tag->element) {
      const uint32_t former = CountedLength(existing.length);
      if (entry.kind() == Kind::Tag) {
        DcmTag& target = static_cast<DcmTag&>(entry);
        // Replacing the opener of a flat sequence or of encapsulated pixel data: its items and
        // delimiter go too, or they would be left behind without an opener.
        if (IsFlatOpener(target) || IsEncapsulatedPixelOpener(target)) {
          items.erase(items.begin() + i + 1, items.begin() + EndOfFlatStructure(items, i));
        }
        target.length = tag->length;
        target.data = std::move(tag->data);
      } else {
        // A nested sequence replaced by a plain value becomes an element with the sequence's VR.
        auto element = std::make_unique<DcmTag>();
        element->group = tag->group;
        element->element = tag->element;
        element->SetVR(existing.vr);
        element->length = tag->length;
        element->data = std::move(tag->data);
        items[i] = std::move(element);
      }
      adjustGroupLength(CountedLength(tag->length) - former);
      return;
    }
    if (TagGreater(existing, tag->group, tag->element)) {
      const uint32_t grow = CountedLength(tag->length) + 8;
      items.insert(items.begin() + i, std::move(tag));
      adjustGroupLength(grow);
      return;
    }
  }
  const uint32_t grow = CountedLength(tag->length) + 8;
  items.push_back(std::move(tag));
  adjustGroupLength(grow);
}

void DcmObj::SetString(uint16_t group, uint16_t element, const std::string& text) {
  Insert(new DcmTag(group, element, text));
}

void DcmObj::InsertSequence(uint16_t group, uint16_t element, DcmObj* raw) {
  std::unique_ptr<DcmObj> sequence(raw);
  if (!sequence) return;
  sequence->explicitVR = explicitVR;
  sequence->header->group = group;
  sequence->header->element = element;
  sequence->header->SetVR(NestedHeaderVR(group, element));
  NestingState nesting;
  for (size_t i = 0; i < items.size(); ++i) {
    if (!nesting.Advance(*items[i])) continue;
    if (TagGreater(HeaderOf(*items[i]), group, element)) {
      items.insert(items.begin() + i, std::move(sequence));
      return;
    }
  }
  items.push_back(std::move(sequence));
}

// The first top-level element (not a nested data set) with the tag.
static const DcmTag* FindTopLevel(const DcmObj& obj, uint16_t group, uint16_t element) {
  NestingState nesting;
  for (const auto& entry : obj.items) {
    if (!nesting.Advance(*entry) || entry->kind() != DcmEntry::Kind::Tag) continue;
    const auto& tag = static_cast<const DcmTag&>(*entry);
    if (tag.group == group && tag.element == element) return &tag;
  }
  return nullptr;
}

uint16_t DcmObj::GetUShort(uint16_t group, uint16_t element) const {
  const DcmTag* tag = FindTopLevel(*this, group, element);
  return tag ? tag->GetUShort() : 0;
}

std::string DcmObj::GetString(uint16_t group, uint16_t element) const {
  const DcmTag* tag = FindTopLevel(*this, group, element);
  return tag ? tag->GetString() : std::string();
}

void DcmObj::Dump(std::vector<std::string>& lines, int depth) const {
  for (const auto& entry : items) {
    if (entry->kind() == Kind::Tag) {
      const auto& tag = static_cast<const DcmTag&>(*entry);
      if (tag.group == 0x0000) {
        // Command elements carry no VR on the wire; show the dictionary's.
        DcmTag withVR;
        withVR.group = tag.group;
        withVR.element = tag.element;
        withVR.LookupVR();
        lines.push_back(tag.DumpLine(depth, withVR.vr));
      } else {
        lines.push_back(tag.DumpLine(depth));
      }
    } else {
      const auto& nested = static_cast<const DcmObj&>(*entry);
      lines.push_back(nested.header->DumpLine(depth));
      nested.Dump(lines, depth + 1);
    }
  }
}
