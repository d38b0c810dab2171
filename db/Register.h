// Registration of one received or imported object into the Study, Series and Objects tables.
#pragma once

#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "db/SQLdb.h"

class DcmObj;

// Admits one registration at a time. Recursive, so a writer can hold it across choosing its
// folders, RegisterinDB, renaming its file into place and any undo. Never destroyed (shut-down
// takes it and ends the process with it held).
extern std::recursive_timed_mutex& RegisterBusy;
// Held shared by a writer from the moment it starts an object's file outside RegisterBusy until
// the object is registered or given up (it takes RegisterBusy while holding this, never the
// other way round). Shut-down takes it exclusively before RegisterBusy: it waits for the
// objects being written, and no new one begins, so a clean stop leaves no temporary file
// behind. Never destroyed.
extern std::shared_timed_mutex& WritingObjects;

// Keeps one read-write connection to the study database for the registrations made on this
// thread while it lives, so that the objects of one association share a connection instead of
// opening one each: the association thread holds a scope for the whole association. The
// connection opens at the first registration, and again at the next one after an opening
// failed. Scopes on one thread nest (the innermost serves); each is used on its own thread only,
// and its connection writes only under RegisterBusy (opening it writes only to a database that
// start-up has not given its tables and indexes).
class RegistrationScope {
 public:
  RegistrationScope();
  ~RegistrationScope();
  RegistrationScope(const RegistrationScope&) = delete;
  RegistrationScope& operator=(const RegistrationScope&) = delete;

 private:
  friend SQLdb& RegistrationDatabase(std::unique_ptr<SQLdb>& own);
  std::unique_ptr<SQLdb> db_;
  RegistrationScope* outer_;
};

// The read-write connection ("ecg") a registration on this thread uses: the innermost scope's,
// or, outside any scope, a new one that `own` holds until the caller is done. The caller tests
// isOpen.
SQLdb& RegistrationDatabase(std::unique_ptr<SQLdb>& own);

// The three inserts in order on a read-write connection the caller opened, in one transaction:
// the Study, Series and Objects rows are committed together or not at all. Inside a transaction
// the caller opened (BeginRegistrations), they are a savepoint of it instead: undone alone when
// they fail, committed with the others by CommitRegistrations. The Series row records
// studyDate/studyFolder/seriesFolder.
bool RegisterDB(SQLdb& db, const DcmObj& dataSet, const std::string& studyDate,
                const std::string& studyFolder, const std::string& seriesFolder);
// A transaction for several registrations, so that they reach the disk with one flush: begun
// with the database's write lock taken at once, committed (or, failing, rolled back) whole.
// False with the "ERROR, RegisterDB:begin " or "ERROR, RegisterDB:commit " line.
bool BeginRegistrations(SQLdb& db);
bool CommitRegistrations(SQLdb& db);
void RollBackRegistrations(SQLdb& db);
// RegisterDB under RegisterBusy on the thread's registration connection (RegistrationDatabase).
// The calling AE title is accepted and not used.
bool RegisterinDB(const std::string& callingAE, const DcmObj& dataSet, const std::string& studyDate,
                  const std::string& studyFolder, const std::string& seriesFolder);

// Whether registering the object keeps one identity per object, study and series, its keys
// compared in the form registration stores them (trimmed, converted to the database's
// encoding, "'" as a blank). Known: its SOP Instance UID is registered under the same study,
// series and Patient ID (a re-send). New: it is not registered, and its study, if registered,
// has its Patient ID and its series, if registered, belongs to its study. Conflicting: anything
// else, with its log line; such an object must be refused and nothing of it kept. Failed: a
// look-up failed. Call under RegisterBusy before the object's file is put into place, and hold
// it through the registration; without it the answer is only a first guess.
enum class IdentityCheck { New, Known, Conflicting, Failed };
IdentityCheck CheckIdentity(SQLdb& db, const DcmObj& dataSet);

// Creates the three tables and their indexes on a connection opened with kOpenCreate; true
// when all three tables were created.
bool CreateStudyTables(SQLdb& db);
