// The Study table: creation, insert and the modality merge of a known study.
#include "db/StudyDB.h"

#include "db/InsertRow.h"
#include "db/Schema.h"
#include "dicom/DcmObj.h"
#include "dicom/util/Log.h"

namespace {

// Appends a modality the study does not list yet ("ECG" then "HD" gives "ECG-HD"); the test is
// a case-sensitive substring test on the bytes, so a later "EC" changes nothing. The merge is
// done by the engine on the stored text itself: read back as a row text, a ";" in the stored
// list would come back as ":" and be written so. The texts are compared as blobs because instr
// on text steps by UTF-8 characters and would miss a match that starts on a byte of 0x80-0xBF.
void MergeModality(SQLdb& db, const std::string& uid, const std::string& modality) {
  if (modality.empty()) return;
  const std::string added = StoredText(modality);
  if (db.Exec("UPDATE Study SET StudyModality=COALESCE(StudyModality, '') || '-' || ? WHERE "
              "StudyInstanceUID=? AND "
              "instr(CAST(COALESCE(StudyModality, '') AS BLOB), CAST(? AS BLOB)) = 0",
              {added, StoredText(uid), added}) != 0)
    LogWrite("ERROR, updating Modality, " + db.errorText);
}

}  // namespace

bool StudyDB::CreateTable(SQLdb& db) { return db.Exec(kCreateStudyTable) == 0; }

bool StudyDB::Insert(SQLdb& db, const std::string& table, const DcmObj& dataSet,
                     const std::string& studyFolder) {
  StudyPath = studyFolder;
  InsertSteps steps;
  steps.className = "StudyDB";
  steps.readRecord = [&] { ReadDCO(dataSet); };
  steps.keyColumn = "StudyInstanceUID";
  steps.keyValue = [&] { return StudyInstanceUID; };
  steps.whenFound = [&] { MergeModality(db, StudyInstanceUID, StudyModality); };
  steps.addColumns = [&](dbInsert& insert) {
    insert.Add("StudyInstanceUID", StudyInstanceUID);
    insert.Add("StudyDate", StudyDate);
    insert.Add("StudyTime", StudyTime);
    insert.Add("StudyID", StudyID);
    insert.Add("StudyDescription", StudyDescription);
    insert.Add("AccessionNumber", AccessionNumber);
    insert.Add("ReferPhysician", ReferPhysician);
    insert.Add("StudyModality", StudyModality);
    insert.Add("StationName", StationName);
    insert.Add("InstitutionName", InstitutionName);
    insert.Add("StudyPath", StudyPath);
    insert.Add("PatientID", PatientID);
    insert.Add("PatientName", PatientName);
    insert.Add("PatientSex", PatientSex);
    insert.Add("PatientBD", PatientBD);
  };
  steps.whenInserted = [&] {
    LogWrite("INFO, StudyDB::Insert, " + PatientName + ", " + PatientID + ", " + StudyDate);
  };
  return InsertRowUnlessPresent(db, table, steps);
}
