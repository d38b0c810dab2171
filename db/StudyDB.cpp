// The Study table: creation, insert and the modality merge of a known study.
#include "db/StudyDB.h"

#include <vector>

#include "db/InsertRow.h"
#include "db/RecordTable.h"
#include "db/Schema.h"
#include "dicom/DcmObj.h"
#include "dicom/util/Log.h"
#include "dicom/util/TextUtil.h"

namespace {

// "4A3B" -> the bytes 0x4A 0x3B (the text SQLite's hex() gives, upper-case digits).
std::string BytesOfHex(const std::string& hex) {
  auto digit = [](char c) { return c <= '9' ? c - '0' : c - 'A' + 10; };
  std::string bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    bytes += static_cast<char>(digit(hex[i]) * 16 + digit(hex[i + 1]));
  return bytes;
}

// Appends a modality the study does not list yet ("ECG" then "HD" gives "ECG-HD"); the test is
// a case-sensitive substring test on the bytes, so a later "EC" changes nothing and runs no
// UPDATE. The stored list is read as hex: through the row text a ";" in it would come back as
// ":" and be written back so.
void MergeModality(SQLdb& db, const std::string& uid, const std::string& modality) {
  if (modality.empty()) return;
  const std::string key = StoredText(uid);
  std::vector<std::string> rows;
  if (db.Query("SELECT hex(StudyModality) FROM Study WHERE StudyInstanceUID=?", {key}, rows) != 0 ||
      rows.empty())
    return;
  const std::string stored = BytesOfHex(GetField(1, ";", rows.front()));
  const std::string added = StoredText(modality);
  if (stored.find(added) != std::string::npos) return;
  if (db.Exec("UPDATE Study SET StudyModality=? WHERE StudyInstanceUID=?",
              {stored + "-" + added, key}) != 0)
    LogWrite("ERROR, updating Modality, " + db.errorText);
}

}  // namespace

bool StudyDB::CreateTable(SQLdb& db) {
  if (db.Exec(kCreateStudyTable) != 0) return false;
  AddQueryIndexes(db);  // the connection opened before the table existed
  return true;
}

bool StudyDB::Insert(SQLdb& db, const std::string& table, const DcmObj& dataSet,
                     const std::string& studyFolder) {
  StudyPath = studyFolder;
  InsertSteps steps;
  steps.className = "StudyDB";
  // Received and imported objects alike: the list shows one name, and a key finds both.
  steps.readRecord = [&] { ReadDCO(dataSet, NameForm::Stored); };
  steps.keyColumn = "StudyInstanceUID";
  steps.keyValue = [&] { return StudyInstanceUID; };
  steps.whenFound = [&] { MergeModality(db, StudyInstanceUID, StudyModality); };
  steps.addColumns = [&](dbInsert& insert) {
    AddAttributeColumns(insert, static_cast<const StudyInfo&>(*this), StudyAttributes(), StudyPath);
  };
  steps.whenInserted = [&] {
    LogWrite("INFO, StudyDB::Insert, " + PatientName + ", " + PatientID + ", " + StudyDate);
  };
  return InsertRowUnlessPresent(db, table, dataSet, steps);
}
