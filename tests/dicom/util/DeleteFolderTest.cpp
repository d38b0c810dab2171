// DeleteFolder on a real temporary tree: extension matching, folders removed once empty, and
// links never followed, so a link to a folder outside the tree leaves that folder untouched.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <regex>
#include <set>
#include <string>

#include "dicom/util/DeleteFolder.h"
#include "dicom/util/Log.h"
#include "platform/Files.h"
#include "tests/support/TempFolder.h"

namespace fs = std::filesystem;

namespace {

// Every entry under `root`, relative, links listed but not entered.
std::set<std::string> TreeOf(const std::string& root) {
  std::set<std::string> entries;
  if (!fs::exists(fs::symlink_status(root))) return entries;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it)
    entries.insert(it->path().lexically_relative(root).string());
  return entries;
}

// store/ holds files of several extensions, dot-files, nested folders and two links that lead
// out of the store: one to a folder, one to a file.
class DeleteFolderTest : public ::testing::Test {
 protected:
  void SetUp() override { BuildStore(); }

  void BuildStore() {
    fs::remove_all(folder_ / "store");
    fs::remove_all(folder_ / "outside");
    for (const char* file :
         {"store/x.dcm", "store/x.DCM", "store/x.dcm.bak", "store/.hidden.dcm", "store/.profile",
          "store/noext", "store/sub/y.dcm", "store/sub/deeper/z.dcm", "store/keep/k.txt",
          "store/.dots/w.dcm", "outside/o.dcm", "outside/target.dcm"})
      folder_.Touch(file);
    fs::create_symlink(folder_ / "outside", folder_ / "store/link");
    fs::create_symlink(folder_ / "outside/target.dcm", folder_ / "store/l.dcm");
  }

  std::string Store() const { return folder_ / "store"; }

  TempFolder folder_;
};

struct DeleteCase {
  const char* extension;
  bool removeFolder;
  std::set<std::string> remaining;  // what stays under store/
  bool storeRemains;
};

const DeleteCase kDeleteCases[] = {
    // ".dcm": x.DCM and x.dcm.bak stay, the link named l.dcm goes (as a link), the folders
    // emptied by the deletion go, keep/ and store/ itself stay.
    {".dcm",
     false,
     {"x.DCM", "x.dcm.bak", ".profile", "noext", "keep", "keep/k.txt", "link"},
     true},
    // removeFolder only adds store/ itself, which still holds files, so it stays.
    {".dcm", true, {"x.DCM", "x.dcm.bak", ".profile", "noext", "keep", "keep/k.txt", "link"}, true},
    {".DCM",
     false,
     {"x.dcm", "x.dcm.bak", ".hidden.dcm", ".profile", "noext", "sub", "sub/y.dcm", "sub/deeper",
      "sub/deeper/z.dcm", "keep", "keep/k.txt", ".dots", ".dots/w.dcm", "link", "l.dcm"},
     true},
    {".bak",
     false,
     {"x.dcm", "x.DCM", ".hidden.dcm", ".profile", "noext", "sub", "sub/y.dcm", "sub/deeper",
      "sub/deeper/z.dcm", "keep", "keep/k.txt", ".dots", ".dots/w.dcm", "link", "l.dcm"},
     true},
    // "*": every file and link goes, then every folder, store/ itself only when asked.
    {"*", false, {}, true},
    {"*", true, {}, false},
};

TEST_F(DeleteFolderTest, ByExtension) {
  for (const DeleteCase& c : kDeleteCases) {
    SCOPED_TRACE(std::string(c.extension) + (c.removeFolder ? " removing" : " keeping"));
    BuildStore();
    DeleteFolder(Store(), c.extension, c.removeFolder);
    EXPECT_EQ(fs::exists(fs::symlink_status(Store())), c.storeRemains);
    EXPECT_EQ(TreeOf(Store()), c.remaining);
    // Nothing outside the store is touched through its links.
    EXPECT_EQ(TreeOf(folder_ / "outside"), (std::set<std::string>{"o.dcm", "target.dcm"}));
  }
}

TEST_F(DeleteFolderTest, PathWithTrailingSlash) {
  DeleteFolder(Store() + "/", "*", true);
  EXPECT_FALSE(fs::exists(fs::symlink_status(Store())));
  EXPECT_EQ(TreeOf(folder_ / "outside"), (std::set<std::string>{"o.dcm", "target.dcm"}));
}

TEST_F(DeleteFolderTest, EmptyPathOrMissingFolderDoesNothing) {
  DeleteFolder("", "*", true);
  DeleteFolder(folder_ / "missing", "*", true);
  EXPECT_EQ(TreeOf(Store()).size(), 16u);
}

TEST_F(DeleteFolderTest, PumpRunsAfterEveryEntry) {
  TempFolder small;
  small.Touch("a.dcm");
  small.Touch("b.txt");
  small.Touch("sub/c.dcm");
  int pumped = 0;
  // store: a.dcm, b.txt, sub; sub: c.dcm.
  DeleteFolder(small.path(), ".dcm", false, [&pumped] { ++pumped; });
  EXPECT_EQ(pumped, 4);
  EXPECT_EQ(TreeOf(small.path()), (std::set<std::string>{"b.txt"}));
}

// A file layer whose unlink fails for one name, as a locked or read-only file would; the tests
// may run as root, where real permissions never refuse.
class RefusingFiles : public FileSystem {
 public:
  int Unlink(const std::string& path) override {
    if (path.size() >= 11 && path.compare(path.size() - 11, 11, "/locked.dcm") == 0) return EACCES;
    return FileSystem::Unlink(path);
  }
};

// A file that cannot be deleted is logged with its name and the error code, and the rest of the
// folder is still deleted; the folder holding it stays.
TEST_F(DeleteFolderTest, FailedDeletionIsLoggedAndTheWalkGoesOn) {
  folder_.Touch("store/sub/locked.dcm");
  std::string logFile = folder_ / "delete.log";
  LogInit(logFile, "", "");
  RefusingFiles refusing;
  SetFiles(&refusing);
  DeleteFolder(Store(), ".dcm", true);
  SetFiles(nullptr);
  LogFree();
  std::string log = ReadWholeFile(logFile);
  EXPECT_TRUE(std::regex_match(
      log, std::regex(R"(\d\d:\d\d:\d\d, Error deleting: locked\.dcm, 0000000D\n)")))
      << log;
  EXPECT_EQ(TreeOf(Store() + "/sub"), (std::set<std::string>{"locked.dcm"}));
  EXPECT_FALSE(fs::exists(Store() + "/x.dcm"));
}

}  // namespace
