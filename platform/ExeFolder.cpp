// Where the running program lies; every file it uses is found relative to this folder.
#include "platform/ExeFolder.h"

#include <unistd.h>

#include <vector>

std::string ExeFolder;

std::string ExecutableFolder() {
  // readlink does not terminate and truncates silently, so grow the buffer until it fits.
  std::vector<char> buffer(4096);
  for (;;) {
    ssize_t length = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (length < 0) return "./";
    if (static_cast<size_t>(length) < buffer.size()) {
      std::string path(buffer.data(), static_cast<size_t>(length));
      size_t slash = path.rfind('/');
      return slash == std::string::npos ? std::string("./") : path.substr(0, slash + 1);
    }
    buffer.resize(buffer.size() * 2);
  }
}
