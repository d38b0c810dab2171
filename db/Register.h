// Registration of one received or imported object into the Study, Series and Objects tables.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "db/SQLdb.h"

class DcmObj;

// Admits one registration at a time. Recursive, so a writer can hold it across choosing its
// folders, RegisterinDB, renaming its file into place and any undo. Never destroyed (shut-down
// takes it and ends the process with it held).
extern std::recursive_timed_mutex& RegisterBusy;

// Keeps one read-write connection to the study database for the registrations made on this
// thread while it lives, so that the objects of one association share a connection instead of
// opening one each: the association thread holds a scope for the whole association. The
// connection opens at the first registration, and again at the next one after an opening
// failed. Scopes on one thread nest (the innermost serves); each is used on its own thread only,
// and its connection only under RegisterBusy.
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

// The three inserts in order on a read-write connection the caller opened, without a
// transaction (rows inserted before a failure stay). The Series row records
// studyDate/studyFolder/seriesFolder.
bool RegisterDB(SQLdb& db, const DcmObj& dataSet, const std::string& studyDate,
                const std::string& studyFolder, const std::string& seriesFolder);
// RegisterDB under RegisterBusy on the thread's registration connection (RegistrationDatabase).
// The calling AE title is accepted and not used.
bool RegisterinDB(const std::string& callingAE, const DcmObj& dataSet, const std::string& studyDate,
                  const std::string& studyFolder, const std::string& seriesFolder);

// Creates the three tables and their indexes on a connection opened with kOpenCreate; true
// when all three tables were created.
bool CreateStudyTables(SQLdb& db);
