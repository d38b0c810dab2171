// StudyInfo over its rows (db/RecordTable.cpp).
#include "db/StudyInfo.h"

#include "db/PatientName.h"
#include "db/RecordTable.h"
#include "dicom/DcmTag.h"
#include "dicom/Tags.h"
#include "dicom/util/TextUtil.h"

void StudyInfo::ReadDCO(const DcmObj& dataSet, NameForm nameForm) {
  // A Patient Name's "," becomes "^" before it is trimmed; a stored name has lost the "^" it
  // arrived with before that, so "DOE,JOHN" reads "DOE^JOHN" received or imported.
  auto textOf = [nameForm](const DcmTag& element) {
    std::string text = ValueText(element);
    if (TagKey{element.group, element.element} == tag::kPatientName) {
      if (nameForm == NameForm::Stored) text = StoredPatientName(text);
      for (char& c : text)
        if (c == ',') c = '^';
    }
    return text;
  };
  ReadAttributes(*this, StudyAttributes(), dataSet, textOf);
}

void StudyInfo::SetGroup0008(uint16_t element, const std::string& value) {
  SetAttribute(*this, StudyAttributes(), {0x0008, element}, value);
}

void StudyInfo::SetGroup0010(uint16_t element, const std::string& value) {
  SetAttribute(*this, StudyAttributes(), {0x0010, element}, value);
}

void StudyInfo::SetGroup0020(uint16_t element, const std::string& value) {
  SetAttribute(*this, StudyAttributes(), {0x0020, element}, value);
}

void StudyInfo::WriteDCO(DcmObj& identifier) const {
  WriteAttributes(*this, StudyAttributes(), identifier);
}
