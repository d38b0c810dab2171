// Where a received object lives in the image store, built only from validated components.
//
// Layout: <store folder><StudyDate>/<study folder>/<series folder>/<SOPInstanceUID>.dcm. The
// StudyDate and SOP Instance UID come from the peer; unchecked, "../../x" would place or replace
// files outside the store. A UID must be digits and dots (at most 64 characters); a date must be
// one non-empty path component. The CRC folder names come from the database layer.
#pragma once

#include <optional>
#include <string>
#include <string_view>

inline constexpr size_t kMaxUidLength = 64;

// Digits and "." only, 1 to 64 characters.
bool IsSafeUid(std::string_view uid);
// One path component: not empty, not "." or "..", no "/", "\" or NUL.
bool IsSafePathComponent(std::string_view text);

struct StoreLocation {
  std::string folder;  // ends in "/"
  std::string file;    // folder + SOPInstanceUID + ".dcm"
};

// The location of an object, or nothing when the date, a folder name or the UID is unsafe.
// storeFolder ends in "/".
std::optional<StoreLocation> BuildStoreLocation(const std::string& storeFolder,
                                                std::string_view studyDate,
                                                std::string_view studyFolder,
                                                std::string_view seriesFolder,
                                                std::string_view sopInstanceUid);

// A recorded SeriesPath ("<date>/<study>/<series>/", as the database stores it) checked
// component by component before it enters a path; nothing when any component is unsafe.
std::optional<std::string> SafeSeriesPath(std::string_view seriesPath);
