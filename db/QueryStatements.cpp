// One SELECT per query level, built from the identifier's keys: the key table of each level
// names the column a key selects and the condition its value adds. Values are bound.
#include <algorithm>
#include <memory>
#include <string_view>
#include <vector>

#include "db/LocalQuery.h"
#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"
#include "dicom/TagKeyOps.h"
#include "dicom/Tags.h"
#include "dicom/util/Log.h"

namespace {

enum class Match { None, Date, Equal, Contains, Prefix };

struct QueryKey {
  TagKey tag;
  const char* column;
  Match match;
};

constexpr QueryKey kStudyKeys[] = {
    {tag::kStudyDate, "StudyDate", Match::Date},
    {tag::kStudyTime, "StudyTime", Match::Date},
    {tag::kAccessionNumber, "AccessionNumber", Match::Equal},
    {tag::kModalitiesInStudy, "StudyModality", Match::Contains},
    {tag::kInstitutionName, "InstitutionName", Match::Contains},
    {tag::kReferringPhysicianName, "ReferPhysician", Match::Prefix},
    {tag::kStudyDescription, "StudyDescription", Match::Contains},
    {tag::kPatientName, "PatientName", Match::Prefix},
    {tag::kPatientID, "PatientID", Match::Prefix},
    {tag::kPatientBirthDate, "PatientBD", Match::None},
    {tag::kPatientSex, "PatientSex", Match::None},
    {tag::kStudyInstanceUID, "StudyInstanceUID", Match::Equal},
    {tag::kStudyID, "StudyID", Match::Equal},
};

constexpr QueryKey kSeriesKeys[] = {
    {tag::kSeriesDate, "SeriesDate", Match::Date},
    {tag::kSeriesTime, "SeriesTime", Match::Date},
    {tag::kModality, "Modality", Match::Equal},
    {tag::kInstitutionName, "InstitutionName", Match::Contains},
    {tag::kSeriesDescription, "SeriesDescription", Match::Prefix},
    {tag::kBodyPartExamined, "BodyPartExamined", Match::Prefix},
    {tag::kProtocolName, "ProtocolName", Match::Prefix},
    {tag::kStudyInstanceUID, "StudyInstanceUID", Match::Equal},
    {tag::kSeriesInstanceUID, "SeriesInstanceUID", Match::Equal},
    {tag::kSeriesNumber, "SeriesNumber", Match::None},
};

constexpr QueryKey kImageKeys[] = {
    {tag::kSOPClassUID, "SOPClassUID", Match::Equal},
    {tag::kSOPInstanceUID, "SOPInstanceUID", Match::Equal},
    {tag::kAcquisitionDate, "AcquisitionDate", Match::Date},
    {tag::kContentDate, "ContentDate", Match::Date},
    {tag::kAcquisitionTime, "AcquisitionTime", Match::Date},
    {tag::kContentTime, "ContentTime", Match::Date},
    {tag::kStudyInstanceUID, "StudyInstanceUID", Match::Equal},
    {tag::kSeriesInstanceUID, "SeriesInstanceUID", Match::Equal},
};

struct Level {
  const QueryKey* begin;
  const QueryKey* end;
  std::string (*prepare)(const DcmTag&, ReceivedCharacterSet);
  const char* table;
  const char* orderBy;
};

const QueryKey* FindKey(const Level& level, const DcmTag& tag) {
  for (const QueryKey* key = level.begin; key != level.end; ++key)
    if (IsTag(tag, key->tag)) return key;
  return nullptr;
}

// The condition of one key for a prepared, non-empty value; "" when the key has none.
std::string Condition(const QueryKey& key, const std::string& value, SqlValues& values) {
  const std::string column = key.column;
  switch (key.match) {
    case Match::None:
      return {};
    case Match::Date: {
      std::string condition;
      BuildDateCondition(value, column, condition, values);
      return condition;
    }
    case Match::Equal:
      values.emplace_back(value);
      return column + " = ?";
    case Match::Contains:
      values.emplace_back("%" + value + "%");
      return column + " LIKE ?";
    case Match::Prefix:
      values.emplace_back(value + "%");
      return column + " LIKE ?";
  }
  return {};
}

// The value's bytes as the peer sent them, padding included.
std::string_view SentValue(const DcmTag& tag) {
  if (tag.length == kUndefinedLength) return {};
  const size_t size = std::min<size_t>(tag.length, tag.data.size());
  return {reinterpret_cast<const char*>(tag.data.data()), size};
}

// Visits every element of the identifier's list (the flat contents of undefined-length
// sequences included; nested data sets passed over). Repeated keys select their column again.
bool RunLevelQuery(const Level& level, SQLdb& db, const DcmObj& identifier,
                   std::vector<std::string>& rows, std::string& columns, int& count) {
  columns.clear();
  count = 0;
  std::string conditions;
  SqlValues values;
  // Keys are compared in the database's encoding, converted from the identifier's declaration.
  const ReceivedCharacterSet from = DeclaredCharacterSet(identifier);
  // A compared key with a character the database cannot hold would find whatever else became
  // "?" when it was stored: the query then matches nothing.
  const char* unheldKey = nullptr;
  for (const auto& entry : identifier.items) {
    if (!entry || entry->kind() != DcmEntry::Kind::Tag) continue;
    const auto& tag = static_cast<const DcmTag&>(*entry);
    const QueryKey* key = FindKey(level, tag);
    if (!key) continue;
    if (!columns.empty()) columns += ", ";
    columns += key->column;
    ++count;
    if (key->match != Match::None && !DatabaseHolds(SentValue(tag), from)) unheldKey = key->column;
    const std::string value = level.prepare(tag, from);
    if (value.empty()) continue;
    const std::string condition = Condition(*key, value, values);
    if (condition.empty()) continue;
    conditions += conditions.empty() ? " WHERE " : " AND ";
    conditions += condition;
  }
  columns += " ";
  if (unheldKey) {
    LogWrite(std::string("WARNING, ") + unheldKey +
             " key holds a character the database cannot hold; no match");
    return true;
  }
  const std::string statement =
      std::string("SELECT ") + columns + " from " + level.table + " " + conditions + level.orderBy;
  if (db.Query(statement, values, rows) != 0) {
    LogWrite("ERROR, QueryStudyDB, Query=" + StatementText(statement, values));
    return false;
  }
  return true;
}

constexpr Level kStudyLevel{std::begin(kStudyKeys), std::end(kStudyKeys), PrepareStudyValue,
                            "Study", " ORDER BY PatientName"};
constexpr Level kSeriesLevel{std::begin(kSeriesKeys), std::end(kSeriesKeys), PrepareSeriesValue,
                             "Series", ""};
constexpr Level kImageLevel{std::begin(kImageKeys), std::end(kImageKeys), PrepareImageValue,
                            "Objects", ""};

}  // namespace

bool QueryStudyDB(SQLdb& db, const DcmObj& identifier, std::vector<std::string>& rows,
                  std::string& columns, int& count) {
  return RunLevelQuery(kStudyLevel, db, identifier, rows, columns, count);
}

bool QuerySeriesDB(SQLdb& db, const DcmObj& identifier, std::vector<std::string>& rows,
                   std::string& columns, int& count) {
  return RunLevelQuery(kSeriesLevel, db, identifier, rows, columns, count);
}

bool QueryObjectsDB(SQLdb& db, const DcmObj& identifier, std::vector<std::string>& rows,
                    std::string& columns, int& count) {
  return RunLevelQuery(kImageLevel, db, identifier, rows, columns, count);
}

bool QueryLocalDatabase(const DcmObj& identifier, std::vector<std::string>& rows,
                        std::string& columns, int& count, const std::string& level) {
  auto db = std::make_unique<SQLdb>("ecg", kOpenReadOnly);
  if (!db->isOpen) {
    LogWrite("ERROR, Couldn't open database");
    return false;
  }
  if (level == "IMAGE") return QueryObjectsDB(*db, identifier, rows, columns, count);
  if (level == "SERIES") return QuerySeriesDB(*db, identifier, rows, columns, count);
  if (level == "STUDY") return QueryStudyDB(*db, identifier, rows, columns, count);
  return false;
}
