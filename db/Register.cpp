// Registration of one object, and creation of the three tables.
#include "db/Register.h"

#include <sqlite3.h>

#include <exception>
#include <memory>
#include <vector>

#include "db/CharacterSet.h"
#include "db/ObjectsDB.h"
#include "db/SeriesDB.h"
#include "db/StoredFields.h"
#include "db/StudyDB.h"
#include "db/dbInsert.h"
#include "dicom/DcmObj.h"
#include "dicom/util/Log.h"

// Allocated once and never destroyed: association threads may still use it while the process
// ends.
std::recursive_timed_mutex& RegisterBusy = *new std::recursive_timed_mutex;
std::shared_timed_mutex& WritingObjects = *new std::shared_timed_mutex;

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

namespace {

// The three inserts; rows of a failure are left to the caller's rollback.
bool InsertRows(SQLdb& db, const DcmObj& dataSet, const std::string& studyDate,
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

}  // namespace

bool RegisterDB(SQLdb& db, const DcmObj& dataSet, const std::string& studyDate,
                const std::string& studyFolder, const std::string& seriesFolder) {
  // Inside a transaction the caller holds open (a group of registrations committed at once),
  // the rows of this object are a savepoint of it, undone alone when they fail. Otherwise they
  // are a transaction of their own, IMMEDIATE so that it takes the database's write lock at once
  // (waiting while another connection holds it): no other connection writes between the
  // look-ups inside and their inserts.
  const bool inGroup = db.handle && sqlite3_get_autocommit(db.handle) == 0;
  if (!inGroup && !BeginRegistrations(db)) return false;
  if (inGroup && db.Exec("SAVEPOINT registration") != 0) {
    LogWrite("ERROR, RegisterDB:begin " + db.errorText);
    return false;
  }
  const auto undo = [&] {
    db.Exec(inGroup ? "ROLLBACK TO registration" : "ROLLBACK");
    if (inGroup) db.Exec("RELEASE registration");
  };
  bool done = false;
  try {
    done = InsertRows(db, dataSet, studyDate, studyFolder, seriesFolder);
  } catch (...) {
    undo();
    throw;
  }
  if (!done) {
    undo();
    return false;
  }
  if (!inGroup) return CommitRegistrations(db);
  db.Exec("RELEASE registration");  // the rows stay in the group's transaction either way
  return true;
}

bool BeginRegistrations(SQLdb& db) {
  if (db.Exec("BEGIN IMMEDIATE") == 0) return true;
  LogWrite("ERROR, RegisterDB:begin " + db.errorText);
  return false;
}

void RollBackRegistrations(SQLdb& db) { db.Exec("ROLLBACK"); }

bool CommitRegistrations(SQLdb& db) {
  if (db.Exec("COMMIT") == 0) return true;
  LogWrite("ERROR, RegisterDB:commit " + db.errorText);
  RollBackRegistrations(db);
  return false;
}

namespace {

// The keys that tie an object to its rows, as registration stores them.
struct RegisteredIdentity {
  std::string sopInstanceUID;
  std::string studyInstanceUID;
  std::string seriesInstanceUID;
  std::string patientID;
};

std::string IdentityText(const RegisteredIdentity& identity) {
  return "study " + identity.studyInstanceUID + ", series " + identity.seriesInstanceUID +
         ", patient " + identity.patientID;
}

RegisteredIdentity ReceivedIdentity(const DcmObj& dataSet) {
  ImageInfo image;
  image.ReadDCO(dataSet);
  StudyInfo study;
  study.ReadDCO(dataSet);
  const ReceivedCharacterSet from = DeclaredCharacterSet(dataSet);
  auto stored = [from](const std::string& text) { return StoredText(text, from); };
  return {stored(image.SOPInstanceUID), stored(image.StudyInstanceUID),
          stored(image.SeriesInstanceUID), stored(study.PatientID)};
}

}  // namespace

IdentityCheck CheckIdentity(SQLdb& db, const DcmObj& dataSet) {
  const RegisteredIdentity received = ReceivedIdentity(dataSet);
  std::vector<std::vector<std::string>> rows;
  // Study.StudyInstanceUID is empty when the object's study has no row: its Patient ID is then
  // not known.
  if (QueryStoredFields(db,
                        {"Objects.StudyInstanceUID", "Objects.SeriesInstanceUID", "Study.PatientID",
                         "Study.StudyInstanceUID"},
                        "FROM Objects LEFT JOIN Study ON Study.StudyInstanceUID = "
                        "Objects.StudyInstanceUID WHERE Objects.SOPInstanceUID=?",
                        {received.sopInstanceUID}, rows) != 0)
    return IdentityCheck::Failed;
  if (!rows.empty()) {
    const std::vector<std::string>& row = rows.front();
    const RegisteredIdentity stored{received.sopInstanceUID, row[0], row[1],
                                    row[3].empty() ? received.patientID : row[2]};
    if (stored.studyInstanceUID == received.studyInstanceUID &&
        stored.seriesInstanceUID == received.seriesInstanceUID &&
        stored.patientID == received.patientID)
      return IdentityCheck::Known;
    LogWrite("ERROR, SOPInstanceUID already stored for another study, series or patient: " +
             received.sopInstanceUID + ", stored " + IdentityText(stored) + "; received " +
             IdentityText(received));
    return IdentityCheck::Conflicting;
  }
  // A new object joins its study only under the study's patient, and its series only within
  // the series' study.
  const struct {
    const char* table;
    const char* key;
    const std::string& keyValue;
    const char* column;
    const char* what;  // in the log line: "patient", "study"
    const std::string& value;
  } owners[] = {
      {"Study", "StudyInstanceUID", received.studyInstanceUID, "PatientID", "patient",
       received.patientID},
      {"Series", "SeriesInstanceUID", received.seriesInstanceUID, "StudyInstanceUID", "study",
       received.studyInstanceUID},
  };
  for (const auto& owner : owners) {
    rows.clear();
    if (QueryStoredFields(db, {owner.column},
                          std::string("FROM ") + owner.table + " WHERE " + owner.key + "=?",
                          {owner.keyValue}, rows) != 0)
      return IdentityCheck::Failed;
    if (rows.empty() || rows.front()[0] == owner.value) continue;
    LogWrite(std::string("ERROR, ") + owner.key + " already stored for another " + owner.what +
             ": " + owner.keyValue + ", stored " + owner.what + " " + rows.front()[0] +
             "; received " + owner.what + " " + owner.value);
    return IdentityCheck::Conflicting;
  }
  return IdentityCheck::New;
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
