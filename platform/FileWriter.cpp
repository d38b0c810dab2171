// One file written through one temporary file, buffered, flushed and renamed into place.
#include "platform/FileWriter.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

FileWriter::FileWriter(std::string path, FileSystem& files)
    : files_(files), path_(std::move(path)) {
  fd_ = files_.CreateTemporary(path_, temporary_);
  ok_ = fd_ >= 0;
  if (!ok_) temporary_.clear();  // the name may be another writer's
}

FileWriter::~FileWriter() {
  // A destructor must not throw, even when a replaced file layer does.
  try {
    if (fd_ >= 0) files_.Close(fd_);
    if (!placed_ && !temporary_.empty()) files_.Unlink(temporary_);
  } catch (...) {
  }
}

void FileWriter::Append(const void* bytes, size_t count) {
  size_ += count;
  if (!ok_ || count == 0) return;
  const uint8_t* from = static_cast<const uint8_t*>(bytes);
  if (buffer_.size() + count > kBufferSize) {
    if (!Drain()) return;
    if (count >= kBufferSize) {
      WriteThrough(from, count);
      return;
    }
  }
  if (buffer_.capacity() < kBufferSize) buffer_.reserve(kBufferSize);
  buffer_.insert(buffer_.end(), from, from + count);
}

void FileWriter::Overwrite(uint64_t offset, const void* bytes, size_t count) {
  if (!ok_) return;
  if (offset > size_ || count > size_ - offset) {
    ok_ = false;
    return;
  }
  const uint8_t* from = static_cast<const uint8_t*>(bytes);
  if (offset < written_) {
    const size_t inFile =
        written_ - offset < count ? static_cast<size_t>(written_ - offset) : count;
    if (!files_.WriteAt(fd_, offset, from, inFile)) {
      ok_ = false;
      return;
    }
    from += inFile;
    offset += inFile;
    count -= inFile;
  }
  if (count > 0) std::memcpy(buffer_.data() + (offset - written_), from, count);
}

// One write of hundreds of megabytes costs the kernel several times what the same bytes cost in
// slices of a megabyte, so a large piece goes to the file slice by slice.
void FileWriter::WriteThrough(const uint8_t* from, size_t count) {
  while (count > 0) {
    const size_t slice = std::min(count, kSliceSize);
    ok_ = files_.WriteAt(fd_, written_, from, slice);
    if (!ok_) return;
    written_ += slice;
    from += slice;
    count -= slice;
    StartWritebackWhenDue();
  }
}

// Once kWritebackStep bytes have gathered since the last time, the disk is asked to start on
// them, so it writes while the rest of the file is still coming and Finish's flush waits only
// for the last of it. Smaller files are left to that flush alone.
void FileWriter::StartWritebackWhenDue() {
  if (written_ - writebackFrom_ < kWritebackStep) return;
  files_.StartWriteback(fd_, writebackFrom_, written_ - writebackFrom_);
  writebackFrom_ = written_;
}

bool FileWriter::Drain() {
  if (buffer_.empty()) return true;
  ok_ = files_.WriteAt(fd_, written_, buffer_.data(), buffer_.size());
  if (!ok_) return false;
  written_ += buffer_.size();
  buffer_.clear();
  StartWritebackWhenDue();
  return true;
}

bool FileWriter::Finish() {
  if (fd_ < 0) return false;
  bool good = ok_ && Drain() && files_.Flush(fd_) == 0;
  const int fd = std::exchange(fd_, -1);
  if (files_.Close(fd) != 0) good = false;
  ok_ = good;
  finished_ = good;
  return good;
}

int FileWriter::MoveIntoPlace() {
  if (!finished_ || placed_) return EINVAL;
  const int error = files_.Rename(temporary_, path_);
  if (error == 0) placed_ = true;
  return error;
}

int FileWriter::FlushFolder() {
  const size_t slash = path_.rfind('/');
  return files_.FlushFolder(slash == std::string::npos ? "." : path_.substr(0, slash + 1));
}

bool FileWriter::Commit() { return Finish() && MoveIntoPlace() == 0 && FlushFolder() == 0; }
