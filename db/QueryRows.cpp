// Result rows back into response identifiers, and the key UID of a row.
#include <string>

#include "db/CharacterSet.h"
#include "db/LocalQuery.h"
#include "db/RecordTable.h"
#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"
#include "dicom/TagKeyOps.h"
#include "dicom/Tags.h"
#include "dicom/util/Log.h"
#include "dicom/util/TextUtil.h"

namespace {

template <class Record>
GroupElement Lookup(std::span<const Attribute<Record>> rows, const std::string& column) {
  const TagKey tag = AnsweredTag(rows, column);
  return {tag.group, tag.element};
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

void AppendText(DcmObj& response, TagKey tag, std::string text, char pad) {
  if (text.size() % 2 != 0) text += pad;
  response.Add(NewTag(tag, static_cast<uint32_t>(text.size()),
                      static_cast<const void*>(text.data()), nullptr));
}

}  // namespace

GroupElement StudyFieldToTag(const std::string& column) {
  return Lookup(StudyAttributes(), column);
}
GroupElement SeriesFieldToTag(const std::string& column) {
  return Lookup(SeriesAttributes(), column);
}
GroupElement ImageFieldToTag(const std::string& column) {
  return Lookup(ImageAttributes(), column);
}

bool RowToDCO(DcmObj& response, const std::string& columns, const std::string& row, int count,
              const std::string& level) {
  // The stored texts are in the database's one encoding; a peer reads them right only when the
  // response says so. Pure ASCII needs no declaration. Every column's tag comes after it.
  if (HasBytesAbove7F(row))
    AppendText(response, tag::kSpecificCharacterSet, kDatabaseCharacterSet, ' ');
  bool levelWritten = false;
  for (int i = 1; i <= count; ++i) {
    const std::string column = TrimControlAndBlanks(GetField(i, ",", columns));
    const std::string value = TrimControlAndBlanks(GetField(i, ";", row));
    const GroupElement tag = LevelFieldToTag(level, column);
    if (tag.group == 0 || tag.element == 0) {
      LogWrite("ERROR, group&element ==0 for DICOMField " + column);
      return false;
    }
    if (!levelWritten && IsAfterQueryLevel(tag)) {
      AppendText(response, tag::kQueryRetrieveLevel, level, ' ');
      levelWritten = true;
    }
    AppendText(response, {tag.group, tag.element}, value, IsUidColumn(column) ? '\0' : ' ');
  }
  if (!levelWritten) AppendText(response, tag::kQueryRetrieveLevel, level, ' ');
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
    if (TrimControlAndBlanks(GetField(i, ",", columns)) == keyColumn) {
      uid = TrimControlAndBlanks(GetField(i, ";", row));
      return;
    }
  }
}
