// The process's one configuration record and its file trevalind.cfg beside the executable.
//
// The file is the raw 68-byte record, no header or checksum:
//   offset  size  field
//        0    32  port      listen port as decimal text, NUL-terminated (at most 31 characters)
//       32    32  aeTitle   own AE title, NUL-terminated (at most 31 characters)
//       64     4  logLevel  signed 32-bit little-endian: 0..3, or -1 for "no selection"
// Used on the GUI thread only; the server gets copies of the port and AE title at start-up.
#pragma once

#include <cstdint>
#include <string>

constexpr size_t kConfigTextSize = 32;
constexpr size_t kConfigRecordSize = kConfigTextSize + kConfigTextSize + 4;

struct ScpConfigRecord {
  char port[kConfigTextSize] = {};
  char aeTitle[kConfigTextSize] = {};
  int32_t logLevel = 0;
};
static_assert(sizeof(ScpConfigRecord) == kConfigRecordSize);

extern ScpConfigRecord ScpConfig;

// Reads up to 68 bytes from the start of the file into ScpConfig (a shorter file leaves the rest
// as it was); false when the file cannot be opened.
bool ReadConfiguration(const std::string& path);
// Writes the 68 bytes through a temporary file and a rename, so a crash never leaves a torn
// record; false when either step fails.
bool WriteConfiguration(const std::string& path);

// A text field up to its NUL, never past its 32 bytes (a field without a NUL gives 32 bytes).
std::string ConfigText(const char (&field)[kConfigTextSize]);
// Stores the first 31 bytes of text and a NUL; the bytes after the NUL keep what they held.
void SetConfigText(char (&field)[kConfigTextSize], const std::string& text);
