// The Study table: its schema, the insert of one study with the modality merge, and deletion of
// a study with its series, files and folders.
#pragma once

#include <functional>
#include <string>

#include "db/SQLdb.h"
#include "db/StudyInfo.h"

class DcmObj;

class StudyDB : public StudyInfo {
 public:
  // Creates the Study table and the indexes searches key on; true when the table was created
  // (a second time fails).
  bool CreateTable(SQLdb& db);
  // Fills the record from the data set, the Patient Name in its stored form (PatientName.h), and
  // inserts its row unless the study is known; a known study gets a new StudyModality appended
  // with "-" (case-sensitive substring test). True when the row exists afterwards.
  bool Insert(SQLdb& db, const std::string& table, const DcmObj& dataSet,
              const std::string& studyFolder);
  // Deletes the study named by StudyInstanceUID through `db` (read-write): each series with its
  // files, then the empty study and date folders, then the Study row. A study folder that still
  // holds what is not this study's (a stray file, a link, a colliding study) stays, and the Study
  // row goes all the same; the row stays only while a file or series of its own remains. `pump`
  // (may be empty) runs after each file. Returns the last series' result; false on a refusal,
  // when a file or series of the study remains, or when the study had no series.
  bool Delete(SQLdb& db, const std::function<void()>& pump = {});

  std::string StudyPath;
};
