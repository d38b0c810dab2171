// The file layer: every file and folder access of the program goes through one FileSystem, so
// tests can replace it to inject failures (a full disk, permission denied) even when run as root.
// Paths are native bytes with "/" separators; nothing here follows a symbolic link unless it
// says so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct DirEntry {
  std::string name;  // without its folder
  bool isDirectory = false;  // a real folder, never a link to one
  bool isLink = false;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual bool Exists(const std::string& path);       // lstat succeeds
  virtual bool IsDirectory(const std::string& path);  // a real folder (not a link)
  // Creates the folder and its missing parents; true when it exists afterwards.
  virtual bool CreateDirectories(const std::string& path);
  virtual bool ReadFile(const std::string& path, std::vector<uint8_t>& out);
  // Writes to a temporary file in the same folder, checks every write and the close, then
  // renames it into place; on failure the temporary file is removed and false returned.
  virtual bool WriteFileAtomically(const std::string& path, const void* bytes, size_t count);
  // Lists a folder (dot-files included, "." and ".." left out); errno-style code, 0 on success.
  virtual int ListDirectory(const std::string& path, std::vector<DirEntry>& out);
  virtual int Unlink(const std::string& path);           // 0 or errno; a link itself, never its target
  virtual int RemoveDirectory(const std::string& path);  // 0 or errno; only an empty folder
  virtual int Rename(const std::string& from, const std::string& to);  // 0 or errno
};

// The process-wide file layer. SetFiles(nullptr) restores the real one; the caller keeps
// ownership of a replacement and must keep it alive while it is installed.
FileSystem& Files();
void SetFiles(FileSystem* replacement);
