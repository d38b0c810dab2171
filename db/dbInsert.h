// Builder of one "INSERT OR IGNORE" statement, and the existence look-up that precedes it.
#pragma once

#include <string>

#include "db/CharacterSet.h"
#include "db/SQLdb.h"

class dbInsert {
 public:
  // Text values are in `from`, the character set their data set declares.
  explicit dbInsert(ReceivedCharacterSet from = ReceivedCharacterSet::AsStored) : from_(from) {}
  // A text value, in the database's encoding; every "'" becomes a blank (the stored form
  // look-ups also use).
  void Add(const std::string& column, const std::string& value);
  void AddInt(const std::string& column, long long value);
  // Runs "INSERT OR IGNORE INTO table (columns) VALUES (...)" with the values bound, leaves the
  // displayable statement in `sql`, and empties the builder. True when the statement returned 0.
  bool Post(SQLdb& db, const std::string& table);

  std::string columns;
  std::string values;  // the placeholders, ", "-separated
  std::string sql;

 private:
  ReceivedCharacterSet from_;
  SqlValues bound_;
};

// Whether a row with table.column = value exists. The value is looked up as inserts store it
// ("'" as a blank). A failed statement or a raised error counts as not found.
bool dbLocate(SQLdb& db, const std::string& table, const std::string& column,
              const std::string& value);

// dbLocate with the failure kept apart: a raised error is a failure (the insert must not
// report success), a failed statement counts as not found (INSERT OR IGNORE stays harmless).
enum class LocateOutcome { Found, NotFound, Failed };
LocateOutcome LocateRow(SQLdb& db, const std::string& table, const std::string& column,
                        const std::string& value);

// Text as inserts and look-ups store it: trimmed by the records already, "'" turned into " ".
std::string StoredText(const std::string& value);
// A received value as an insert stores it: converted from `from` into the database's encoding,
// then as StoredText.
std::string StoredText(const std::string& value, ReceivedCharacterSet from);
