#include "db/StudyInfo.h"

#include "db/RecordText.h"
#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"

void StudyInfo::ReadDCO(const DcmObj& dataSet) {
  auto textOf = [](const DcmTag& tag) {
    std::string text = ValueText(tag);
    if (tag.group == 0x0010 && tag.element == 0x0010)
      for (char& c : text)
        if (c == ',') c = '^';
    return text;
  };
  ReadTopLevelValues(dataSet, textOf,
                     {{0x0008, [this](uint16_t e, const std::string& v) { SetGroup0008(e, v); }},
                      {0x0010, [this](uint16_t e, const std::string& v) { SetGroup0010(e, v); }},
                      {0x0020, [this](uint16_t e, const std::string& v) { SetGroup0020(e, v); }}});
}

void StudyInfo::SetGroup0008(uint16_t element, const std::string& value) {
  const std::string text = TrimText(value);
  switch (element) {
    case 0x0020:
      StudyDate = text;
      break;
    case 0x0030:
      StudyTime = text;
      break;
    case 0x0050:
      AccessionNumber = text;
      break;
    case 0x0060:  // Modality and Modalities in Study: whichever comes later
    case 0x0061:
      StudyModality = text;
      break;
    case 0x0080:
      InstitutionName = text;
      break;
    case 0x0090:
      ReferPhysician = text;
      break;
    case 0x1030:
      StudyDescription = text;
      break;
    default:
      break;
  }
}

void StudyInfo::SetGroup0010(uint16_t element, const std::string& value) {
  const std::string text = TrimText(value);
  switch (element) {
    case 0x0010:
      PatientName = text;
      break;
    case 0x0020:
      PatientID = text;
      break;
    case 0x0030:
      PatientBD = text;
      break;
    case 0x0040:
      PatientSex = text;
      break;
    case 0x1010:
      PatientsAge = text;
      break;
    case 0x1030:
      PatientsWeight = text;
      break;
    default:
      break;
  }
}

void StudyInfo::SetGroup0020(uint16_t element, const std::string& value) {
  const std::string text = TrimText(value);
  switch (element) {
    case 0x000D:
      StudyInstanceUID = text;
      break;
    case 0x0010:
      StudyID = text;
      break;
    default:
      break;
  }
}

void StudyInfo::WriteDCO(DcmObj& identifier) const {
  identifier.Add(new DcmTag(0x0008, 0x0020, StudyDate, "DA"));
  identifier.Add(new DcmTag(0x0008, 0x0030, StudyTime, "TM"));
  identifier.Add(new DcmTag(0x0008, 0x0050, AccessionNumber, "SH"));
  identifier.Add(new DcmTag(0x0008, 0x0052, std::string("STUDY"), "CS"));
  identifier.Add(new DcmTag(0x0008, 0x0061, StudyModality, "CS"));
  identifier.Add(new DcmTag(0x0008, 0x0080, InstitutionName, "LO"));
  identifier.Add(new DcmTag(0x0008, 0x0090, ReferPhysician, "PN"));
  identifier.Add(new DcmTag(0x0008, 0x1030, StudyDescription, "LO"));
  identifier.Add(new DcmTag(0x0010, 0x0010, PatientName, "PN"));
  identifier.Add(new DcmTag(0x0010, 0x0020, PatientID, "LO"));
  identifier.Add(new DcmTag(0x0010, 0x0030, PatientBD, "DA"));
  identifier.Add(new DcmTag(0x0010, 0x0040, PatientSex, "CS"));
  identifier.Add(new DcmTag(0x0020, 0x000D, StudyInstanceUID, "UI"));
}
