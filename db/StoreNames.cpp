// Store folder names, the look-ups from a UID to its recorded folder, and the checks that keep
// every store path built from received values inside the store.
#include "db/StoreNames.h"

#include <vector>

#include "db/SQLdb.h"
#include "db/StoredFields.h"
#include "db/dbInsert.h"
#include "dicom/DcmObj.h"
#include "dicom/Tags.h"
#include "dicom/util/Log.h"
#include "dicom/util/TextUtil.h"
#include "platform/ExeFolder.h"

namespace {

constexpr size_t kMaxUidLength = 64;

using Fields = std::vector<std::string>;

// The first row of a one-key look-up, its columns as stored (never through the row text, which
// would turn a ";" of a recorded path into ":" and send an object where no row points).
bool QueryFirstRow(SQLdb& db, const Fields& columns, const std::string& rest,
                   const std::string& value, Fields& row, bool& failed) {
  std::vector<Fields> rows;
  failed = QueryStoredFields(db, columns, rest, {StoredText(value)}, rows) != 0;
  if (failed || rows.empty()) return false;
  row = rows.front();
  return true;
}

// A recorded "date/study/series" into its three components; false unless each can be joined
// into a path. The date is checked as a recorded folder, not as a new Study Date: the folder
// already exists under that name.
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
  if (parts.size() != 3 || !IsSafeFolderComponent(parts[0]) || !IsSafeFolderComponent(parts[1]) ||
      !IsSafeFolderComponent(parts[2]))
    return false;
  out.studyDate = parts[0];
  out.studyFolder = parts[1];
  out.seriesFolder = parts[2];
  return true;
}

}  // namespace

std::string MakeStudyFolderName(const DcmObj& dataSet) {
  return TextCRC32Hex(dataSet.GetString(tag::kStudyInstanceUID) + dataSet.GetString(tag::kStudyID) +
                      dataSet.GetString(tag::kAccessionNumber));
}

std::string MakeSeriesFolderName(const DcmObj& dataSet) {
  return TextCRC32Hex(dataSet.GetString(tag::kModality) +
                      dataSet.GetString(tag::kSeriesInstanceUID) +
                      dataSet.GetString(tag::kSeriesNumber));
}

namespace {

// The first row of a one-UID look-up on its own read-only connection to `dbName`; false (after
// the caller-named log line of a failure) when the database cannot be opened, the statement
// fails or no row matches.
bool LookUpFirstRow(const std::string& dbName, const std::string& caller, const Fields& columns,
                    const std::string& rest, const std::string& uid, Fields& row) {
  SQLdb db(dbName, kOpenReadOnly);
  if (!db.isOpen) {
    LogWrite("ERROR, " + caller + ", couldn't open database: " + dbName);
    return false;
  }
  bool failed = false;
  if (QueryFirstRow(db, columns, rest, uid, row, failed)) return true;
  if (failed) LogWrite("ERROR, " + caller + ": " + db.errorText);
  return false;
}

}  // namespace

std::string GetStudyPath(const std::string& dbName, const std::string& studyInstanceUID) {
  Fields row;
  if (!LookUpFirstRow(dbName, "GetStudyPath", {"StudyPath", "StudyDate"},
                      "FROM Study WHERE StudyInstanceUID=?", studyInstanceUID, row))
    return {};
  if (row[0].empty()) return {};
  return row[1] + kPathSeparator + row[0];
}

std::string GetSeriesPath(const std::string& dbName, const std::string& seriesInstanceUID) {
  Fields row;
  if (!LookUpFirstRow(dbName, "GetSeriesPath", {"SeriesPath"},
                      "FROM Series WHERE SeriesInstanceUID=?", seriesInstanceUID, row))
    return {};
  return row[0] + kPathSeparator;
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Runs of digits joined by single characters of `separators`: it starts and ends with a digit,
// so it is never empty, hidden or a dot-only name, and no run is empty.
bool IsDigitGroups(const std::string& text, const std::string& separators) {
  if (text.empty() || !IsDigit(text.front()) || !IsDigit(text.back())) return false;
  for (size_t i = 1; i < text.size(); ++i) {
    if (IsDigit(text[i])) continue;
    if (separators.find(text[i]) == std::string::npos || !IsDigit(text[i - 1])) return false;
  }
  return true;
}

}  // namespace

bool IsSafeUidFileName(const std::string& uid) {
  return uid.size() <= kMaxUidLength && IsDigitGroups(uid, ".");
}

bool HasStoreKeys(const DcmObj& dataSet, std::string& emptyKey, std::string& unsafeValue) {
  emptyKey.clear();
  unsafeValue.clear();
  static const struct {
    TagKey tag;
    const char* key;
  } kKeys[] = {{tag::kSOPInstanceUID, "SOPInstanceUID"},
               {tag::kStudyInstanceUID, "StudyInstanceUID"},
               {tag::kSeriesInstanceUID, "SeriesInstanceUID"}};
  for (const auto& k : kKeys) {
    if (dataSet.GetString(k.tag).empty()) {
      emptyKey = k.key;
      return false;
    }
  }
  const std::string uid = dataSet.GetString(tag::kSOPInstanceUID);
  const std::string date = dataSet.GetString(tag::kStudyDate);
  if (!IsSafeUidFileName(uid))
    unsafeValue = uid;
  else if (!date.empty() && !IsSafeDateFolder(date))
    unsafeValue = date;
  return unsafeValue.empty();
}

bool IsSafeFolderComponent(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name)
    if (c == '/' || c == '\\' || c == '\0') return false;
  return true;
}

bool IsSafeDateFolder(const std::string& date) { return IsDigitGroups(date, ".-"); }

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
  if (!IsSafeUidFileName(dataSet.GetString(tag::kSOPInstanceUID))) return false;
  Fields row;
  bool failed = false;
  // A registered series keeps the folder it was first stored in.
  if (QueryFirstRow(db, {"SeriesPath"}, "FROM Series WHERE SeriesInstanceUID=?",
                    dataSet.GetString(tag::kSeriesInstanceUID), row, failed))
    return SplitSeriesPath(row[0], out);
  if (failed) return false;

  const std::string studyUid = dataSet.GetString(tag::kStudyInstanceUID);
  out.seriesFolder = MakeSeriesFolderName(dataSet);
  // A new series of a registered study goes under the study's recorded date and folder.
  if (QueryFirstRow(db, {"SeriesPath"}, "FROM Series WHERE StudyInstanceUID=? LIMIT 1", studyUid,
                    row, failed)) {
    StoreFolders recorded;
    if (!SplitSeriesPath(row[0], recorded)) return false;
    out.studyDate = recorded.studyDate;
    out.studyFolder = recorded.studyFolder;
    return true;
  }
  if (failed) return false;
  if (QueryFirstRow(db, {"StudyPath", "StudyDate"}, "FROM Study WHERE StudyInstanceUID=?", studyUid,
                    row, failed)) {
    const std::string& recordedFolder = row[0];
    const std::string& recordedDate = row[1];
    if (!recordedFolder.empty()) {
      out.studyFolder = recordedFolder;
      if (recordedDate.empty()) {
        out.studyDate = studyDate;
        return IsSafeDateFolder(out.studyDate) && IsSafeFolderComponent(out.studyFolder);
      }
      out.studyDate = recordedDate;
      return IsSafeFolderComponent(out.studyDate) && IsSafeFolderComponent(out.studyFolder);
    }
  }
  if (failed) return false;
  out.studyDate = studyDate;
  out.studyFolder = MakeStudyFolderName(dataSet);
  return IsSafeDateFolder(out.studyDate);
}

std::string StoreSeriesFolder(const std::string& storeRoot, const StoreFolders& folders) {
  return storeRoot + folders.studyDate + kPathSeparator + folders.studyFolder + kPathSeparator +
         folders.seriesFolder + kPathSeparator;
}

std::string StoreFilePath(const std::string& storeRoot, const StoreFolders& folders,
                          const std::string& sopInstanceUID) {
  return StoreSeriesFolder(storeRoot, folders) + sopInstanceUID + ".dcm";
}

std::string StoreSeriesFolder(const StoreFolders& folders) {
  return StoreSeriesFolder(ExeFolder + kStoreFolder, folders);
}

std::string StoreFilePath(const StoreFolders& folders, const std::string& sopInstanceUID) {
  return StoreFilePath(ExeFolder + kStoreFolder, folders, sopInstanceUID);
}
