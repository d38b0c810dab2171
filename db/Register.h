// Registration of one received or imported object into the Study, Series and Objects tables.
#pragma once

#include <mutex>
#include <string>

#include "db/SQLdb.h"

class DcmObj;

// Admits one registration at a time. Recursive, so a writer can hold it across choosing its
// folders, RegisterinDB, renaming its file into place and any undo. Never destroyed (shut-down
// takes it and ends the process with it held).
extern std::recursive_timed_mutex& RegisterBusy;

// The three inserts in order on a read-write connection the caller opened, without a
// transaction (rows inserted before a failure stay). The Series row records
// studyDate/studyFolder/seriesFolder.
bool RegisterDB(SQLdb& db, const DcmObj& dataSet, const std::string& studyDate,
                const std::string& studyFolder, const std::string& seriesFolder);
// RegisterDB under RegisterBusy on a connection of its own ("ecg", read-write). The calling AE
// title is accepted and not used.
bool RegisterinDB(const std::string& callingAE, const DcmObj& dataSet, const std::string& studyDate,
                  const std::string& studyFolder, const std::string& seriesFolder);

// Creates the three tables and their indexes on a connection opened with kOpenCreate; true
// when all three tables were created.
bool CreateStudyTables(SQLdb& db);
