// The image store: ExeFolder + "imagebox/<StudyDate>/<study folder>/<series folder>/<uid>.dcm".
// Folder names are the CRC-32 (zlib's) of concatenated trimmed values as 8 upper-case hex
// digits. The database records Study.StudyPath (the study folder alone) and Series.SeriesPath
// ("date/study/series").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class DcmObj;
class SQLdb;

inline constexpr const char* kStoreFolder = "imagebox/";
inline constexpr char kPathSeparator = '/';

class CCRC32 {
 public:
  CCRC32();
  static uint32_t ReflectBits(uint32_t value, int bits);
  void Update(uint32_t& crc, const uint8_t* bytes, size_t length) const;
  uint32_t Compute(const uint8_t* bytes, size_t length) const;

 private:
  void BuildTable();
  uint32_t table_[256];
};

std::string TextCRC32Hex(const std::string& text);
// StudyInstanceUID + StudyID + AccessionNumber.
std::string MakeStudyFolderName(const DcmObj& dataSet);
// Modality + SeriesInstanceUID + SeriesNumber.
std::string MakeSeriesFolderName(const DcmObj& dataSet);

// "date/studyFolder" of a registered study, or "" (unknown study, empty StudyPath, failure).
std::string GetStudyPath(const std::string& dbName, const std::string& studyInstanceUID);
// The recorded SeriesPath + "/", "/" for an empty one, or "" for an unknown series.
std::string GetSeriesPath(const std::string& dbName, const std::string& seriesInstanceUID);

// A UID that may name a file: at most 64 characters, components of digits joined by single
// dots, first and last character a digit (so never "." or a hidden name). Leading zeros and long
// components, which devices do send, are accepted.
bool IsSafeUidFileName(const std::string& uid);
// The one decision whether a received Study Date may name a new date folder, for the C-STORE
// service and the folder import alike: a DICOM date, runs of digits joined by single "." or "-"
// (the old separated forms), first and last character a digit. Anything else (blanks inside,
// quotes, semicolons, control bytes, bytes above 0x7F) could be recorded in the database
// differently from the folder it names, and is refused.
bool IsSafeDateFolder(const std::string& date);
// The keys both writers check before an object gets a place in the store. False with `emptyKey`
// set ("SOPInstanceUID", "StudyInstanceUID" or "SeriesInstanceUID") when that key is missing or
// empty: the object would join whatever rows have the empty key. False with `unsafeValue` set
// when the SOP Instance UID cannot name a file or the Study Date cannot name a folder. An empty
// Study Date passes: the writer supplies today's.
bool HasStoreKeys(const DcmObj& dataSet, std::string& emptyKey, std::string& unsafeValue);
// One recorded folder name that may be joined into a store path: not empty, no "/", "\" or
// NUL, not "." or "..".
bool IsSafeFolderComponent(const std::string& name);
// A recorded SeriesPath ("date/study/series", with or without the trailing separator) checked
// component by component before it enters a path: the path with one trailing "/", or "" when
// it is empty or any component is unsafe.
std::string SafeSeriesPath(const std::string& seriesPath);

// The folders an object is written to and registered under. For a series already registered
// its recorded SeriesPath is reused; a new series of a registered study goes under the study's
// recorded date and folder; only new ones get CRC names (so later objects with another
// AccessionNumber, StudyID or SeriesNumber stay with their study). Final under RegisterBusy;
// without it only a first guess, to be checked again under it.
struct StoreFolders {
  std::string studyDate;
  std::string studyFolder;
  std::string seriesFolder;
  bool operator==(const StoreFolders&) const = default;
};
// `studyDate` is the date the writer supplies for a new study. False when a look-up fails, the
// SOP Instance UID cannot name a file, or a component (date, recorded folder) is not safe; the
// object must then be refused.
bool ChooseStoreFolders(SQLdb& db, const DcmObj& dataSet, const std::string& studyDate,
                        StoreFolders& out);
// storeRoot (an image store, ending in "/") + "date/study/series/" (with the trailing
// separator).
std::string StoreSeriesFolder(const std::string& storeRoot, const StoreFolders& folders);
// StoreSeriesFolder + uid + ".dcm"; check IsSafeUidFileName(uid) first.
std::string StoreFilePath(const std::string& storeRoot, const StoreFolders& folders,
                          const std::string& sopInstanceUID);
// The same in the program's own store, ExeFolder + "imagebox/".
std::string StoreSeriesFolder(const StoreFolders& folders);
std::string StoreFilePath(const StoreFolders& folders, const std::string& sopInstanceUID);
