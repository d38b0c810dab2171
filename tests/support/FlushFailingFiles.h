// The real file layer, except that forcing a file or a folder to the disk can be made to fail,
// as it does on a disk that reports an I/O error: a file can be written, and even renamed, and
// still not be kept.
#pragma once

#include <cerrno>
#include <string>

#include "platform/Files.h"

class FlushFailingFiles : public FileSystem {
 public:
  bool failFileFlush = false;
  bool failEveryFolderFlush = false;
  std::string failFolderFlush;  // the one folder (with its trailing "/") whose flush fails

  int Flush(int fd) override { return failFileFlush ? EIO : FileSystem::Flush(fd); }
  int FlushFolder(const std::string& folder) override {
    if (failEveryFolderFlush || folder == failFolderFlush) return EIO;
    return FileSystem::FlushFolder(folder);
  }
};
