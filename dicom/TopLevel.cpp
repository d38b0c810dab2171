#include "dicom/TopLevel.h"

#include "dicom/DcmObj.h"
#include "dicom/Nesting.h"

void ForEachTopLevelElement(const DcmObj& dataSet,
                            const std::function<void(const DcmTag&)>& visit) {
  NestingState nesting;
  for (const auto& entry : dataSet.items) {
    if (!entry || !nesting.Advance(*entry) || entry->kind() != DcmEntry::Kind::Tag) continue;
    visit(static_cast<const DcmTag&>(*entry));
  }
}
