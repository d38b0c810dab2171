// The program's one log: "hh:mm:ss, message" lines appended to the day's file, safe from every
// thread. Lines before LogInit and after LogFree are dropped.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

// Each non-empty argument replaces the stored setting. Title and class are kept but unused.
void LogInit(const std::string& fileName, const std::string& windowTitle,
             const std::string& windowClass);
void LogFree();
void LogWrite(const std::string& message);
// Appends raw bytes (the socket trace) under the same lock; dropped when the log is not set.
void LogAppendRaw(const void* bytes, size_t count);

// -1..3; every threshold treats -1 like 0. Written on the GUI thread, read by all.
extern std::atomic<int> LogLevel;
