// Deletion of one series: the files its Objects rows name, its folder when empty, its rows.
//
// Only files the rows name are deleted, never "every .dcm in the folder": two series whose
// values give the same CRC share a folder, and deleting one must not take the other's files.
#include <cerrno>
#include <vector>

#include "db/SeriesDB.h"
#include "db/StoreContainment.h"
#include "db/StoreNames.h"
#include "db/dbInsert.h"
#include "dicom/util/DeleteFolder.h"
#include "dicom/util/Log.h"
#include "dicom/util/TextUtil.h"
#include "platform/ExeFolder.h"
#include "platform/Files.h"

namespace {

bool IsSafeSeriesPath(const std::string& seriesPath) {
  const std::string date = GetField(1, "/", seriesPath);
  const std::string study = GetField(2, "/", seriesPath);
  const std::string series = GetField(3, "/", seriesPath);
  return IsSafeFolderComponent(date) && IsSafeFolderComponent(study) &&
         IsSafeFolderComponent(series) && seriesPath == date + "/" + study + "/" + series;
}

// A file already gone is no failure; any other one is logged, like the folder deletion does,
// with the file name and the system error code.
void DeleteObjectFile(const std::string& folder, const std::string& name) {
  const int code = Files().Unlink(folder + "/" + name);  // a link itself, never its target
  if (code != 0 && code != ENOENT) LogDeleteError(name, code);
}

}  // namespace

bool SeriesDB::Delete(SQLdb& db, const std::function<void()>& pump) {
  if (SeriesInstanceUID.empty()) {
    LogWrite("ERROR, SeriesInstanceUID is empty");
    return false;
  }
  if (!db.isOpen) {
    LogWrite("ERROR, can't open Objects table");
    return false;
  }
  const SqlValues keys{StoredText(StudyInstanceUID), StoredText(SeriesInstanceUID)};
  const std::string folder = ExeFolder + kStoreFolder + SeriesPath;
  if (IsSafeSeriesPath(SeriesPath) && IsFolderStrictlyInsideStore(folder)) {
    std::vector<std::string> objects;
    if (db.Query("SELECT SOPInstanceUID FROM Objects WHERE StudyInstanceUID=? AND "
                 "SeriesInstanceUID=?",
                 keys, objects) != 0) {
      LogWrite("ERROR, Delete FROM Objects: " + db.errorText);
      return false;
    }
    for (const std::string& row : objects) {
      const std::string sopUid = GetField(1, ";", row);
      if (IsSafeUidFileName(sopUid)) DeleteObjectFile(folder, sopUid + ".dcm");
      if (pump) pump();
    }
    Files().RemoveDirectory(folder);  // stays while other files remain
  }
  if (db.Exec("DELETE FROM Objects WHERE StudyInstanceUID=? AND SeriesInstanceUID=?", keys) != 0) {
    LogWrite("ERROR, Delete FROM Objects: " + db.errorText);
    return false;
  }
  if (db.Exec("DELETE FROM Series WHERE StudyInstanceUID=? AND SeriesInstanceUID=?", keys) != 0) {
    LogWrite("ERROR, SeriesDB::Delete, " + db.errorText);
    return false;
  }
  if (LoggingAbove(0)) LogWrite("INFO, Series folder deleted: " + SeriesInstanceUID);
  return true;
}
