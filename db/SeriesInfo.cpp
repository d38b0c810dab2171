#include "db/SeriesInfo.h"

#include "db/RecordText.h"
#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"

void SeriesInfo::ReadDCO(const DcmObj& dataSet) {
  ReadTopLevelValues(dataSet, ValueText,
                     {{0x0008, [this](uint16_t e, const std::string& v) { SetGroup0008(e, v); }},
                      {0x0018, [this](uint16_t e, const std::string& v) { SetGroup0018(e, v); }},
                      {0x0020, [this](uint16_t e, const std::string& v) { SetGroup0020(e, v); }}});
}

void SeriesInfo::SetGroup0008(uint16_t element, const std::string& value) {
  const std::string text = TrimText(value);
  switch (element) {
    case 0x0021:
      SeriesDate = text;
      break;
    case 0x0031:
      SeriesTime = text;
      break;
    case 0x0060:
      Modality = text;
      break;
    case 0x0080:
      InstitutionName = text;
      break;
    case 0x103E:
      SeriesDescription = text;
      break;
    case 0x1070:
      OperatorsName = text;
      break;
    default:
      break;
  }
}

void SeriesInfo::SetGroup0018(uint16_t element, const std::string& value) {
  const std::string text = TrimText(value);
  switch (element) {
    case 0x0015:
      BodyPartExamined = text;
      break;
    case 0x1030:
      ProtocolName = text;
      break;
    case 0x5100:
      PatientPosition = text;
      break;
    default:
      break;
  }
}

void SeriesInfo::SetGroup0020(uint16_t element, const std::string& value) {
  const std::string text = TrimText(value);
  switch (element) {
    case 0x000D:
      StudyInstanceUID = text;
      break;
    case 0x000E:
      SeriesInstanceUID = text;
      break;
    case 0x0011:
      SeriesNumber = text;
      break;
    case 0x0052:
      FrameOfReferenceUID = text;
      break;
    default:
      break;
  }
}

void SeriesInfo::WriteDCO(DcmObj& identifier) const {
  identifier.Add(new DcmTag(0x0008, 0x0021, SeriesDate, "DA"));
  identifier.Add(new DcmTag(0x0008, 0x0031, SeriesTime, "TM"));
  identifier.Add(new DcmTag(0x0008, 0x0052, std::string("SERIES"), "CS"));
  identifier.Add(new DcmTag(0x0008, 0x0060, Modality, "CS"));
  identifier.Add(new DcmTag(0x0008, 0x0080, InstitutionName, "CS"));
  identifier.Add(new DcmTag(0x0008, 0x103E, SeriesDescription, "LO"));
  identifier.Add(new DcmTag(0x0008, 0x1070, OperatorsName, "PN"));
  identifier.Add(new DcmTag(0x0018, 0x0015, BodyPartExamined, "CS"));
  identifier.Add(new DcmTag(0x0018, 0x1030, ProtocolName, "LO"));
  identifier.Add(new DcmTag(0x0018, 0x5100, PatientPosition, "CS"));
  identifier.Add(new DcmTag(0x0020, 0x000D, StudyInstanceUID, "UI"));
  identifier.Add(new DcmTag(0x0020, 0x000E, SeriesInstanceUID, "UI"));
  identifier.Add(new DcmTag(0x0020, 0x0011, SeriesNumber, "IS"));
}
