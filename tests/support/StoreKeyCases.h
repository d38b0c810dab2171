// The hostile, missing and odd-but-valid key values of make_store_key_cases.py, and the check
// both writers of the store (the C-STORE service and the folder import) must pass on them: an
// object is either refused and nothing of it is kept, or it has its Study, Series and Objects
// rows and its file at exactly the path those rows give. Rows are read with the sqlite3 tool,
// independently of our database layer.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

struct StoreKeyCase {
  std::string name;  // the object is <folder>/<name>.dcm
  bool kept;
  std::string sopInstanceUid;
  std::string studyInstanceUid;
  std::string peerResponse;  // storescu's reading of the status, e.g. "Success"
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
    c.kept = kept == "1";
    cases.push_back(c);
  }
  return cases;
}

// The output lines of a statement on <exeFolder>database/ecg.db, by the sqlite3 tool.
inline std::set<std::string> SqliteLines(const std::string& exeFolder,
                                         const std::string& statement) {
  const std::string command =
      "timeout 60 sqlite3 '" + exeFolder + "database/ecg.db' \"" + statement + "\"";
  std::set<std::string> lines;
  FILE* out = ::popen(command.c_str(), "r");
  if (!out) return lines;
  std::string text;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;) text.append(buffer, n);
  ::pclose(out);
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.insert(line);
  return lines;
}

inline void ExpectEachKeptAtItsRowsPath(const std::string& exeFolder,
                                        const std::vector<StoreKeyCase>& cases) {
  // Every object row with its series and study rows names a file, and every file is named so.
  const std::set<std::string> rowPaths = SqliteLines(
      exeFolder,
      "SELECT Series.SeriesPath || '/' || Objects.SOPInstanceUID || '.dcm' FROM Objects "
      "JOIN Series ON Series.SeriesInstanceUID = Objects.SeriesInstanceUID "
      "JOIN Study ON Study.StudyInstanceUID = Objects.StudyInstanceUID");
  std::set<std::string> files;
  const std::filesystem::path store = exeFolder + "imagebox";
  for (const auto& entry : std::filesystem::recursive_directory_iterator(store))
    if (!entry.is_directory()) files.insert(entry.path().lexically_relative(store).string());
  EXPECT_EQ(rowPaths, files);

  const std::set<std::string> objects =
      SqliteLines(exeFolder, "SELECT SOPInstanceUID FROM Objects");
  const std::set<std::string> studies =
      SqliteLines(exeFolder, "SELECT StudyInstanceUID FROM Study");
  EXPECT_EQ(objects.size(), rowPaths.size()) << "an object row without its series or study";
  for (const StoreKeyCase& c : cases) {
    EXPECT_EQ(objects.count(c.sopInstanceUid), c.kept ? 1u : 0u) << c.name;
    EXPECT_EQ(studies.count(c.studyInstanceUid), c.kept ? 1u : 0u) << c.name;
  }
  EXPECT_EQ(SqliteLines(exeFolder, "SELECT COUNT(*) FROM Series WHERE SeriesInstanceUID = ''"),
            std::set<std::string>{"0"});
}
