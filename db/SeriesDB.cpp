// The Series table: creation and insert.
#include "db/SeriesDB.h"

#include "db/InsertRow.h"
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
    insert.Add("SeriesInstanceUID", SeriesInstanceUID);
    insert.Add("SeriesNumber", SeriesNumber);
    insert.Add("SeriesDate", SeriesDate);
    insert.Add("SeriesTime", SeriesTime);
    insert.Add("SeriesDescription", SeriesDescription);
    insert.Add("Modality", Modality);
    insert.Add("InstitutionName", InstitutionName);
    insert.Add("Manufacturer", Manufacturer);
    insert.Add("ModelName", ModelName);
    insert.Add("BodyPartExamined", BodyPartExamined);
    insert.Add("ProtocolName", ProtocolName);
    insert.Add("SeriesPath", SeriesPath);
    insert.Add("StudyInstanceUID", StudyInstanceUID);
  };
  return InsertRowUnlessPresent(db, table, dataSet, steps);
}
