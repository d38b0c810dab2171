#include "db/InsertRow.h"

#include <exception>

#include "dicom/util/Log.h"

bool InsertRowUnlessPresent(SQLdb& db, const std::string& table, const DcmObj& dataSet,
                            const InsertSteps& steps) {
  const std::string prefix = steps.className;
  try {
    steps.readRecord();
  } catch (const std::exception& e) {
    LogWrite("ERROR, Exception at " + prefix + "::Insert::GetInfo, " + e.what());
    return false;
  }
  switch (LocateRow(db, table, steps.keyColumn, steps.keyValue())) {
    case LocateOutcome::Failed:
      return false;
    case LocateOutcome::Found:
      if (steps.whenFound) steps.whenFound();
      return true;
    case LocateOutcome::NotFound:
      break;
  }
  dbInsert insert(DeclaredCharacterSet(dataSet));
  try {
    steps.addColumns(insert);
    if (!insert.Post(db, table)) {
      LogWrite("ERROR, " + prefix + "::Insert, " + db.errorText);
      LogWrite("ERROR, " + prefix + "::Insert, " + insert.sql);
      return false;
    }
  } catch (const std::exception& e) {
    LogWrite("ERROR, Exception at " + prefix + "::Insert::Post, " + e.what());
    return false;
  }
  if (steps.whenInserted) steps.whenInserted();
  return true;
}
