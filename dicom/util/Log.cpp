// The log writer. Each line is appended with one write() to a file opened and closed for that
// line, so nothing is buffered between lines and a crash loses at most the line being written.
#include "dicom/util/Log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <mutex>

std::atomic<int> LogLevel{0};

namespace {

struct LogState {
  std::mutex busy;          // held for the whole of one line, and by LogInit/LogFree
  std::string fileName;     // GUARDED_BY(busy); empty while unset or after LogFree
  std::string windowTitle;  // GUARDED_BY(busy); kept for callers, no window receives lines
  std::string windowClass;  // GUARDED_BY(busy)
};

// Never destroyed: detached server threads may still log while exit() runs static destructors.
LogState& State() {
  static LogState* state = new LogState;
  return *state;
}

// "hh:mm:ss" of the local time; strftime under the C library's fixed format, no locale words.
std::string TimeOfDay() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  size_t length = std::strftime(text, sizeof text, "%H:%M:%S", &local);
  return std::string(text, length);
}

// Appends the bytes to the file in one go; a file that cannot be opened loses them silently.
void AppendToFile(const std::string& fileName, const char* bytes, size_t count) {
  int fd = ::open(fileName.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) return;
  while (count > 0) {
    ssize_t written = ::write(fd, bytes, count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) break;
    bytes += written;
    count -= static_cast<size_t>(written);
  }
  ::close(fd);
}

}  // namespace

void LogInit(const std::string& fileName, const std::string& windowTitle,
             const std::string& windowClass) {
  LogState& state = State();
  std::lock_guard<std::mutex> lock(state.busy);
  if (!fileName.empty()) state.fileName = fileName;
  if (!windowTitle.empty()) state.windowTitle = windowTitle;
  if (!windowClass.empty()) state.windowClass = windowClass;
}

void LogFree() {
  LogState& state = State();
  std::lock_guard<std::mutex> lock(state.busy);
  state.fileName.clear();
  state.windowTitle.clear();
  state.windowClass.clear();
}

std::string SanitizeForLog(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) c = '.';
  }
  return out;
}

void LogWrite(const std::string& message) {
  LogState& state = State();
  std::lock_guard<std::mutex> lock(state.busy);
  if (state.fileName.empty()) return;
  std::string line = TimeOfDay() + ", " + SanitizeForLog(message) + "\n";
  AppendToFile(state.fileName, line.data(), line.size());
}

void LogAppendRaw(const void* bytes, size_t count) {
  LogState& state = State();
  std::lock_guard<std::mutex> lock(state.busy);
  if (state.fileName.empty() || count == 0) return;
  AppendToFile(state.fileName, static_cast<const char*>(bytes), count);
}
