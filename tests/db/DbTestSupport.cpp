#include "tests/db/DbTestSupport.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "db/Register.h"
#include "db/SQLdb.h"
#include "db/Schema.h"
#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"
#include "dicom/util/Log.h"
#include "platform/ExeFolder.h"

namespace {
std::string LogFile(const std::string& folder) { return folder + "test.log"; }
}  // namespace

bool FileExists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

void WriteTextFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

void DbTest::SetUp() {
  temp_ = std::make_unique<TempFolder>("trevalind-db");
  ASSERT_FALSE(temp_->path().empty());
  folder = temp_->path();
  ExeFolder = folder;
  mkdir((folder + "database").c_str(), 0755);
  mkdir((folder + "imagebox").c_str(), 0755);
  dbPath = folder + "database/ecg.db";
  LogInit(LogFile(folder), "", "");
  LogLevel = 1;
  SetBusySleep([](std::chrono::milliseconds) {});
}

void DbTest::TearDown() {
  SetBusySleep({});
  LogFree();
  LogLevel = 0;
  temp_.reset();
}

void DbTest::CreateStudyDatabase() {
  SQLdb db("ecg", kOpenCreate);
  ASSERT_TRUE(db.isOpen);
  ASSERT_TRUE(CreateStudyTables(db));
  TakeLog();
}

void DbTest::CreateOlderStudyDatabase() {
  std::string statements;
  for (const char* statement :
       {kCreateStudyTable, kCreateSeriesTable, kCreateSeriesIndex, kCreateObjectsTable,
        kCreateStudyObjectIndex, kCreateSeriesObjectIndex})
    statements += std::string(statement) + ";";
  ASSERT_EQ(ShellOutput("sqlite3 '" + dbPath + "' \"" + statements + "\" && echo made"), "made\n");
  ASSERT_EQ(Sqlite("PRAGMA journal_mode"), std::vector<std::string>{"delete"});
}

std::vector<std::string> DbTest::TakeLog() {
  std::vector<std::string> lines;
  std::ifstream in(LogFile(folder));
  std::string line;
  while (std::getline(in, line)) lines.push_back(line.size() > 10 ? line.substr(10) : line);
  in.close();
  std::remove(LogFile(folder).c_str());
  return lines;
}

bool DbTest::LogHas(const std::string& message) {
  for (const std::string& line : TakeLog())
    if (line == message) return true;
  return false;
}

int DbTest::RunPython(const std::string& arguments) {
  const std::string command = std::string("/usr/bin/python3 ") + DB_TEST_SCRIPTS + "/" + arguments;
  return std::system(command.c_str());
}

std::vector<std::string> DbTest::Sqlite(const std::string& statement) {
  std::istringstream out(ShellOutput("sqlite3 '" + dbPath + "' \"" + statement + "\""));
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(out, line)) lines.push_back(line);
  return lines;
}

void FillDataSet(DcmObj& dataSet, const std::vector<Field>& fields) {
  for (const Field& f : fields) dataSet.Insert(new DcmTag(f.group, f.element, f.value));
}

void MakeObject(DcmObj& dataSet, const std::string& study, const std::string& series,
                const std::string& sop, const std::vector<Field>& extra) {
  FillDataSet(dataSet, {{0x0008, 0x0016, "1.2.840.10008.5.1.4.1.1.9.1.1"},
                        {0x0008, 0x0018, sop},
                        {0x0008, 0x0020, "20240105"},
                        {0x0008, 0x0060, "ECG"},
                        {0x0010, 0x0010, "DOE^JOHN"},
                        {0x0010, 0x0020, "PID1"},
                        {0x0020, 0x000D, study},
                        {0x0020, 0x000E, series},
                        {0x0020, 0x0011, "1"},
                        {0x0020, 0x0013, "1"}});
  FillDataSet(dataSet, extra);
}
