// The program's one log: "hh:mm:ss, message" lines appended to the day's file, safe from every
// thread. Lines before LogInit and after LogFree are dropped.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>
#include <string_view>

// Each non-empty argument replaces the stored setting. Title and class are kept but unused.
void LogInit(const std::string& fileName, const std::string& windowTitle,
             const std::string& windowClass);
void LogFree();
// Control characters in the message are written as "." (see SanitizeForLog).
void LogWrite(const std::string& message);
// Appends raw bytes (the socket trace) under the same lock; dropped when the log is not set.
void LogAppendRaw(const void* bytes, size_t count);

// Bytes 0x00-0x1F and 0x7F become "."; every other byte is kept. Log lines carry text that
// peers chose (names, AE titles, UIDs); a CR/LF written verbatim would forge lines.
std::string SanitizeForLog(std::string_view text);

// -1..3; every threshold treats -1 like 0. Written on the GUI thread, read by all.
extern std::atomic<int> LogLevel;

// Whether the configured level is above `level`: the test before every line logged only at some
// verbosity ("INFO" lines above 0, detail lines above 1, the socket trace above 2).
inline bool LoggingAbove(int level) { return LogLevel.load(std::memory_order_relaxed) > level; }
