// Recursive deletion of the files of a folder tree by extension, never following links.
#pragma once

#include <functional>
#include <string>

// Deletes files whose extension (from the last ".", case-sensitive) equals `extension`, or every
// file for "*", in `path` and all its sub-folders; sub-folders are removed once empty, `path`
// itself only when `removeFolder`. `pump` (may be empty) runs after each entry.
// "Error deleting: " + name + ", " + the system error code as eight upper-case hex digits.
void LogDeleteError(const std::string& name, int error);

void DeleteFolder(const std::string& path, const std::string& extension, bool removeFolder,
                  const std::function<void()>& pump = {});
