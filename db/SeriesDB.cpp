// The Series table: creation and insert.
#include "db/SeriesDB.h"

#include "db/InsertRow.h"
#include "db/RecordTable.h"
#include "db/Schema.h"
#include "dicom/DcmObj.h"
#include "dicom/util/Log.h"

bool SeriesDB::CreateTable(SQLdb& db) {
  if (db.Exec(kCreateSeriesTable) != 0) return false;
  if (db.Exec(kCreateSeriesIndex) != 0)
    LogWrite("ERROR creating Index series_index" + db.errorText);
  return true;
}

bool SeriesDB::Insert(SQLdb& db, const std::string& table, const DcmObj& dataSet,
                      const std::string& seriesPath) {
  SeriesPath = seriesPath;
  InsertSteps steps;
  steps.className = "SeriesDB";
  steps.readRecord = [&] { ReadDCO(dataSet); };
  steps.keyColumn = "SeriesInstanceUID";
  steps.keyValue = [&] { return SeriesInstanceUID; };
  steps.addColumns = [&](dbInsert& insert) {
    AddAttributeColumns(insert, static_cast<const SeriesInfo&>(*this), SeriesAttributes(),
                        SeriesPath);
  };
  return InsertRowUnlessPresent(db, table, dataSet, steps);
}
