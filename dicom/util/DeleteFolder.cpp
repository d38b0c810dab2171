// Recursive deletion of a folder tree's files through the file layer. A symbolic link is never
// followed: a link is deleted like a file when it matches, so nothing outside the tree is touched.
#include "dicom/util/DeleteFolder.h"

#include <cstdio>
#include <vector>

#include "dicom/util/Log.h"
#include "platform/Files.h"

namespace {

// The extension runs from the last "." of the name, the "." included; "" when there is none.
std::string ExtensionOf(const std::string& name) {
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot);
}

bool Matches(const std::string& name, const std::string& extension) {
  return extension == "*" || ExtensionOf(name) == extension;
}

}  // namespace

void LogDeleteError(const std::string& name, int error) {
  char code[9];
  std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(error));
  LogWrite("Error deleting: " + name + ", " + code);
}

void DeleteFolder(const std::string& path, const std::string& extension, bool removeFolder,
                  const std::function<void()>& pump) {
  if (path.empty()) return;
  FileSystem& files = Files();
  std::vector<DirEntry> entries;
  files.ListDirectory(path, entries);
  const std::string folder = path.back() == '/' ? path : path + "/";
  for (const DirEntry& entry : entries) {
    std::string child = folder + entry.name;
    if (entry.isDirectory && !entry.isLink) {
      DeleteFolder(child, extension, true, pump);
    } else if (Matches(entry.name, extension)) {
      if (int error = files.Unlink(child); error != 0) LogDeleteError(entry.name, error);
    }
    if (pump) pump();
  }
  // A folder that still holds something stays, silently.
  if (removeFolder) files.RemoveDirectory(path);
}
