// The file layer: every file and folder access of the program goes through one FileSystem, so
// tests can replace it to inject failures (a full disk, permission denied, a failed flush) even
// when run as root.
// Paths are native bytes with "/" separators; nothing here follows a symbolic link unless it
// says so.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct DirEntry {
  std::string name;          // without its folder
  bool isDirectory = false;  // a real folder, never a link to one
  bool isLink = false;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;
  virtual bool Exists(const std::string& path);       // lstat succeeds
  virtual bool IsDirectory(const std::string& path);  // a real folder (not a link)
  // Creates the folder and its missing parents; each folder created is flushed into its parent
  // (FlushFolder), so it outlives a crash. True when the folder exists afterwards and every
  // such flush succeeded.
  virtual bool CreateDirectories(const std::string& path);
  virtual bool ReadFile(const std::string& path, std::vector<uint8_t>& out);
  // Writes the file through a FileWriter (one temporary file beside it, flushed to the disk,
  // renamed into place, its folder flushed); false when any step failed. The temporary file is
  // then gone; the path holds the old file, or the new one when only the folder's flush failed.
  virtual bool WriteFileAtomically(const std::string& path, const void* bytes, size_t count);
  // Lists a folder (dot-files included, "." and ".." left out); errno-style code, 0 on success.
  virtual int ListDirectory(const std::string& path, std::vector<DirEntry>& out);
  virtual int Unlink(const std::string& path);  // 0 or errno; a link itself, never its target
  virtual int RemoveDirectory(const std::string& path);  // 0 or errno; only an empty folder
  virtual int Rename(const std::string& from, const std::string& to);  // 0 or errno

  // The steps of FileWriter. CreateTemporary creates a new, empty file beside `path` (in its
  // folder, named as IsTemporaryFileName recognises, never an existing file) and returns its
  // descriptor, or -1; `temporary` names it.
  virtual int CreateTemporary(const std::string& path, std::string& temporary);
  // Writes all `count` bytes at `offset` of the file (short writes and interruptions looped).
  virtual bool WriteAt(int fd, uint64_t offset, const void* bytes, size_t count);
  virtual int Flush(int fd);  // the file's bytes to the disk (fsync); 0 or errno
  // Asks the disk to start writing `count` bytes at `offset` of the file without waiting for
  // them (sync_file_range); only a hint, so that a later Flush has less left to wait for.
  virtual void StartWriteback(int fd, uint64_t offset, uint64_t count);
  virtual int Close(int fd);  // 0 or errno (a deferred write error shows here)
  // The folder's entries to the disk, so a file created or renamed in it outlives a crash;
  // 0 or errno.
  virtual int FlushFolder(const std::string& folder);
};

// True for the names of FileWriter's temporary files: "." + the file's name + ".tmp" + a
// process ID + "-" + a number, e.g. ".1.2.3.dcm.tmp4711-12".
bool IsTemporaryFileName(const std::string& name);

// Removes the temporary files a writer that was killed left behind: every entry named as
// IsTemporaryFileName recognises, under `folder` and its sub-folders. Links are neither followed
// nor removed, folders are never removed, and nothing of another name is touched. Only for a
// folder that no writer is using at the time. Returns how many were removed.
size_t RemoveTemporaryFiles(const std::string& folder);

// The process-wide file layer. SetFiles(nullptr) restores the real one; the caller keeps
// ownership of a replacement and must keep it alive while it is installed.
FileSystem& Files();
void SetFiles(FileSystem* replacement);
