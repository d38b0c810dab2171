// Answers a C-FIND/C-MOVE identifier from the local study database: one SELECT on the level's
// table, rows back into response identifiers, and the key UID of a row.
//
// Column list: the selected column names in the order of the identifier's keys, ", "-separated,
// ended by one blank; it travels with the rows to RowToDCO and GetRowKeyUID.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "db/CharacterSet.h"
#include "db/SQLdb.h"

class DcmObj;
class DcmTag;

// Level "STUDY", "SERIES" or "IMAGE" (exact). Opens "ecg" read-only for the query.
bool QueryLocalDatabase(const DcmObj& identifier, std::vector<std::string>& rows,
                        std::string& columns, int& count, const std::string& level);
bool QueryStudyDB(SQLdb& db, const DcmObj& identifier, std::vector<std::string>& rows,
                  std::string& columns, int& count);
bool QuerySeriesDB(SQLdb& db, const DcmObj& identifier, std::vector<std::string>& rows,
                   std::string& columns, int& count);
bool QueryObjectsDB(SQLdb& db, const DcmObj& identifier, std::vector<std::string>& rows,
                    std::string& columns, int& count);

// Date or time condition on `column` for a value "v", "-v", "v-" or "v1-v2", with the dates
// bound as values appended to `values`. False, with an empty condition, for an empty value.
bool BuildDateCondition(const std::string& value, const std::string& column, std::string& condition,
                        SqlValues& values);

// Key value preparation per level, for a key of an identifier whose (0008,0005) declares `from`:
// the value is converted into the database's encoding as registration converts stored text
// (CharacterSet.h), then "'" becomes a blank, as stored, and at STUDY level a Patient Name takes
// its stored form (PatientName.h).
std::string PrepareStudyValue(const DcmTag& element,
                              ReceivedCharacterSet from = ReceivedCharacterSet::AsStored);
std::string PrepareSeriesValue(const DcmTag& element,
                               ReceivedCharacterSet from = ReceivedCharacterSet::AsStored);
std::string PrepareImageValue(const DcmTag& element,
                              ReceivedCharacterSet from = ReceivedCharacterSet::AsStored);

struct GroupElement {
  uint16_t group = 0;
  uint16_t element = 0;
};
// (0000,0000) for a name the level does not hold.
GroupElement StudyFieldToTag(const std::string& column);
GroupElement SeriesFieldToTag(const std::string& column);
GroupElement ImageFieldToTag(const std::string& column);

// Appends one response identifier for a row: the columns in order, (0008,0052) with the level
// before the first greater tag (or last), and (0008,0005) first when the row holds a byte above
// 0x7F. False on a column the level does not map.
bool RowToDCO(DcmObj& response, const std::string& columns, const std::string& row, int count,
              const std::string& level);
// The row's StudyInstanceUID / SeriesInstanceUID / SOPInstanceUID for the level, or "".
void GetRowKeyUID(std::string& uid, const std::string& columns, const std::string& row, int count,
                  const std::string& level);

// Narrows a STUDY identifier by the user's row in database/vesmora.db (Users): non-empty
// PhysicianName, InstitutionName, StudyDescription, StudyModality replace (0008,0090),
// (0008,0080), (0008,1030), (0008,0061). True when the user's row was found.
bool ModifyQueryByUser(const std::string& user, DcmObj& identifier);
