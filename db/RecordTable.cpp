// The three records' rows and the loops over them (see RecordTable.h).
#include "db/RecordTable.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "db/dbInsert.h"
#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"
#include "dicom/Tags.h"
#include "dicom/TopLevel.h"
#include "dicom/util/TextUtil.h"

namespace {

using S = Attribute<StudyInfo>;
using E = Attribute<SeriesInfo>;
using I = Attribute<ImageInfo>;
constexpr Stored kText = Stored::Text;
constexpr Stored kInteger = Stored::Integer;

// Study: the 15 columns of the Study table, then what is read or answered only. StudyModality
// takes Modality and Modalities in Study, whichever comes later in the data set.
constexpr S kStudyRows[] = {
    {"StudyInstanceUID", tag::kStudyInstanceUID, &StudyInfo::StudyInstanceUID, nullptr,
     Read::Trimmed, "UI", kText, true},
    {"StudyDate", tag::kStudyDate, &StudyInfo::StudyDate, nullptr, Read::Trimmed, "DA", kText,
     true},
    {"StudyTime", tag::kStudyTime, &StudyInfo::StudyTime, nullptr, Read::Trimmed, "TM", kText,
     true},
    {"StudyID", tag::kStudyID, &StudyInfo::StudyID, nullptr, Read::Trimmed, nullptr, kText, true},
    {"StudyDescription", tag::kStudyDescription, &StudyInfo::StudyDescription, nullptr,
     Read::Trimmed, "LO", kText, true},
    {"AccessionNumber", tag::kAccessionNumber, &StudyInfo::AccessionNumber, nullptr, Read::Trimmed,
     "SH", kText, true},
    {"ReferPhysician", tag::kReferringPhysicianName, &StudyInfo::ReferPhysician, nullptr,
     Read::Trimmed, "PN", kText, true},
    {"StudyModality", tag::kModalitiesInStudy, &StudyInfo::StudyModality, nullptr, Read::Trimmed,
     "CS", kText, true},
    {"StationName", tag::kStationName, &StudyInfo::StationName, nullptr, Read::Never, nullptr,
     kText, true},
    {"InstitutionName", tag::kInstitutionName, &StudyInfo::InstitutionName, nullptr, Read::Trimmed,
     "LO", kText, true},
    {"StudyPath", {0, 0}, nullptr, nullptr, Read::Never, nullptr, kText},
    {"PatientID", tag::kPatientID, &StudyInfo::PatientID, nullptr, Read::Trimmed, "LO", kText,
     true},
    {"PatientName", tag::kPatientName, &StudyInfo::PatientName, nullptr, Read::Trimmed, "PN", kText,
     true},
    {"PatientSex", tag::kPatientSex, &StudyInfo::PatientSex, nullptr, Read::Trimmed, "CS", kText,
     true},
    {"PatientBD", tag::kPatientBirthDate, &StudyInfo::PatientBD, nullptr, Read::Trimmed, "DA",
     kText, true},
    {nullptr, tag::kModality, &StudyInfo::StudyModality},
    {"PatientsAge", tag::kPatientAge, &StudyInfo::PatientsAge, nullptr, Read::Trimmed, nullptr,
     Stored::No, true},
    {"PatientsWeight", tag::kPatientWeight, &StudyInfo::PatientsWeight, nullptr, Read::Trimmed,
     nullptr, Stored::No, true},
    {nullptr, tag::kQueryRetrieveLevel, nullptr, nullptr, Read::Never, "CS", Stored::No, false,
     "STUDY"},
};

// Series: the 13 columns of the Series table (Manufacturer and ModelName are never read from a
// data set), then the rest. InstitutionName goes out as CS.
constexpr E kSeriesRows[] = {
    {"SeriesInstanceUID", tag::kSeriesInstanceUID, &SeriesInfo::SeriesInstanceUID, nullptr,
     Read::Trimmed, "UI", kText, true},
    {"SeriesNumber", tag::kSeriesNumber, &SeriesInfo::SeriesNumber, nullptr, Read::Trimmed, "IS",
     kText, true},
    {"SeriesDate", tag::kSeriesDate, &SeriesInfo::SeriesDate, nullptr, Read::Trimmed, "DA", kText,
     true},
    {"SeriesTime", tag::kSeriesTime, &SeriesInfo::SeriesTime, nullptr, Read::Trimmed, "TM", kText,
     true},
    {"SeriesDescription", tag::kSeriesDescription, &SeriesInfo::SeriesDescription, nullptr,
     Read::Trimmed, "LO", kText, true},
    {"Modality", tag::kModality, &SeriesInfo::Modality, nullptr, Read::Trimmed, "CS", kText, true},
    {"InstitutionName", tag::kInstitutionName, &SeriesInfo::InstitutionName, nullptr, Read::Trimmed,
     "CS", kText, true},
    {"Manufacturer", {0, 0}, &SeriesInfo::Manufacturer, nullptr, Read::Never, nullptr, kText},
    {"ModelName", {0, 0}, &SeriesInfo::ModelName, nullptr, Read::Never, nullptr, kText},
    {"BodyPartExamined", tag::kBodyPartExamined, &SeriesInfo::BodyPartExamined, nullptr,
     Read::Trimmed, "CS", kText, true},
    {"ProtocolName", tag::kProtocolName, &SeriesInfo::ProtocolName, nullptr, Read::Trimmed, "LO",
     kText, true},
    {"SeriesPath", {0, 0}, nullptr, nullptr, Read::Never, nullptr, kText},
    {"StudyInstanceUID", tag::kStudyInstanceUID, &SeriesInfo::StudyInstanceUID, nullptr,
     Read::Trimmed, "UI", kText, true},
    {"PatientPosition", tag::kPatientPosition, &SeriesInfo::PatientPosition, nullptr, Read::Trimmed,
     "CS", Stored::No, true},
    {nullptr, tag::kOperatorsName, &SeriesInfo::OperatorsName, nullptr, Read::Trimmed, "PN"},
    {nullptr, tag::kFrameOfReferenceUID, &SeriesInfo::FrameOfReferenceUID},
    {nullptr, tag::kQueryRetrieveLevel, nullptr, nullptr, Read::Never, "CS", Stored::No, false,
     "SERIES"},
};

// Objects: the 15 columns of the Objects table (ReceivedDate is the day of receipt,
// BackupStatus 0, KeyObject "N"), then the rest. NumberOfFrames and ConvolutionKernel are stored
// untrimmed; the four 16-bit numbers are parsed.
constexpr I kImageRows[] = {
    {"SOPInstanceUID", tag::kSOPInstanceUID, &ImageInfo::SOPInstanceUID, nullptr, Read::Trimmed,
     "UI", kText, true},
    {"SOPClassUID", tag::kSOPClassUID, &ImageInfo::SOPClassUID, nullptr, Read::Trimmed, "UI", kText,
     true},
    {"ImageNumber", tag::kInstanceNumber, &ImageInfo::InstanceNumber, nullptr, Read::Trimmed, "IS",
     kInteger},
    {"ContentDate", tag::kContentDate, &ImageInfo::ContentDate, nullptr, Read::Trimmed, "DA", kText,
     true},
    {"ContentTime", tag::kContentTime, &ImageInfo::ContentTime, nullptr, Read::Trimmed, "TM", kText,
     true},
    {"AcquisitionNumber", tag::kAcquisitionNumber, &ImageInfo::AcquisitionNumber, nullptr,
     Read::Trimmed, "IS", kInteger},
    {"AcquisitionDate", tag::kAcquisitionDate, &ImageInfo::AcquisitionDate, nullptr, Read::Trimmed,
     "DA", kText, true},
    {"AcquisitionTime", tag::kAcquisitionTime, &ImageInfo::AcquisitionTime, nullptr, Read::Trimmed,
     "TM", kText, true},
    {"SliceLocation", tag::kSliceLocation, &ImageInfo::SliceLocation, nullptr, Read::Trimmed, "DS",
     kText},
    {"ReceivedDate", {0, 0}, nullptr, nullptr, Read::Never, nullptr, kText},
    {"SeriesInstanceUID", tag::kSeriesInstanceUID, &ImageInfo::SeriesInstanceUID, nullptr,
     Read::Trimmed, "UI", kText, true},
    {"StudyInstanceUID", tag::kStudyInstanceUID, &ImageInfo::StudyInstanceUID, nullptr,
     Read::Trimmed, "UI", kText, true},
    {"ConvolutionKernel", tag::kConvolutionKernel, &ImageInfo::ConvolutionKernel, nullptr,
     Read::AsIs, nullptr, kText},
    {"BackupStatus", {0, 0}, nullptr, nullptr, Read::Never, nullptr, kInteger, false, "0"},
    {"KeyObject", {0, 0}, nullptr, nullptr, Read::Never, nullptr, kText, false, "N"},
    {nullptr, tag::kNumberOfFrames, &ImageInfo::NumberOfFrames, nullptr, Read::AsIs, "IS"},
    {nullptr, tag::kSamplesPerPixel, nullptr, &ImageInfo::SamplesPerPixel, Read::Number},
    {nullptr, tag::kPhotometricInterpretation, &ImageInfo::PhotometricInterpretation},
    {nullptr, tag::kRows, nullptr, &ImageInfo::Rows, Read::Number},
    {nullptr, tag::kColumns, nullptr, &ImageInfo::Columns, Read::Number},
    {nullptr, tag::kBitsStored, nullptr, &ImageInfo::BitsStored, Read::Number},
    {nullptr, tag::kImageType, &ImageInfo::ImageType, nullptr, Read::Trimmed, "CS"},
    {nullptr, tag::kPresentationIntentType, &ImageInfo::PresentationIntentType},
    {nullptr, tag::kImageOrientationPatient, &ImageInfo::ImageOrientationPatient, nullptr,
     Read::Trimmed, "DS"},
    {nullptr, tag::kImagePositionPatient, &ImageInfo::ImagePositionPatient, nullptr, Read::Trimmed,
     "DS"},
    {nullptr, tag::kQueryRetrieveLevel, nullptr, nullptr, Read::Never, "CS", Stored::No, false,
     "IMAGE"},
};

// A decimal integer stored as its low 16 bits; anything else (never read by the system) is 0.
uint16_t ParseU16OrZero(const std::string& value) {
  const std::string text = TrimControlAndBlanks(value);
  long long n = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, n);
  if (text.empty() || ec != std::errc() || ptr != end) return 0;
  return static_cast<uint16_t>(n);
}

// The row's value: the record's field, the row's constant, or for a column of the owner's
// (no element, no field) `ownerText`.
template <class Record>
std::string ValueOf(const Record& record, const Attribute<Record>& row,
                    const std::string& ownerText) {
  if (row.text) return record.*row.text;
  if (row.fixed) return row.fixed;
  return row.tag == TagKey{0, 0} ? ownerText : std::string();
}

}  // namespace

std::span<const Attribute<StudyInfo>> StudyAttributes() { return kStudyRows; }
std::span<const Attribute<SeriesInfo>> SeriesAttributes() { return kSeriesRows; }
std::span<const Attribute<ImageInfo>> ImageAttributes() { return kImageRows; }

template <class Record>
void SetAttribute(Record& record, std::span<const Attribute<Record>> rows, TagKey tag,
                  const std::string& value) {
  for (const Attribute<Record>& row : rows) {
    if (row.read == Read::Never || row.tag != tag) continue;
    switch (row.read) {
      case Read::Trimmed:
        record.*row.text = TrimControlAndBlanks(value);
        break;
      case Read::AsIs:
        record.*row.text = value;
        break;
      case Read::Number:
        record.*row.number = ParseU16OrZero(value);
        break;
      case Read::Never:
        break;
    }
    return;
  }
}

template <class Record>
void ReadAttributes(Record& record, std::span<const Attribute<Record>> rows, const DcmObj& dataSet,
                    const std::function<std::string(const DcmTag&)>& textOf) {
  ForEachTopLevelElement(dataSet, [&](const DcmTag& element) {
    if (element.length == 0 || element.length == kUndefinedLength) return;
    const TagKey tag{element.group, element.element};
    for (const Attribute<Record>& row : rows)
      if (row.read != Read::Never && row.tag == tag) {
        SetAttribute(record, rows, tag, textOf(element));
        return;
      }
  });
}

template <class Record>
void WriteAttributes(const Record& record, std::span<const Attribute<Record>> rows,
                     DcmObj& identifier) {
  std::vector<const Attribute<Record>*> keys;
  for (const Attribute<Record>& row : rows)
    if (row.writtenVR) keys.push_back(&row);
  std::stable_sort(keys.begin(), keys.end(), [](const auto* a, const auto* b) {
    return a->tag.group != b->tag.group ? a->tag.group < b->tag.group
                                        : a->tag.element < b->tag.element;
  });
  for (const Attribute<Record>* key : keys)
    identifier.Add(
        new DcmTag(key->tag.group, key->tag.element, ValueOf(record, *key, {}), key->writtenVR));
}

template <class Record>
void AddAttributeColumns(dbInsert& insert, const Record& record,
                         std::span<const Attribute<Record>> rows, const std::string& ownerText) {
  for (const Attribute<Record>& row : rows) {
    if (row.stored == Stored::No) continue;
    const std::string value = ValueOf(record, row, ownerText);
    if (row.stored == Stored::Integer)
      insert.AddInt(row.column, DecimalOrZero(value));
    else
      insert.Add(row.column, value);
  }
}

template <class Record>
TagKey AnsweredTag(std::span<const Attribute<Record>> rows, const std::string& column) {
  for (const Attribute<Record>& row : rows)
    if (row.answered && column == row.column) return row.tag;
  return {0, 0};
}

#define INSTANTIATE(Record)                                                                       \
  template void SetAttribute(Record&, std::span<const Attribute<Record>>, TagKey,                 \
                             const std::string&);                                                 \
  template void ReadAttributes(Record&, std::span<const Attribute<Record>>, const DcmObj&,        \
                               const std::function<std::string(const DcmTag&)>&);                 \
  template void WriteAttributes(const Record&, std::span<const Attribute<Record>>, DcmObj&);      \
  template void AddAttributeColumns(dbInsert&, const Record&, std::span<const Attribute<Record>>, \
                                    const std::string&);                                          \
  template TagKey AnsweredTag(std::span<const Attribute<Record>>, const std::string&);
INSTANTIATE(StudyInfo)
INSTANTIATE(SeriesInfo)
INSTANTIATE(ImageInfo)
#undef INSTANTIATE
