// The hostile, missing and odd-but-valid key values of make_store_key_cases.py, and the check
// both writers of the store (the C-STORE service and the folder import) must pass on them: an
// object is either refused and nothing of it is kept, or it has its Study, Series and Objects
// rows and its file at exactly the path those rows give, rows and file telling the same
// identity. Rows are read with the sqlite3 tool and files with pydicom, independently of our
// database layer and codec.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/Shell.h"

struct StoreKeyCase {
  std::string name;  // the object is <folder>/<name>.dcm, or <folder>/resend/<name>.dcm
  bool kept;
  std::string sopInstanceUid;
  std::string studyInstanceUid;
  std::string peerResponse;  // storescu's reading of the status, e.g. "Success"
  std::string seriesInstanceUid;
  std::string patientId;
  bool resend;  // comes after the others, in resend/: it names another case's object or study
  std::string refusalLine;  // the start of the line its refusal logs, or empty
  std::string File(const std::string& folder) const {
    return folder + (resend ? "/resend/" : "/") + name + ".dcm";
  }
};

// Writes the case objects into `folder` and reads their table; empty when the generator failed.
inline std::vector<StoreKeyCase> MakeStoreKeyCases(const std::string& folder) {
  const std::string command = "/usr/bin/python3 " TREVALIND_SOURCE_DIR
                              "/tests/support/make_store_key_cases.py '" +
                              folder + "'";
  std::vector<StoreKeyCase> cases;
  if (std::system(command.c_str()) != 0) return cases;
  std::ifstream table(folder + "/cases.txt");
  for (std::string line; std::getline(table, line);) {
    std::istringstream fields(line);
    StoreKeyCase c;
    std::string kept;
    std::getline(fields, c.name, '\t');
    std::getline(fields, kept, '\t');
    std::getline(fields, c.sopInstanceUid, '\t');
    std::getline(fields, c.studyInstanceUid, '\t');
    std::getline(fields, c.peerResponse, '\t');
    std::string resend;
    std::getline(fields, c.seriesInstanceUid, '\t');
    std::getline(fields, c.patientId, '\t');
    std::getline(fields, resend, '\t');
    std::getline(fields, c.refusalLine, '\t');
    c.kept = kept == "1";
    c.resend = resend == "1";
    cases.push_back(c);
  }
  return cases;
}

// The output lines of a shell command.
inline std::set<std::string> CommandLines(const std::string& command) {
  std::set<std::string> lines;
  std::istringstream stream(ShellOutput(command));
  for (std::string line; std::getline(stream, line);) lines.insert(line);
  return lines;
}

// The output lines of a statement on <exeFolder>database/ecg.db, by the sqlite3 tool.
inline std::set<std::string> SqliteLines(const std::string& exeFolder,
                                         const std::string& statement) {
  return CommandLines("timeout 60 sqlite3 '" + exeFolder + "database/ecg.db' \"" + statement +
                      "\"");
}

// Every object row with its series and study rows names a file, and every file under the store
// is named so; the rows and the file (read by pydicom) agree on the object's identity, and no
// study or series row stands without an object of its own. Returns the identities the rows
// give, each "SOP|Study|Series|PatientID".
inline std::set<std::string> ExpectRowsAndFilesAgree(const std::string& exeFolder) {
  const std::set<std::string> rowPaths =
      SqliteLines(exeFolder,
                  "SELECT Series.SeriesPath || '/' || Objects.SOPInstanceUID || '.dcm' || '|' || "
                  "Objects.SOPInstanceUID || '|' || Objects.StudyInstanceUID || '|' || "
                  "Objects.SeriesInstanceUID || '|' || Study.PatientID FROM Objects "
                  "JOIN Series ON Series.SeriesInstanceUID = Objects.SeriesInstanceUID "
                  "AND Series.StudyInstanceUID = Objects.StudyInstanceUID "
                  "JOIN Study ON Study.StudyInstanceUID = Objects.StudyInstanceUID");
  const std::set<std::string> files = CommandLines(
      "timeout 60 /usr/bin/python3 " TREVALIND_SOURCE_DIR "/tests/support/stored_identities.py '" +
      exeFolder + "imagebox'");
  EXPECT_EQ(rowPaths, files);
  EXPECT_EQ(SqliteLines(exeFolder, "SELECT COUNT(*) FROM Objects"),
            std::set<std::string>{std::to_string(rowPaths.size())})
      << "an object row without its series or study";
  EXPECT_EQ(SqliteLines(exeFolder,
                        "SELECT COUNT(*) FROM Study WHERE StudyInstanceUID NOT IN "
                        "(SELECT StudyInstanceUID FROM Objects)"),
            std::set<std::string>{"0"});
  EXPECT_EQ(SqliteLines(exeFolder,
                        "SELECT COUNT(*) FROM Series WHERE SeriesInstanceUID NOT IN "
                        "(SELECT SeriesInstanceUID FROM Objects)"),
            std::set<std::string>{"0"});
  std::set<std::string> identities;
  for (const std::string& row : rowPaths) identities.insert(row.substr(row.find('|') + 1));
  return identities;
}

// `log` is the writer's log: each refusal of a re-send has its line there.
inline void ExpectEachKeptAtItsRowsPath(const std::string& exeFolder,
                                        const std::vector<StoreKeyCase>& cases,
                                        const std::string& log) {
  const std::set<std::string> identities = ExpectRowsAndFilesAgree(exeFolder);
  const std::set<std::string> objects =
      SqliteLines(exeFolder, "SELECT SOPInstanceUID FROM Objects");
  const std::set<std::string> studies =
      SqliteLines(exeFolder, "SELECT StudyInstanceUID FROM Study");
  // Each kept object has the identity it was sent with; what a refused one named is kept only
  // where a kept case names it too.
  std::set<std::string> keptObjects, keptStudies, keptIdentities;
  for (const StoreKeyCase& c : cases) {
    if (!c.kept) continue;
    keptObjects.insert(c.sopInstanceUid);
    keptStudies.insert(c.studyInstanceUid);
    keptIdentities.insert(c.sopInstanceUid + "|" + c.studyInstanceUid + "|" + c.seriesInstanceUid +
                          "|" + c.patientId);
  }
  EXPECT_EQ(identities, keptIdentities);
  for (const StoreKeyCase& c : cases) {
    EXPECT_EQ(objects.count(c.sopInstanceUid), keptObjects.count(c.sopInstanceUid)) << c.name;
    EXPECT_EQ(studies.count(c.studyInstanceUid), keptStudies.count(c.studyInstanceUid)) << c.name;
    if (!c.refusalLine.empty()) {
      EXPECT_NE(log.find(c.refusalLine), std::string::npos) << c.name << "\n" << log;
    }
  }
  EXPECT_EQ(SqliteLines(exeFolder, "SELECT COUNT(*) FROM Series WHERE SeriesInstanceUID = ''"),
            std::set<std::string>{"0"});
}
