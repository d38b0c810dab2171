// Reading and writing the raw configuration record.
#include "app/ScpConfig.h"

#include <cstdio>
#include <cstring>

#include "platform/Files.h"

ScpConfigRecord ScpConfig;

namespace {

void StoreRecordBytes(const uint8_t* bytes, size_t count) {
  uint8_t record[kConfigRecordSize];
  std::memcpy(record, ScpConfig.port, kConfigTextSize);
  std::memcpy(record + kConfigTextSize, ScpConfig.aeTitle, kConfigTextSize);
  uint32_t level = static_cast<uint32_t>(ScpConfig.logLevel);
  for (int i = 0; i < 4; ++i) record[2 * kConfigTextSize + i] = uint8_t(level >> (8 * i));
  std::memcpy(record, bytes, count < kConfigRecordSize ? count : kConfigRecordSize);
  std::memcpy(ScpConfig.port, record, kConfigTextSize);
  std::memcpy(ScpConfig.aeTitle, record + kConfigTextSize, kConfigTextSize);
  level = 0;
  for (int i = 0; i < 4; ++i) level |= uint32_t(record[2 * kConfigTextSize + i]) << (8 * i);
  ScpConfig.logLevel = static_cast<int32_t>(level);
}

}  // namespace

bool ReadConfiguration(const std::string& path) {
  if (!Files().Exists(path) || Files().IsDirectory(path)) return false;
  // Only the first 68 bytes matter; read them with stdio so a huge file costs nothing.
  FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  uint8_t bytes[kConfigRecordSize];
  size_t count = std::fread(bytes, 1, sizeof bytes, file);
  std::fclose(file);
  StoreRecordBytes(bytes, count);
  return true;
}

bool WriteConfiguration(const std::string& path) {
  uint8_t record[kConfigRecordSize];
  std::memcpy(record, ScpConfig.port, kConfigTextSize);
  std::memcpy(record + kConfigTextSize, ScpConfig.aeTitle, kConfigTextSize);
  uint32_t level = static_cast<uint32_t>(ScpConfig.logLevel);
  for (int i = 0; i < 4; ++i) record[2 * kConfigTextSize + i] = uint8_t(level >> (8 * i));
  return Files().WriteFileAtomically(path, record, sizeof record);
}

std::string ConfigText(const char (&field)[kConfigTextSize]) {
  return std::string(field, ::strnlen(field, kConfigTextSize));
}

void SetConfigText(char (&field)[kConfigTextSize], const std::string& text) {
  size_t length = text.size() < kConfigTextSize - 1 ? text.size() : kConfigTextSize - 1;
  std::memcpy(field, text.data(), length);
  field[length] = '\0';
}
