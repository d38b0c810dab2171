// The browser's process-wide state; GUI thread only.
#pragma once

#include <string>

extern std::string RemoteHost;     // "127.0.0.1" for "Local"
extern std::string RemotePort;     // the configured port for "Local"
extern std::string RemoteAETitle;  // the own AE title for "Local"
// Set by "Abort!"; polled by search, retrieve and the folder import between steps.
extern bool AbortRequested;
// The folder last confirmed in the folder chooser (native path bytes, no trailing "/").
extern std::string ChosenFolder;

inline constexpr const char* DatabaseName = "ecg";
inline constexpr const char* kLocalStudyListSql = "SELECT * FROM STUDY ORDER BY PatientName";
