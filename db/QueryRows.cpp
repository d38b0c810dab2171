// Result rows back into response identifiers, and the key UID of a row.
#include <string>

#include "db/CharacterSet.h"
#include "db/LocalQuery.h"
#include "db/RecordText.h"
#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"
#include "dicom/util/Log.h"
#include "dicom/util/TextUtil.h"

namespace {

struct FieldTag {
  const char* column;
  uint16_t group;
  uint16_t element;
};

constexpr FieldTag kStudyFields[] = {
    {"PatientID", 0x0010, 0x0020},        {"PatientName", 0x0010, 0x0010},
    {"PatientBD", 0x0010, 0x0030},        {"PatientSex", 0x0010, 0x0040},
    {"PatientsAge", 0x0010, 0x1010},      {"PatientsWeight", 0x0010, 0x1030},
    {"StudyDate", 0x0008, 0x0020},        {"StudyTime", 0x0008, 0x0030},
    {"StudyInstanceUID", 0x0020, 0x000D}, {"StudyID", 0x0020, 0x0010},
    {"StudyModality", 0x0008, 0x0061},    {"AccessionNumber", 0x0008, 0x0050},
    {"StudyDescription", 0x0008, 0x1030}, {"InstitutionName", 0x0008, 0x0080},
    {"StationName", 0x0008, 0x1010},      {"ReferPhysician", 0x0008, 0x0090},
};

constexpr FieldTag kSeriesFields[] = {
    {"SeriesDate", 0x0008, 0x0021},        {"SeriesTime", 0x0008, 0x0031},
    {"Modality", 0x0008, 0x0060},          {"InstitutionName", 0x0008, 0x0080},
    {"SeriesDescription", 0x0008, 0x103E}, {"BodyPartExamined", 0x0018, 0x0015},
    {"ProtocolName", 0x0018, 0x1030},      {"PatientPosition", 0x0018, 0x5100},
    {"StudyInstanceUID", 0x0020, 0x000D},  {"SeriesInstanceUID", 0x0020, 0x000E},
    {"SeriesNumber", 0x0020, 0x0011},
};

constexpr FieldTag kImageFields[] = {
    {"SOPClassUID", 0x0008, 0x0016},      {"SOPInstanceUID", 0x0008, 0x0018},
    {"AcquisitionDate", 0x0008, 0x0022},  {"ContentDate", 0x0008, 0x0023},
    {"AcquisitionTime", 0x0008, 0x0032},  {"ContentTime", 0x0008, 0x0033},
    {"StudyInstanceUID", 0x0020, 0x000D}, {"SeriesInstanceUID", 0x0020, 0x000E},
};

template <size_t N>
GroupElement Lookup(const FieldTag (&fields)[N], const std::string& column) {
  for (const FieldTag& field : fields)
    if (column == field.column) return {field.group, field.element};
  return {};
}

GroupElement LevelFieldToTag(const std::string& level, const std::string& column) {
  if (level == "STUDY") return StudyFieldToTag(column);
  if (level == "SERIES") return SeriesFieldToTag(column);
  if (level == "IMAGE") return ImageFieldToTag(column);
  return {};
}

bool IsUidColumn(const std::string& column) {
  return column == "StudyInstanceUID" || column == "SeriesInstanceUID" ||
         column == "SOPInstanceUID" || column == "SOPClassUID";
}

bool IsAfterQueryLevel(GroupElement tag) {
  return tag.group > 0x0008 || (tag.group == 0x0008 && tag.element > 0x0052);
}

void AppendText(DcmObj& response, uint16_t group, uint16_t element, std::string text, char pad) {
  if (text.size() % 2 != 0) text += pad;
  response.Add(new DcmTag(group, element, static_cast<uint32_t>(text.size()),
                          static_cast<const void*>(text.data()), nullptr));
}

}  // namespace

GroupElement StudyFieldToTag(const std::string& column) { return Lookup(kStudyFields, column); }
GroupElement SeriesFieldToTag(const std::string& column) { return Lookup(kSeriesFields, column); }
GroupElement ImageFieldToTag(const std::string& column) { return Lookup(kImageFields, column); }

bool RowToDCO(DcmObj& response, const std::string& columns, const std::string& row, int count,
              const std::string& level) {
  // The stored texts are in the database's one encoding; a peer reads them right only when the
  // response says so. Pure ASCII needs no declaration. Every column's tag comes after it.
  if (HasBytesAbove7F(row)) AppendText(response, 0x0008, 0x0005, kDatabaseCharacterSet, ' ');
  bool levelWritten = false;
  for (int i = 1; i <= count; ++i) {
    const std::string column = TrimText(GetField(i, ",", columns));
    const std::string value = TrimText(GetField(i, ";", row));
    const GroupElement tag = LevelFieldToTag(level, column);
    if (tag.group == 0 || tag.element == 0) {
      LogWrite("ERROR, group&element ==0 for DICOMField " + column);
      return false;
    }
    if (!levelWritten && IsAfterQueryLevel(tag)) {
      AppendText(response, 0x0008, 0x0052, level, ' ');
      levelWritten = true;
    }
    AppendText(response, tag.group, tag.element, value, IsUidColumn(column) ? '\0' : ' ');
  }
  if (!levelWritten) AppendText(response, 0x0008, 0x0052, level, ' ');
  return true;
}

void GetRowKeyUID(std::string& uid, const std::string& columns, const std::string& row, int count,
                  const std::string& level) {
  uid.clear();
  if (columns.empty() || row.empty()) return;
  const char* keyColumn = level == "STUDY"    ? "StudyInstanceUID"
                          : level == "SERIES" ? "SeriesInstanceUID"
                          : level == "IMAGE"  ? "SOPInstanceUID"
                                              : nullptr;
  if (!keyColumn) return;
  for (int i = 1; i <= count; ++i) {
    if (TrimText(GetField(i, ",", columns)) == keyColumn) {
      uid = TrimText(GetField(i, ";", row));
      return;
    }
  }
}
