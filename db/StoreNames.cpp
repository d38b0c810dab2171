// Store folder names, the look-ups from a UID to its recorded folder, and the checks that keep
// every store path built from received values inside the store.
#include "db/StoreNames.h"

#include <vector>

#include "db/SQLdb.h"
#include "db/dbInsert.h"
#include "dicom/DcmObj.h"
#include "dicom/util/Log.h"
#include "dicom/util/TextUtil.h"
#include "platform/ExeFolder.h"

namespace {

constexpr size_t kMaxUidLength = 64;

bool QueryFirstRow(SQLdb& db, const std::string& statement, const std::string& value,
                   std::string& row, bool& failed) {
  std::vector<std::string> rows;
  failed = db.Query(statement, {StoredText(value)}, rows) != 0;
  if (failed || rows.empty()) return false;
  row = rows.front();
  return true;
}

// "date/study/series" into its three components; false unless all three are safe.
bool SplitSeriesPath(const std::string& path, StoreFolders& out) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t slash = path.find('/', start);
    parts.push_back(
        path.substr(start, slash == std::string::npos ? std::string::npos : slash - start));
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  if (parts.size() != 3 || !IsSafeDateFolder(parts[0]) || !IsSafeFolderComponent(parts[1]) ||
      !IsSafeFolderComponent(parts[2]))
    return false;
  out.studyDate = parts[0];
  out.studyFolder = parts[1];
  out.seriesFolder = parts[2];
  return true;
}

}  // namespace

std::string MakeStudyFolderName(const DcmObj& dataSet) {
  return TextCRC32Hex(dataSet.GetString(0x0020, 0x000D) + dataSet.GetString(0x0020, 0x0010) +
                      dataSet.GetString(0x0008, 0x0050));
}

std::string MakeSeriesFolderName(const DcmObj& dataSet) {
  return TextCRC32Hex(dataSet.GetString(0x0008, 0x0060) + dataSet.GetString(0x0020, 0x000E) +
                      dataSet.GetString(0x0020, 0x0011));
}

namespace {

// The first row of a one-UID look-up on its own read-only connection to `dbName`; false (after
// the caller-named log line of a failure) when the database cannot be opened, the statement
// fails or no row matches.
bool LookUpFirstRow(const std::string& dbName, const std::string& caller,
                    const std::string& statement, const std::string& uid, std::string& row) {
  SQLdb db(dbName, kOpenReadOnly);
  if (!db.isOpen) {
    LogWrite("ERROR, " + caller + ", couldn't open database: " + dbName);
    return false;
  }
  bool failed = false;
  if (QueryFirstRow(db, statement, uid, row, failed)) return true;
  if (failed) LogWrite("ERROR, " + caller + ": " + db.errorText);
  return false;
}

}  // namespace

std::string GetStudyPath(const std::string& dbName, const std::string& studyInstanceUID) {
  std::string row;
  if (!LookUpFirstRow(dbName, "GetStudyPath",
                      "SELECT StudyPath, StudyDate FROM Study WHERE StudyInstanceUID=?",
                      studyInstanceUID, row))
    return {};
  const std::string studyPath = GetField(1, ";", row);
  if (studyPath.empty()) return {};
  return GetField(2, ";", row) + kPathSeparator + studyPath;
}

std::string GetSeriesPath(const std::string& dbName, const std::string& seriesInstanceUID) {
  std::string row;
  if (!LookUpFirstRow(dbName, "GetSeriesPath",
                      "SELECT SeriesPath FROM Series WHERE SeriesInstanceUID=?", seriesInstanceUID,
                      row))
    return {};
  return GetField(1, ";", row) + kPathSeparator;
}

bool IsSafeUidFileName(const std::string& uid) {
  if (uid.empty() || uid.size() > kMaxUidLength) return false;
  for (char c : uid)
    if (c != '.' && (c < '0' || c > '9')) return false;
  return true;
}

bool IsSafeFolderComponent(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name)
    if (c == '/' || c == '\\' || c == '\0') return false;
  return true;
}

bool IsSafeDateFolder(const std::string& date) { return IsSafeFolderComponent(date); }

std::string SafeSeriesPath(const std::string& seriesPath) {
  std::string rest = seriesPath;
  if (!rest.empty() && rest.back() == kPathSeparator) rest.pop_back();
  if (rest.empty()) return "";
  std::string out;
  size_t start = 0;
  for (;;) {
    const size_t slash = rest.find(kPathSeparator, start);
    const std::string part =
        rest.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (!IsSafeFolderComponent(part)) return "";
    out += part + kPathSeparator;
    if (slash == std::string::npos) return out;
    start = slash + 1;
  }
}

bool ChooseStoreFolders(SQLdb& db, const DcmObj& dataSet, const std::string& studyDate,
                        StoreFolders& out) {
  if (!IsSafeUidFileName(dataSet.GetString(0x0008, 0x0018))) return false;
  std::string row;
  bool failed = false;
  // A registered series keeps the folder it was first stored in.
  if (QueryFirstRow(db, "SELECT SeriesPath FROM Series WHERE SeriesInstanceUID=?",
                    dataSet.GetString(0x0020, 0x000E), row, failed))
    return SplitSeriesPath(GetField(1, ";", row), out);
  if (failed) return false;

  const std::string studyUid = dataSet.GetString(0x0020, 0x000D);
  out.seriesFolder = MakeSeriesFolderName(dataSet);
  // A new series of a registered study goes under the study's recorded date and folder.
  if (QueryFirstRow(db, "SELECT SeriesPath FROM Series WHERE StudyInstanceUID=? LIMIT 1", studyUid,
                    row, failed)) {
    StoreFolders recorded;
    if (!SplitSeriesPath(GetField(1, ";", row), recorded)) return false;
    out.studyDate = recorded.studyDate;
    out.studyFolder = recorded.studyFolder;
    return true;
  }
  if (failed) return false;
  if (QueryFirstRow(db, "SELECT StudyPath, StudyDate FROM Study WHERE StudyInstanceUID=?", studyUid,
                    row, failed)) {
    const std::string recordedFolder = GetField(1, ";", row);
    const std::string recordedDate = GetField(2, ";", row);
    if (!recordedFolder.empty()) {
      out.studyFolder = recordedFolder;
      out.studyDate = recordedDate.empty() ? studyDate : recordedDate;
      return IsSafeDateFolder(out.studyDate) && IsSafeFolderComponent(out.studyFolder);
    }
  }
  if (failed) return false;
  out.studyDate = studyDate;
  out.studyFolder = MakeStudyFolderName(dataSet);
  return IsSafeDateFolder(out.studyDate);
}

std::string StoreSeriesFolder(const StoreFolders& folders) {
  return ExeFolder + kStoreFolder + folders.studyDate + kPathSeparator + folders.studyFolder +
         kPathSeparator + folders.seriesFolder + kPathSeparator;
}

std::string StoreFilePath(const StoreFolders& folders, const std::string& sopInstanceUID) {
  return StoreSeriesFolder(folders) + sopInstanceUID + ".dcm";
}
