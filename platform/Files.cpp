// The real file layer over POSIX calls. Nothing here follows a symbolic link except where a path
// names a folder to create or a file to read, which the caller means literally.
#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <string>
#include <string_view>

#include "platform/FileWriter.h"

namespace {

std::string FolderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return "";
  return path.substr(0, slash + 1);
}

std::string FileNameOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

}  // namespace

bool FileSystem::Exists(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0;
}

bool FileSystem::IsDirectory(const std::string& path) {
  struct stat st;
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileSystem::CreateDirectories(const std::string& path) {
  if (path.empty()) return false;
  struct stat st;
  // Mostly the folder is there already (every object of a series after the first).
  if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  // Create each prefix in turn; an existing one (or a race with another creator) is fine.
  for (size_t pos = 1; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != '/') continue;
    std::string prefix = path.substr(0, pos);
    if (prefix.empty() || prefix.back() == '/') continue;
    if (::mkdir(prefix.c_str(), 0777) == 0) {
      // The new folder's entry lives in its parent, which must reach the disk as well.
      const std::string parent = FolderOf(prefix);
      if (FlushFolder(parent.empty() ? "." : parent) != 0) return false;
    } else if (errno != EEXIST) {
      return false;
    }
  }
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool FileSystem::ReadFile(const std::string& path, std::vector<uint8_t>& out) {
  out.clear();
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  // Read straight into the result, sized from fstat; a file that grows meanwhile is read to its
  // end, one that shrinks is cut to what was read.
  out.resize(static_cast<size_t>(st.st_size) + 1);
  size_t have = 0;
  for (;;) {
    if (have == out.size()) out.resize(out.size() * 2);
    ssize_t got = ::read(fd, out.data() + have, out.size() - have);
    if (got < 0) {
      if (errno == EINTR) continue;
      ::close(fd);
      out.clear();
      return false;
    }
    if (got == 0) break;
    have += static_cast<size_t>(got);
  }
  ::close(fd);
  out.resize(have);
  return true;
}

bool FileSystem::WriteFileAtomically(const std::string& path, const void* bytes, size_t count) {
  FileWriter file(path, *this);
  file.Append(bytes, count);
  return file.Commit();
}

int FileSystem::ListDirectory(const std::string& path, std::vector<DirEntry>& out) {
  out.clear();
  DIR* dir = ::opendir(path.c_str());
  if (!dir) return errno;
  std::string folder = path.empty() || path.back() == '/' ? path : path + "/";
  for (;;) {
    errno = 0;
    struct dirent* entry = ::readdir(dir);
    if (!entry) break;
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    DirEntry item;
    item.name = name;
    // lstat, not d_type alone: some file systems report DT_UNKNOWN, and a link must stay a link.
    struct stat st;
    if (::lstat((folder + name).c_str(), &st) == 0) {
      item.isLink = S_ISLNK(st.st_mode);
      item.isDirectory = S_ISDIR(st.st_mode);
    }
    out.push_back(std::move(item));
  }
  int error = errno;
  ::closedir(dir);
  return error;
}

int FileSystem::Unlink(const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

int FileSystem::RemoveDirectory(const std::string& path) {
  return ::rmdir(path.c_str()) == 0 ? 0 : errno;
}

int FileSystem::Rename(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

// The name is unique per process and call, and O_EXCL makes sure two writers (even of two
// processes) never share one; it starts with "." and does not end in the target's extension, so
// folder scans looking for ".dcm" files pass over it.
int FileSystem::CreateTemporary(const std::string& path, std::string& temporary) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary = FolderOf(path) + "." + FileNameOf(path) + ".tmp" + std::to_string(::getpid()) +
                "-" + std::to_string(counter.fetch_add(1));
    int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// pwrite() may write less than asked; loop until done, retrying interrupted calls.
bool FileSystem::WriteAt(int fd, uint64_t offset, const void* bytes, size_t count) {
  const uint8_t* from = static_cast<const uint8_t*>(bytes);
  while (count > 0) {
    const ssize_t written = ::pwrite(fd, from, count, static_cast<off_t>(offset));
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) return false;
    from += written;
    offset += static_cast<uint64_t>(written);
    count -= static_cast<size_t>(written);
  }
  return true;
}

int FileSystem::Flush(int fd) { return ::fsync(fd) == 0 ? 0 : errno; }

void FileSystem::StartWriteback(int fd, uint64_t offset, uint64_t count) {
  ::sync_file_range(fd, static_cast<off_t>(offset), static_cast<off_t>(count),
                    SYNC_FILE_RANGE_WRITE);
}

int FileSystem::Close(int fd) { return ::close(fd) == 0 ? 0 : errno; }

int FileSystem::FlushFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int error = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  return error;
}

bool IsTemporaryFileName(const std::string& name) {
  if (name.empty() || name[0] != '.') return false;
  const size_t tmp = name.rfind(".tmp");
  if (tmp == std::string::npos || tmp < 2) return false;  // no file name between the dots
  const std::string_view number = std::string_view(name).substr(tmp + 4);
  const size_t dash = number.find('-');
  return dash != std::string_view::npos && AllDigits(number.substr(0, dash)) &&
         AllDigits(number.substr(dash + 1));
}

size_t RemoveTemporaryFiles(const std::string& folder) {
  FileSystem& files = Files();
  const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  std::vector<DirEntry> entries;
  if (files.ListDirectory(base, entries) != 0) return 0;
  size_t removed = 0;
  for (const DirEntry& entry : entries) {
    if (entry.isLink) continue;
    if (entry.isDirectory) {
      removed += RemoveTemporaryFiles(base + entry.name);
    } else if (IsTemporaryFileName(entry.name) && files.Unlink(base + entry.name) == 0) {
      ++removed;
    }
  }
  return removed;
}

namespace {

FileSystem& RealFiles() {
  // Never destroyed: detached threads may still touch files while the process exits.
  static FileSystem* real = new FileSystem;
  return *real;
}

std::atomic<FileSystem*> replacementFiles{nullptr};

}  // namespace

FileSystem& Files() {
  FileSystem* replacement = replacementFiles.load(std::memory_order_acquire);
  return replacement ? *replacement : RealFiles();
}

void SetFiles(FileSystem* replacement) {
  replacementFiles.store(replacement, std::memory_order_release);
}
