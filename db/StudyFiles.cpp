// The file list of a local study: one file per series.
#include "db/StudyFiles.h"

#include "db/SQLdb.h"
#include "db/StoreNames.h"
#include "db/dbInsert.h"
#include "dicom/util/Log.h"
#include "dicom/util/TextUtil.h"
#include "platform/ExeFolder.h"

bool GetStudyFiles(std::vector<std::string>& files, const std::string& studyInstanceUID) {
  SQLdb db("ecg", kOpenReadOnly);
  if (!db.isOpen) {
    LogWrite("ERROR, Couldn't open database");
    return false;
  }
  const std::string uid = StoredText(studyInstanceUID);
  std::vector<std::string> series;
  if (db.Query(
          "SELECT * FROM Series WHERE StudyInstanceUID = ? ORDER BY CAST (SeriesNumber AS int)",
          {uid}, series) != 0)
    return false;
  bool result = true;
  for (const std::string& seriesRow : series) {
    const std::string seriesUid = GetField(1, ";", seriesRow);
    const std::string folder = ExeFolder + kStoreFolder + GetSeriesPath("ecg", seriesUid);
    std::vector<std::string> objects;
    if (db.Query("SELECT * FROM Objects WHERE StudyInstanceUID = ? AND SeriesInstanceUID = ? "
                 "ORDER BY CAST(AcquisitionTime AS int)",
                 {uid, seriesUid}, objects) != 0) {
      result = false;
      continue;
    }
    if (objects.empty()) continue;
    const std::string sopUid = GetField(1, ";", objects.front());
    // Only names the store itself could have written lead to a path.
    if (IsSafeUidFileName(sopUid)) files.push_back(folder + sopUid + ".dcm");
  }
  return result;
}
