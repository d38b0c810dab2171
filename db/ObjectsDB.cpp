// The Objects table: creation, insert and the removal of one row.
#include "db/ObjectsDB.h"

#include "db/InsertRow.h"
#include "db/RecordTable.h"
#include "db/Schema.h"
#include "dicom/DcmObj.h"
#include "dicom/util/Log.h"
#include "dicom/util/TextUtil.h"

bool ObjectsDB::CreateTable(SQLdb& db) {
  if (db.Exec(kCreateObjectsTable) != 0) return false;
  if (db.Exec(kCreateStudyObjectIndex) != 0)
    LogWrite("ERROR creating Index st_object_index" + db.errorText);
  if (db.Exec(kCreateSeriesObjectIndex) != 0)
    LogWrite("ERROR creating Index se_object_index" + db.errorText);
  return true;
}

bool ObjectsDB::Insert(SQLdb& db, const std::string& table, const DcmObj& dataSet) {
  InsertSteps steps;
  steps.className = "ObjectsDB";
  steps.readRecord = [&] { ReadDCO(dataSet); };
  steps.keyColumn = "SOPInstanceUID";
  steps.keyValue = [&] { return SOPInstanceUID; };
  steps.addColumns = [&](dbInsert& insert) {
    AddAttributeColumns(insert, static_cast<const ImageInfo&>(*this), ImageAttributes(),
                        TodayAsDicomDate());
  };
  return InsertRowUnlessPresent(db, table, dataSet, steps);
}

bool ObjectsDB::Delete(SQLdb& db, const std::string& sopInstanceUID) {
  return db.Exec("DELETE FROM Objects WHERE SOPInstanceUID=?", {StoredText(sopInstanceUID)}) == 0;
}
