#include "db/dbInsert.h"

#include <exception>
#include <vector>

#include "dicom/util/Log.h"

std::string StoredText(const std::string& value) {
  std::string text = value;
  for (char& c : text)
    if (c == '\'') c = ' ';
  return text;
}

std::string StoredText(const std::string& value, ReceivedCharacterSet from) {
  return StoredText(ToDatabaseText(value, from));
}

void dbInsert::Add(const std::string& column, const std::string& value) {
  columns += column + ", ";
  values += "?, ";
  bound_.emplace_back(StoredText(value, from_));
}

void dbInsert::AddInt(const std::string& column, long long value) {
  columns += column + ", ";
  values += "?, ";
  bound_.push_back(SqlValue::Integer(value));
}

bool dbInsert::Post(SQLdb& db, const std::string& table) {
  auto cutLastSeparator = [](std::string& text) {
    const size_t comma = text.rfind(',');
    if (comma != std::string::npos) text.resize(comma);
  };
  cutLastSeparator(columns);
  cutLastSeparator(values);
  const std::string statement =
      "INSERT OR IGNORE INTO " + table + " (" + columns + ") VALUES (" + values + ")";
  const SqlValues bound = std::move(bound_);
  bound_.clear();
  sql = StatementText(statement, bound);
  columns.clear();
  values.clear();
  return db.Exec(statement, bound) == 0;
}

LocateOutcome LocateRow(SQLdb& db, const std::string& table, const std::string& column,
                        const std::string& value) {
  const std::string statement = "SELECT * FROM " + table + " WHERE " + table + "." + column + "=?";
  const SqlValues bound{StoredText(value)};
  try {
    std::vector<std::string> rows;
    if (db.Query(statement, bound, rows) != 0) {
      LogWrite("ERROR, dbLocate for: " + value + ", " + db.errorText);
      return LocateOutcome::NotFound;
    }
    return rows.empty() ? LocateOutcome::NotFound : LocateOutcome::Found;
  } catch (const std::exception& e) {
    LogWrite("ERROR, Exception at dbLocate, " + StatementText(statement, bound) + ", " + e.what());
    return LocateOutcome::Failed;
  }
}

bool dbLocate(SQLdb& db, const std::string& table, const std::string& column,
              const std::string& value) {
  return LocateRow(db, table, column, value) == LocateOutcome::Found;
}
