// Writes one file through one temporary file beside it, so that whoever reads the path sees the
// old file or the whole new one, never a part, and a file reported written outlives a crash or a
// power loss:
//   1. the constructor creates the temporary file in the path's folder (so the final rename
//      never crosses file systems);
//   2. Append and Overwrite write to it through a buffer; a piece larger than the buffer goes to
//      the file straight from the caller's memory, in slices of kSliceSize, so a large object
//      is never copied whole; every kWritebackStep bytes the disk is asked to start writing
//      what is in the file so far (FileSystem::StartWriteback);
//   3. Finish writes what is buffered, flushes the file to the disk and closes it;
//   4. MoveIntoPlace renames it over the path, and FlushFolder flushes the folder, so that the
//      rename is on the disk too.
// Commit does steps 3 and 4. Until MoveIntoPlace succeeds, the destructor removes the temporary
// file. Every system call goes through a FileSystem (Files() unless given), so tests can make any
// step fail. A writer belongs to one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/Files.h"

class FileWriter {
 public:
  explicit FileWriter(std::string path, FileSystem& files = Files());
  ~FileWriter();
  FileWriter(const FileWriter&) = delete;
  FileWriter& operator=(const FileWriter&) = delete;

  // False once a step failed (the temporary file could not be created, a write failed): what
  // follows is dropped, and Finish and Commit fail.
  bool ok() const { return ok_; }
  void Append(const void* bytes, size_t count);
  // Replaces bytes appended before (a length filled in after its content). A range beyond what
  // was appended fails the writer.
  void Overwrite(uint64_t offset, const void* bytes, size_t count);
  uint64_t Size() const { return size_; }  // bytes appended so far
  // True when everything appended is in the file, on the disk, and the file is closed.
  bool Finish();
  // After a successful Finish: renames the temporary file over the path; 0 or errno.
  int MoveIntoPlace();
  int FlushFolder();  // the path's folder to the disk; 0 or errno
  bool Commit();      // Finish, MoveIntoPlace and FlushFolder, stopping at the first failure
  bool placed() const { return placed_; }  // the file is at its path (MoveIntoPlace succeeded)
  const std::string& path() const { return path_; }

  // The largest single write to the file, and how many bytes gather before the disk is asked
  // to start on them.
  static constexpr size_t kSliceSize = 1024 * 1024;
  static constexpr uint64_t kWritebackStep = 4 * 1024 * 1024;

 private:
  bool Drain();  // the buffer into the file
  void WriteThrough(const uint8_t* from, size_t count);
  void StartWritebackWhenDue();

  static constexpr size_t kBufferSize = 64 * 1024;

  FileSystem& files_;
  std::string path_;
  std::string temporary_;  // empty when none was created
  int fd_ = -1;
  bool ok_ = false;
  bool finished_ = false;
  bool placed_ = false;
  uint64_t size_ = 0;           // bytes appended
  uint64_t written_ = 0;        // of those, the ones in the file; the buffer holds the rest
  uint64_t writebackFrom_ = 0;  // the disk was asked to start on the bytes before this
  std::vector<uint8_t> buffer_;
};
