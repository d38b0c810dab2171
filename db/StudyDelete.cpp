// Deletion of one study: its series (files, folders, rows), then its empty study and date
// folders, then its Study row (by StudyInstanceUID alone: the PatientID a caller holds may
// have passed through the row format, where ";" became ":").
#include <vector>

#include "db/SeriesDB.h"
#include "db/StoreContainment.h"
#include "db/StoreNames.h"
#include "db/StudyDB.h"
#include "db/dbInsert.h"
#include "dicom/util/Log.h"
#include "dicom/util/TextUtil.h"
#include "platform/ExeFolder.h"
#include "platform/Files.h"

namespace {

bool DeleteStudyRow(SQLdb& db, const std::string& uid) {
  if (db.Exec("DELETE FROM Study WHERE StudyInstanceUID=?", {StoredText(uid)}) != 0) {
    LogWrite("ERROR, StudyDB::Delete, " + db.errorText);
    return false;
  }
  if (LogLevel > 0) LogWrite("INFO, Study folder deleted: " + uid);
  return true;
}

}  // namespace

bool StudyDB::Delete(SQLdb& db, const std::function<void()>& pump) {
  if (StudyInstanceUID.empty() && PatientID.empty()) {
    LogWrite("ERROR, both parameters are empty");
    return false;
  }
  if (!db.isOpen) {
    LogWrite("ERROR, can't open Series table");
    return false;
  }
  const std::string studyText = GetStudyPath(db.name, StudyInstanceUID);
  const std::string date = GetField(1, "/", studyText);
  const std::string studyFolderName = GetField(2, "/", studyText);
  const std::string storeRoot = ExeFolder + kStoreFolder;
  const std::string folder = storeRoot + studyText;
  // A study without a recorded folder is deleted by its rows alone: the store root is never
  // a candidate for removal.
  const bool hasFolder = IsSafeDateFolder(date) && IsSafeFolderComponent(studyFolderName);

  LogWrite("WARNING, Deleting Study for " + PatientName + ", StudyDate: " + date);
  std::vector<std::string> rows;
  if (db.Query("SELECT SeriesInstanceUID, SeriesPath from Series WHERE StudyInstanceUID=?",
               {StoredText(StudyInstanceUID)}, rows) != 0) {
    LogWrite("ERROR, StudyDB::Delete, Path: " + folder + "/, " + db.errorText);
    return false;
  }
  bool result = false;
  if (rows.empty()) LogWrite("WARNING, no series for deleting");
  for (const std::string& row : rows) {
    SeriesDB series;
    series.SeriesInstanceUID = GetField(1, ";", row);
    series.SeriesPath = GetField(2, ";", row);
    series.StudyInstanceUID = StudyInstanceUID;
    result = series.Delete(db, pump);
  }
  if (!hasFolder) return DeleteStudyRow(db, StudyInstanceUID) && result;

  const bool folderGone = !Files().Exists(folder) || (IsFolderStrictlyInsideStore(folder) &&
                                                      Files().RemoveDirectory(folder) == 0);
  if (!folderGone) {
    LogWrite("ERROR, deleting folder: " + folder + "/");
    return false;
  }
  Files().RemoveDirectory(storeRoot + date);  // stays while other studies of the date remain
  if (!DeleteStudyRow(db, StudyInstanceUID)) return false;
  return result;
}
