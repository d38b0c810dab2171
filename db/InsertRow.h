// The insert pattern the three tables share: fill the record, look the key up, insert the row
// when it is missing. Internal to the database library.
#pragma once

#include <functional>
#include <string>

#include "db/SQLdb.h"
#include "db/dbInsert.h"

class DcmObj;

struct InsertSteps {
  const char* className;  // "StudyDB", "SeriesDB", "ObjectsDB": the prefix of the log lines
  std::function<void()> readRecord;
  std::string keyColumn;
  std::function<std::string()> keyValue;
  std::function<void(dbInsert&)> addColumns;
  std::function<void()> whenFound;     // may be empty
  std::function<void()> whenInserted;  // may be empty
};

// True when the row exists afterwards (inserted now or already there). The row's texts are
// converted from the character set `dataSet` declares.
bool InsertRowUnlessPresent(SQLdb& db, const std::string& table, const DcmObj& dataSet,
                            const InsertSteps& steps);
