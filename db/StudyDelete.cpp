// Deletion of one study: its series (files, folders, rows), then its empty study and date
// folders, then its Study row (by StudyInstanceUID alone: the PatientID a caller holds may
// have passed through the row format, where ";" became ":").
//
// The study folder is named by a CRC, so it may also hold what is not this study's: another
// study whose values give the same name, a stray file, a link. That stays where it is, and the
// folder with it; the Study row goes all the same once every series row and every file the
// study's rows named are gone, or the browser would list the study forever with no series.
#include <vector>

#include "db/SeriesDB.h"
#include "db/StoreContainment.h"
#include "db/StoreNames.h"
#include "db/StoredFields.h"
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
  if (LoggingAbove(0)) LogWrite("INFO, Study folder deleted: " + uid);
  return true;
}

// The files the study's Objects rows name, at the paths their Series rows give; those the series
// deletion may take (a recorded path that cannot be joined names no file of the store).
std::vector<std::string> NamedFiles(SQLdb& db, const std::string& uid) {
  std::vector<std::vector<std::string>> rows;
  QueryStoredFields(db, {"Series.SeriesPath", "Objects.SOPInstanceUID"},
                    "FROM Objects JOIN Series ON Series.SeriesInstanceUID = "
                    "Objects.SeriesInstanceUID AND Series.StudyInstanceUID = "
                    "Objects.StudyInstanceUID WHERE Objects.StudyInstanceUID=?",
                    {StoredText(uid)}, rows);
  std::vector<std::string> files;
  for (const auto& row : rows) {
    const std::string folder = SafeSeriesPath(row[0]);
    if (!folder.empty() && IsSafeUidFileName(row[1]))
      files.push_back(ExeFolder + kStoreFolder + folder + row[1] + ".dcm");
  }
  return files;
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
  const bool hasFolder = IsSafeFolderComponent(date) && IsSafeFolderComponent(studyFolderName);

  LogWrite("WARNING, Deleting Study for " + PatientName + ", StudyDate: " + date);
  std::vector<std::vector<std::string>> rows;
  if (QueryStoredFields(db, {"SeriesInstanceUID", "SeriesPath"},
                        "FROM Series WHERE StudyInstanceUID=?", {StoredText(StudyInstanceUID)},
                        rows) != 0) {
    LogWrite("ERROR, StudyDB::Delete, Path: " + folder + "/, " + db.errorText);
    return false;
  }
  const std::vector<std::string> ownFiles = NamedFiles(db, StudyInstanceUID);
  bool result = false;
  bool everySeriesDeleted = true;
  if (rows.empty()) LogWrite("WARNING, no series for deleting");
  for (const auto& row : rows) {
    SeriesDB series;
    series.SeriesInstanceUID = row[0];
    series.SeriesPath = row[1];
    series.StudyInstanceUID = StudyInstanceUID;
    result = series.Delete(db, pump);
    everySeriesDeleted = everySeriesDeleted && result;
  }
  if (!hasFolder) return DeleteStudyRow(db, StudyInstanceUID) && result;

  const bool folderGone = !Files().Exists(folder) || (IsFolderStrictlyInsideStore(folder) &&
                                                      Files().RemoveDirectory(folder) == 0);
  if (!folderGone) {
    bool ownFileLeft = !everySeriesDeleted;
    for (const std::string& file : ownFiles) ownFileLeft = ownFileLeft || Files().Exists(file);
    if (ownFileLeft) {
      LogWrite("ERROR, deleting folder: " + folder + "/");
      return false;
    }
    LogWrite("WARNING, Study folder kept, it holds what is not this study's: " + folder + "/");
    return DeleteStudyRow(db, StudyInstanceUID) && result;
  }
  Files().RemoveDirectory(storeRoot + date);  // stays while other studies of the date remain
  if (!DeleteStudyRow(db, StudyInstanceUID)) return false;
  return result;
}
