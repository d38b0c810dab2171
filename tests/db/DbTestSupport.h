// A temporary program folder for database tests: ExeFolder points at it, database/ and
// imagebox/ exist, the log goes to a file the test can read, and ecg.db can be created.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/Shell.h"
#include "tests/support/TempFolder.h"

class DcmObj;

class DbTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates database/ecg.db with the three tables.
  void CreateStudyDatabase();
  // Creates database/ecg.db as the earlier version left it: the three tables and their three
  // indexes made by the sqlite3 tool, in the rollback journal mode.
  void CreateOlderStudyDatabase();
  // The messages logged since the last call (time stamps cut off).
  std::vector<std::string> TakeLog();
  bool LogHas(const std::string& message);
  // Runs the system Python (with pydicom) on a script from tests/db; returns its exit code.
  int RunPython(const std::string& arguments);
  // Runs sqlite3 on ecg.db and returns its output lines.
  std::vector<std::string> Sqlite(const std::string& statement);

  std::string folder;  // with a trailing "/"
  std::string dbPath;  // folder + "database/ecg.db"

 private:
  std::unique_ptr<TempFolder> temp_;  // holds `folder` from SetUp to TearDown
};

// One object as an in-memory data set: the tags are inserted with their text values.
struct Field {
  uint16_t group;
  uint16_t element;
  std::string value;
};
void FillDataSet(DcmObj& dataSet, const std::vector<Field>& fields);

// An ECG-like object of study `study`, series `series`, instance `sop`.
void MakeObject(DcmObj& dataSet, const std::string& study, const std::string& series,
                const std::string& sop, const std::vector<Field>& extra = {});

bool FileExists(const std::string& path);
void WriteTextFile(const std::string& path, const std::string& text);
