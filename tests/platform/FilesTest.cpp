// The real file layer: atomic writes that leave nothing behind on failure, listings that report
// links as links, and the small calls that return errno codes.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/FileWriter.h"
#include "platform/Files.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

std::set<std::string> NamesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.insert(entry.path().filename().string());
  return names;
}

TEST(WriteFileAtomically, WritesAndReplacesLeavingNoTemporaryFile) {
  TempFolder folder;
  std::string target = folder / "a.dcm";
  const std::string first = "first content";
  const std::string second(100000, 'z');
  ASSERT_TRUE(Files().WriteFileAtomically(target, first.data(), first.size()));
  EXPECT_EQ(ReadWholeFile(target), first);
  ASSERT_TRUE(Files().WriteFileAtomically(target, second.data(), second.size()));
  EXPECT_EQ(ReadWholeFile(target), second);
  ASSERT_TRUE(Files().WriteFileAtomically(folder / "empty", "", 0));
  EXPECT_EQ(fs::file_size(folder / "empty"), 0u);
  EXPECT_EQ(NamesIn(folder.path()), (std::set<std::string>{"a.dcm", "empty"}));
}

// Two writers of one path used to interleave their bytes in one file; now each write lands whole
// and the last rename wins.
TEST(WriteFileAtomically, ConcurrentWritersOfOnePathNeverMix) {
  TempFolder folder;
  std::string target = folder / "same.dcm";
  constexpr int kWriters = 4;
  std::vector<std::string> contents;
  for (int w = 0; w < kWriters; ++w) contents.push_back(std::string(256 * 1024, char('a' + w)));
  std::atomic<int> failures{0};
  std::vector<std::thread> writers;
  for (int w = 0; w < kWriters; ++w) {
    writers.emplace_back([&, w] {
      for (int i = 0; i < 20; ++i)
        if (!Files().WriteFileAtomically(target, contents[w].data(), contents[w].size()))
          failures.fetch_add(1);
    });
  }
  for (std::thread& writer : writers) writer.join();
  EXPECT_EQ(failures.load(), 0);
  std::string result = ReadWholeFile(target);
  EXPECT_NE(std::find(contents.begin(), contents.end(), result), contents.end());
  EXPECT_EQ(NamesIn(folder.path()), (std::set<std::string>{"same.dcm"}));
}

TEST(WriteFileAtomically, MissingFolderFails) {
  TempFolder folder;
  EXPECT_FALSE(Files().WriteFileAtomically(folder / "no/such/a.dcm", "x", 1));
  EXPECT_TRUE(NamesIn(folder.path()).empty());
}

// The rename onto a folder fails: the temporary file must not stay behind.
TEST(WriteFileAtomically, FailedRenameRemovesTheTemporaryFile) {
  TempFolder folder;
  folder.Touch("busy/inside");
  EXPECT_FALSE(Files().WriteFileAtomically(folder / "busy", "x", 1));
  EXPECT_EQ(NamesIn(folder.path()), (std::set<std::string>{"busy"}));
}

// A write cut short (here by the file size limit, as a full disk would) must report false, keep
// the old file as it was and remove the temporary file.
TEST(WriteFileAtomically, ShortWriteFailsAndKeepsTheOldFile) {
  TempFolder folder;
  std::string target = folder / "a.dcm";
  ASSERT_TRUE(Files().WriteFileAtomically(target, "old", 3));
  const std::string big(64 * 1024, 'b');

  auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  rlimit small = saved;
  small.rlim_cur = 4096;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  bool written = Files().WriteFileAtomically(target, big.data(), big.size());
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_FALSE(written);
  EXPECT_EQ(ReadWholeFile(target), "old");
  EXPECT_EQ(NamesIn(folder.path()), (std::set<std::string>{"a.dcm"}));
}

// Pieces smaller and larger than the writer's buffer, and lengths filled in afterwards both in
// what is already in the file and in what is still buffered, give the bytes in order.
TEST(FileWriter, PiecesAndOverwritesLandInOrder) {
  TempFolder folder;
  std::string expected;
  FileWriter file(folder / "a.dcm");
  auto append = [&](const std::string& piece) {
    file.Append(piece.data(), piece.size());
    expected += piece;
  };
  append("head");
  for (int i = 0; i < 3000; ++i) append(std::to_string(i) + ",");  // crosses the buffer
  append(std::string(200000, 'L'));                                // larger than the buffer
  append("tail");
  EXPECT_EQ(file.Size(), expected.size());
  file.Overwrite(0, "HEAD", 4);                    // long since in the file
  file.Overwrite(expected.size() - 4, "TAIL", 4);  // still buffered
  expected.replace(0, 4, "HEAD");
  expected.replace(expected.size() - 4, 4, "TAIL");
  EXPECT_TRUE(file.ok());
  EXPECT_TRUE(NamesIn(folder.path()).size() == 1 && !fs::exists(folder / "a.dcm"));
  ASSERT_TRUE(file.Commit());
  EXPECT_TRUE(file.placed());
  EXPECT_EQ(ReadWholeFile(folder / "a.dcm"), expected);
  EXPECT_EQ(NamesIn(folder.path()), (std::set<std::string>{"a.dcm"}));
  // Past the end is a caller's fault, and fails the writer.
  FileWriter other(folder / "b.dcm");
  other.Append("abc", 3);
  other.Overwrite(2, "xy", 2);
  EXPECT_FALSE(other.ok());
  EXPECT_FALSE(other.Commit());
}

// The real file layer with one step failing.
class StepFailingFiles : public FileSystem {
 public:
  std::string failing;
  int CreateTemporary(const std::string& path, std::string& temporary) override {
    return failing == "create" ? -1 : FileSystem::CreateTemporary(path, temporary);
  }
  bool WriteAt(int fd, uint64_t offset, const void* bytes, size_t count) override {
    return failing != "write" && FileSystem::WriteAt(fd, offset, bytes, count);
  }
  int Flush(int fd) override { return failing == "flush" ? EIO : FileSystem::Flush(fd); }
  int Close(int fd) override {
    const int closed = FileSystem::Close(fd);
    return failing == "close" ? EIO : closed;
  }
  int Rename(const std::string& from, const std::string& to) override {
    return failing == "rename" ? EXDEV : FileSystem::Rename(from, to);
  }
  int FlushFolder(const std::string& path) override {
    return failing == "folder" ? EIO : FileSystem::FlushFolder(path);
  }
};

// Every step's failure fails the write and leaves no temporary file. The old file stays, except
// when only the folder's flush failed: the new file is then in place, and the writer says so.
TEST(FileWriter, EveryFailingStepFailsTheWriteAndLeavesNoTemporary) {
  const struct {
    const char* step;
    bool placed;
  } cases[] = {{"create", false}, {"write", false},  {"flush", false},
               {"close", false},  {"rename", false}, {"folder", true}};
  const std::string content(100000, 'n');
  for (const auto& c : cases) {
    TempFolder folder;
    const std::string target = folder / "a.dcm";
    ASSERT_TRUE(Files().WriteFileAtomically(target, "old", 3));
    StepFailingFiles files;
    files.failing = c.step;
    {
      FileWriter file(target, files);
      file.Append(content.data(), content.size());
      file.Append("!", 1);
      EXPECT_FALSE(file.Commit()) << c.step;
      EXPECT_EQ(file.placed(), c.placed) << c.step;
    }
    EXPECT_EQ(ReadWholeFile(target), c.placed ? content + "!" : "old") << c.step;
    EXPECT_EQ(NamesIn(folder.path()), (std::set<std::string>{"a.dcm"})) << c.step;
  }
}

// The real file layer, recording every write and every writeback hint, and failing the write
// numbered failWrite (counted from 1; 0 never).
class RecordingFiles : public FileSystem {
 public:
  struct Range {
    uint64_t offset, count;
  };
  std::vector<Range> writes, hints;
  size_t failWrite = 0;
  bool WriteAt(int fd, uint64_t offset, const void* bytes, size_t count) override {
    writes.push_back({offset, count});
    return writes.size() != failWrite && FileSystem::WriteAt(fd, offset, bytes, count);
  }
  void StartWriteback(int fd, uint64_t offset, uint64_t count) override {
    hints.push_back({offset, count});
    FileSystem::StartWriteback(fd, offset, count);
  }
};

// Large pieces go to the file in slices. Pieces of sizes around the slice size, after a short
// head so the slices do not start on a round offset, land byte for byte; no write is larger
// than a slice, every write goes on where the one before ended, and the disk is asked to start
// only on bytes already written, each range once, in order.
TEST(FileWriter, LargePiecesLandWholeInBoundedSlices) {
  constexpr size_t kSlice = FileWriter::kSliceSize;
  // The last makes a file of more than kWritebackStep bytes.
  const size_t sizes[] = {64 * 1024, kSlice - 1, kSlice, kSlice + 1, 2 * kSlice + 7};
  static_assert(2 * (2 * kSlice + 7) >= FileWriter::kWritebackStep);
  for (const size_t size : sizes) {
    TempFolder folder;
    std::string piece(size, '\0');
    for (size_t i = 0; i < size; ++i) piece[i] = static_cast<char>(i * 7 + i / 251);
    const std::string expected = "head" + piece + piece + "tail";
    RecordingFiles files;
    FileWriter file(folder / "a.dcm", files);
    file.Append("head", 4);
    file.Append(piece.data(), piece.size());
    file.Append(piece.data(), piece.size());
    file.Append("tail", 4);
    ASSERT_TRUE(file.Commit()) << size;
    EXPECT_TRUE(ReadWholeFile(folder / "a.dcm") == expected) << size;  // no diff of megabytes
    uint64_t end = 0;
    for (const auto& w : files.writes) {
      EXPECT_LE(w.count, kSlice) << size;
      EXPECT_EQ(w.offset, end) << size;
      end = w.offset + w.count;
    }
    EXPECT_EQ(end, expected.size()) << size;
    uint64_t hinted = 0;
    for (const auto& h : files.hints) {
      EXPECT_EQ(h.offset, hinted) << size;
      hinted = h.offset + h.count;
    }
    EXPECT_LE(hinted, expected.size()) << size;
    EXPECT_EQ(files.hints.empty(), expected.size() < FileWriter::kWritebackStep) << size;
  }
}

// A write that fails in the middle of a large piece fails the writer: nothing more is written,
// the old file stays and no temporary file is left.
TEST(FileWriter, FailedSliceFailsTheWriteAndKeepsTheOldFile) {
  TempFolder folder;
  const std::string target = folder / "a.dcm";
  ASSERT_TRUE(Files().WriteFileAtomically(target, "old", 3));
  const std::string piece(3 * FileWriter::kSliceSize, 'p');
  RecordingFiles files;
  files.failWrite = 2;
  {
    FileWriter file(target, files);
    file.Append(piece.data(), piece.size());
    file.Append(piece.data(), piece.size());
    EXPECT_FALSE(file.ok());
    EXPECT_FALSE(file.Commit());
  }
  EXPECT_EQ(files.writes.size(), 2u);
  EXPECT_EQ(ReadWholeFile(target), "old");
  EXPECT_EQ(NamesIn(folder.path()), (std::set<std::string>{"a.dcm"}));
}

TEST(FileWriter, TemporaryNamesAreRecognisedAndNoOthers) {
  TempFolder folder;
  std::string temporary;
  const int fd = Files().CreateTemporary(folder / "1.2.3.dcm", temporary);
  ASSERT_GE(fd, 0);
  Files().Close(fd);
  const std::string made = fs::path(temporary).filename().string();
  EXPECT_EQ(made.rfind(".1.2.3.dcm.tmp", 0), 0u) << made;
  EXPECT_TRUE(IsTemporaryFileName(made)) << made;
  const struct {
    const char* name;
    bool temporary;
  } cases[] = {
      {".1.2.3.dcm.tmp4711-0", true},
      {".a.tmp.tmp1-22", true},
      {".x.tmp0-0", true},
      {"1.2.3.dcm", false},
      {"1.2.3.dcm.tmp4711-0", false},  // no leading dot
      {".tmp1-2", false},
      {"..tmp1-2", false},  // no file name
      {".notes.tmp", false},
      {".a.dcm.tmp12", false},
      {".a.dcm.tmp-3", false},
      {".a.dcm.tmp1-", false},
      {".a.dcm.tmp1-2x", false},
      {".a.dcm.tmpx1-2", false},
      {".incoming.tmp", false},
      {"", false},
  };
  for (const auto& c : cases) EXPECT_EQ(IsTemporaryFileName(c.name), c.temporary) << c.name;
}

// Only the temporaries themselves go: not files of other names, not links (whatever they are
// named), not what a link to a folder leads to, and never a folder.
TEST(RemoveTemporaryFiles, RemovesLeftoversAndNothingElse) {
  TempFolder folder;
  const std::vector<std::string> leftovers = {"store/.a.dcm.tmp1-2", "store/d/s/e/.b.dcm.tmp33-4"};
  const std::vector<std::string> kept = {"store/d/s/e/b.dcm", "store/d/s/e/.notes.tmp",
                                         "store/d/x.dcm.tmp1-2", "outside/.c.dcm.tmp5-6"};
  for (const std::string& path : leftovers) folder.Touch(path);
  for (const std::string& path : kept) folder.Touch(path);
  fs::create_directory(folder / "store/.f.dcm.tmp7-8");  // a folder named like one
  fs::create_symlink(folder / "outside", folder / "store/d/linked");
  fs::create_symlink(folder / "outside/.c.dcm.tmp5-6", folder / "store/d/.l.dcm.tmp9-9");
  EXPECT_EQ(RemoveTemporaryFiles(folder / "store"), leftovers.size());
  for (const std::string& path : leftovers) EXPECT_FALSE(fs::exists(folder / path)) << path;
  for (const std::string& path : kept) EXPECT_TRUE(fs::exists(folder / path)) << path;
  EXPECT_TRUE(fs::is_directory(folder / "store/.f.dcm.tmp7-8"));
  EXPECT_TRUE(fs::is_symlink(folder / "store/d/.l.dcm.tmp9-9"));
  EXPECT_EQ(RemoveTemporaryFiles(folder / "store/"), 0u);
  EXPECT_EQ(RemoveTemporaryFiles(folder / "missing"), 0u);
}

TEST(ReadFile, ReadsFilesAndRefusesTheRest) {
  TempFolder folder;
  std::string bytes("\0\x01\xff tail", 8);
  folder.Write("f", bytes);
  std::vector<uint8_t> out = {9, 9};
  ASSERT_TRUE(Files().ReadFile(folder / "f", out));
  EXPECT_EQ(std::string(out.begin(), out.end()), bytes);
  EXPECT_FALSE(Files().ReadFile(folder / "missing", out));
  EXPECT_TRUE(out.empty());
  EXPECT_FALSE(Files().ReadFile(folder.path(), out));  // a folder is not a file
  // Larger than one read, and a file whose size the system reports as 0 although it has text.
  std::string large(200000, 'x');
  for (size_t i = 0; i < large.size(); i += 7) large[i] = static_cast<char>(i);
  folder.Write("large", large);
  ASSERT_TRUE(Files().ReadFile(folder / "large", out));
  EXPECT_EQ(std::string(out.begin(), out.end()), large);
  ASSERT_TRUE(Files().ReadFile("/proc/self/status", out));
  EXPECT_EQ(std::string(out.begin(), out.begin() + 5), "Name:");
  EXPECT_EQ(out.back(), '\n');
}

TEST(ListDirectory, IncludesDotFilesAndReportsLinksAsLinks) {
  TempFolder folder;
  folder.Touch("list/.hidden");
  folder.Touch("list/plain.dcm");
  folder.Touch("list/sub/inner");
  folder.Touch("target/t");
  fs::create_symlink(folder / "target", folder / "list/dirlink");
  fs::create_symlink(folder / "nowhere", folder / "list/dangling");

  std::vector<DirEntry> entries;
  ASSERT_EQ(Files().ListDirectory(folder / "list", entries), 0);
  std::sort(entries.begin(), entries.end(),
            [](const DirEntry& a, const DirEntry& b) { return a.name < b.name; });
  struct Expected {
    const char* name;
    bool isDirectory;
    bool isLink;
  };
  const Expected expected[] = {{".hidden", false, false},
                               {"dangling", false, true},
                               {"dirlink", false, true},
                               {"plain.dcm", false, false},
                               {"sub", true, false}};
  ASSERT_EQ(entries.size(), std::size(expected));
  for (size_t i = 0; i < entries.size(); ++i) {
    EXPECT_EQ(entries[i].name, expected[i].name);
    EXPECT_EQ(entries[i].isDirectory, expected[i].isDirectory) << entries[i].name;
    EXPECT_EQ(entries[i].isLink, expected[i].isLink) << entries[i].name;
  }
  EXPECT_EQ(Files().ListDirectory(folder / "missing", entries), ENOENT);
  EXPECT_TRUE(entries.empty());
}

TEST(FileSystemCalls, StatCreateRemoveAndRename) {
  TempFolder folder;
  FileSystem& files = Files();
  folder.Touch("file");
  fs::create_directory(folder / "dir");
  fs::create_symlink(folder / "dir", folder / "dirlink");
  fs::create_symlink(folder / "nowhere", folder / "dangling");

  EXPECT_TRUE(files.Exists(folder / "file"));
  EXPECT_TRUE(files.Exists(folder / "dangling"));  // the link itself exists
  EXPECT_FALSE(files.Exists(folder / "missing"));
  EXPECT_TRUE(files.IsDirectory(folder / "dir"));
  EXPECT_FALSE(files.IsDirectory(folder / "dirlink"));
  EXPECT_FALSE(files.IsDirectory(folder / "file"));

  EXPECT_TRUE(files.CreateDirectories(folder / "a/b/c"));
  EXPECT_TRUE(fs::is_directory(folder / "a/b/c"));
  EXPECT_TRUE(files.CreateDirectories(folder / "a/b/c/"));     // already there
  EXPECT_FALSE(files.CreateDirectories(folder / "file/sub"));  // a file in the way
  EXPECT_FALSE(files.CreateDirectories(""));

  EXPECT_EQ(files.RemoveDirectory(folder / "a"), ENOTEMPTY);
  EXPECT_EQ(files.RemoveDirectory(folder / "a/b/c"), 0);
  EXPECT_EQ(files.RemoveDirectory(folder / "missing"), ENOENT);

  EXPECT_EQ(files.Unlink(folder / "dirlink"), 0);  // the link, not the folder it names
  EXPECT_TRUE(fs::is_directory(folder / "dir"));
  EXPECT_EQ(files.Unlink(folder / "missing"), ENOENT);
  EXPECT_EQ(files.Unlink(folder / "dir"), EISDIR);

  EXPECT_EQ(files.Rename(folder / "file", folder / "renamed"), 0);
  EXPECT_TRUE(fs::exists(folder / "renamed"));
  EXPECT_EQ(files.Rename(folder / "file", folder / "again"), ENOENT);
}

class CountingFiles : public FileSystem {
 public:
  bool Exists(const std::string&) override {
    ++calls;
    return true;
  }
  int calls = 0;
};

TEST(SetFiles, ReplacesAndRestoresTheFileLayer) {
  CountingFiles counting;
  SetFiles(&counting);
  EXPECT_TRUE(Files().Exists("/no/such/path"));
  EXPECT_EQ(counting.calls, 1);
  SetFiles(nullptr);
  EXPECT_FALSE(Files().Exists("/no/such/path"));
  EXPECT_EQ(counting.calls, 1);
}

}  // namespace
