#include "db/RecordText.h"

#include <algorithm>

#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"

namespace {

constexpr uint16_t kDelimiterGroup = 0xFFFE;
constexpr uint16_t kItemDelimitation = 0xE00D;
constexpr uint16_t kSequenceDelimitation = 0xE0DD;

bool IsDelimiter(const DcmTag& tag) {
  return tag.group == kDelimiterGroup &&
         (tag.element == kItemDelimitation || tag.element == kSequenceDelimitation);
}

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 0x20; }

}  // namespace

void ForEachTopLevelElement(const DcmObj& dataSet,
                            const std::function<void(const DcmTag&)>& visit) {
  int depth = 0;
  for (const auto& entry : dataSet.items) {
    if (!entry || entry->kind() != DcmEntry::Kind::Tag) continue;
    const auto& tag = static_cast<const DcmTag&>(*entry);
    if (IsDelimiter(tag)) {
      if (depth > 0) --depth;
      continue;
    }
    if (tag.length == kUndefinedLength) {  // opens a sequence, item or encapsulated value
      ++depth;
      continue;
    }
    if (depth > 0 || tag.group == kDelimiterGroup) continue;
    visit(tag);
  }
}

void ReadTopLevelValues(const DcmObj& dataSet,
                        const std::function<std::string(const DcmTag&)>& textOf,
                        std::initializer_list<GroupSetter> setters) {
  ForEachTopLevelElement(dataSet, [&](const DcmTag& tag) {
    if (tag.length == 0) return;
    for (const GroupSetter& setter : setters) {
      if (setter.group != tag.group) continue;
      setter.set(tag.element, textOf(tag));
      return;
    }
  });
}

std::string ValueText(const DcmTag& element) {
  if (element.length == 0 || element.length == kUndefinedLength) return {};
  const size_t size = std::min<size_t>(element.length, element.data.size());
  std::string text(reinterpret_cast<const char*>(element.data.data()), size);
  const size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  return text;
}

std::string TrimText(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlankOrControl(text[begin])) ++begin;
  while (end > begin && IsBlankOrControl(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}
