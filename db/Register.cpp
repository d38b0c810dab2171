// Registration of one object, and creation of the three tables.
#include "db/Register.h"

#include <exception>
#include <memory>

#include "db/ObjectsDB.h"
#include "db/SeriesDB.h"
#include "db/StudyDB.h"
#include "dicom/DcmObj.h"
#include "dicom/util/Log.h"

// Allocated once and never destroyed: association threads may still use it while the process
// ends.
std::recursive_timed_mutex& RegisterBusy = *new std::recursive_timed_mutex;

namespace {
thread_local RegistrationScope* tInnermostScope = nullptr;
}  // namespace

RegistrationScope::RegistrationScope() : outer_(tInnermostScope) { tInnermostScope = this; }

RegistrationScope::~RegistrationScope() { tInnermostScope = outer_; }

SQLdb& RegistrationDatabase(std::unique_ptr<SQLdb>& own) {
  RegistrationScope* scope = tInnermostScope;
  std::unique_ptr<SQLdb>& held = scope ? scope->db_ : own;
  if (!held || !held->isOpen) held = std::make_unique<SQLdb>(kStudyDatabase, kOpenReadWrite);
  return *held;
}

bool RegisterDB(SQLdb& db, const DcmObj& dataSet, const std::string& studyDate,
                const std::string& studyFolder, const std::string& seriesFolder) {
  StudyDB study;
  if (!study.Insert(db, "Study", dataSet, studyFolder)) {
    LogWrite("ERROR, RegisterDB:study.Insert " + db.errorText);
    return false;
  }
  SeriesDB series;
  if (!series.Insert(db, "Series", dataSet, studyDate + "/" + studyFolder + "/" + seriesFolder)) {
    LogWrite("ERROR, RegisterDB:series.Insert " + db.errorText);
    return false;
  }
  ObjectsDB object;
  if (!object.Insert(db, "Objects", dataSet)) {
    LogWrite("ERROR, RegisterDB:object.Insert " + db.errorText);
    return false;
  }
  return true;
}

bool RegisterinDB(const std::string& /*callingAE*/, const DcmObj& dataSet,
                  const std::string& studyDate, const std::string& studyFolder,
                  const std::string& seriesFolder) {
  std::lock_guard<std::recursive_timed_mutex> guard(RegisterBusy);
  try {
    std::unique_ptr<SQLdb> own;
    SQLdb& db = RegistrationDatabase(own);
    if (!db.isOpen) {
      LogWrite("ERROR, Couldn't open database");
      return false;
    }
    return RegisterDB(db, dataSet, studyDate, studyFolder, seriesFolder);
  } catch (const std::exception&) {
    LogWrite("ERROR, Exception at RegisterinDB");
    return false;
  }
}

bool CreateStudyTables(SQLdb& db) {
  StudyDB study;
  SeriesDB series;
  ObjectsDB objects;
  const bool studyCreated = study.CreateTable(db);
  const bool seriesCreated = series.CreateTable(db);
  const bool objectsCreated = objects.CreateTable(db);
  return studyCreated && seriesCreated && objectsCreated;
}
