// StoreExecute in-process: the refusals of unsafe or incomplete objects, and the failures of
// writing, registering and renaming, after each of which an Objects row and its file exist
// together or not at all. Failures are injected through the file layer, so they also happen
// when the tests run as root.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "db/Register.h"
#include "db/SQLdb.h"
#include "db/StoreNames.h"
#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"
#include "net/Dimse.h"
#include "net/server/Services.h"
#include "platform/Files.h"
#include "tests/net/server/ServerFixture.h"
#include "tests/support/FlushFailingFiles.h"
#include "tests/support/StoreKeyCases.h"

namespace {
constexpr const char* kUid = "1.2.826.0.1.3680043.8.498.9.2.1";

// What writing the object throws, as a library below might.
enum class WriteThrows { Nothing, Message, EmptyMessage, NotAnException };

// The real file layer, except that writing the object, flushing it or its folder, or renaming
// it into place can fail.
class FailingFiles : public FlushFailingFiles {
 public:
  bool failWrite = false;
  bool failRename = false;
  WriteThrows writeThrows = WriteThrows::Nothing;
  bool WriteAt(int fd, uint64_t offset, const void* bytes, size_t count) override {
    switch (writeThrows) {
      case WriteThrows::Nothing:
        break;
      case WriteThrows::Message:
        throw std::runtime_error("disk\nfull");
      case WriteThrows::EmptyMessage:
        throw std::runtime_error("");
      case WriteThrows::NotAnException:
        throw 28;
    }
    return !failWrite && FileSystem::WriteAt(fd, offset, bytes, count);
  }
  int Rename(const std::string& from, const std::string& to) override {
    const bool intoPlace = to.size() > 4 && to.compare(to.size() - 4, 4, ".dcm") == 0;
    return failRename && intoPlace ? EACCES : FileSystem::Rename(from, to);
  }
};

class StoreExecuteTest : public ServerFixture {
 protected:
  void TearDown() override {
    SetFiles(nullptr);
    ServerFixture::TearDown();
  }
  int32_t StoreObject(const std::string& sopUid = kUid) {
    DcmObj object;
    FillTestEcg(object, sopUid);
    return StoreExecute(object, Store(), "TESTSCU");
  }
  size_t ObjectRows() const { return EcgRows("SELECT SOPInstanceUID FROM Objects").size(); }
  // Where the test object goes in an empty database: the CRC-named folders of its study date.
  std::string NewObjectPath() const {
    DcmObj object;
    FillTestEcg(object, kUid);
    return Store() + "20240102/" + MakeStudyFolderName(object) + "/" +
           MakeSeriesFolderName(object) + "/" + kUid + ".dcm";
  }
  bool HasLine(const std::string& line) const { return LogText().find(line) != std::string::npos; }
  FailingFiles files_;
};

TEST_F(StoreExecuteTest, UnsafeOrIncompleteObjectsAreRefusedAndNothingIsStored) {
  const struct {
    uint16_t group, element;
    const char* value;
    const char* line;
  } cases[] = {
      {0x0010, 0x0020, "", "ERROR, PatientID is empty for DOE JOHN"},
      {0x0008, 0x0018, "", "ERROR, SOPInstanceUID is empty for DOE JOHN"},
      {0x0020, 0x000D, "", "ERROR, StudyInstanceUID is empty for DOE JOHN"},
      {0x0020, 0x000E, " ", "ERROR, SeriesInstanceUID is empty for DOE JOHN"},
      {0x0008, 0x0018, ".", "ERROR, StoreExecute, invalid path component: ., DOE JOHN"},
      {0x0008, 0x0020, "2024'0102", "ERROR, StoreExecute, invalid path component: 2024'0102"},
      {0x0008, 0x0018, "1.2/../../x", "ERROR, StoreExecute, invalid path component: 1.2/../../x"},
      {0x0008, 0x0018, "1.2.3a", "ERROR, StoreExecute, invalid path component: 1.2.3a"},
      {0x0008, 0x0018, "1.22222222222222222222222222222222222222222222222222222222222222222",
       "invalid path component: 1.2222222222"},
      {0x0008, 0x0020, "..", "ERROR, StoreExecute, invalid path component: .., DOE JOHN"},
      {0x0008, 0x0020, "a\\b", "ERROR, StoreExecute, invalid path component: a\\b"},
      {0x0008, 0x0020, "2024/01", "ERROR, StoreExecute, invalid path component: 2024/01"},
      {0x0008, 0x0020, ".", "ERROR, StoreExecute, invalid path component: ., DOE JOHN"},
  };
  for (const auto& c : cases) {
    DcmObj object;
    FillTestEcg(object, kUid);
    object.SetString(c.group, c.element, c.value);
    EXPECT_EQ(StoreExecute(object, Store(), "TESTSCU"), kStatusRefusedNoPatientId) << c.value;
    EXPECT_TRUE(HasLine(c.line)) << c.line;
  }
  EXPECT_EQ(ObjectRows(), 0u);
  EXPECT_TRUE(StoredFiles().empty());
}

TEST_F(StoreExecuteTest, FailedWriteRegistersNothing) {
  files_.failWrite = true;
  SetFiles(&files_);
  EXPECT_EQ(StoreObject(), kStatusSavingFailed);
  EXPECT_TRUE(HasLine("ERROR: StoreExecute, couldn't save file: "));
  EXPECT_EQ(ObjectRows(), 0u);
  EXPECT_TRUE(StoredFiles().empty());
}

// Objects used to be acknowledged before their bytes and their folder entries were on the disk,
// so a power loss a moment later took away an object reported as stored. A flush that fails
// is a failed save: whichever flush it is, nothing of the object stays, in no table and no file.
TEST_F(StoreExecuteTest, FailedFlushIsAFailedSaveAndKeepsNothing) {
  const std::string seriesFolder =
      std::filesystem::path(NewObjectPath()).parent_path().string() + "/";
  const struct {
    const char* step;
    bool file;
    std::string folder;
    bool folderExists;  // so the folder's flush after the rename is the first to fail
  } cases[] = {
      {"the file", true, "", false},
      {"a new folder's entry", false, Store() + "20240102/", false},
      {"the renamed file's entry", false, seriesFolder, true},
  };
  SetFiles(&files_);
  for (const auto& c : cases) {
    if (c.folderExists) std::filesystem::create_directories(seriesFolder);
    files_.failFileFlush = c.file;
    files_.failFolderFlush = c.folder;
    EXPECT_EQ(StoreObject(), kStatusSavingFailed) << c.step;
    EXPECT_TRUE(
        HasLine("ERROR: StoreExecute, couldn't save file: " + NewObjectPath() + ", DOE JOHN\n"))
        << c.step;
    for (const char* table : {"Study", "Series", "Objects"})
      EXPECT_TRUE(EcgRows(std::string("SELECT * FROM ") + table).empty()) << c.step << table;
    EXPECT_TRUE(StoredFiles().empty()) << c.step;
    std::filesystem::remove_all(Store() + "20240102");
  }
  // An object stored before keeps its row and its readable file when storing it again fails
  // to flush.
  files_.failFolderFlush.clear();
  files_.failFileFlush = false;
  ASSERT_EQ(StoreObject(), kStatusSuccess);
  const auto before = StoredFiles();
  ASSERT_EQ(before.size(), 1u);
  for (const bool file : {true, false}) {
    files_.failFileFlush = file;
    files_.failFolderFlush = file ? "" : seriesFolder;
    EXPECT_EQ(StoreObject(), kStatusSavingFailed) << file;
    EXPECT_EQ(ObjectRows(), 1u);
    EXPECT_EQ(StoredFiles(), before);
    DcmObj stored;
    EXPECT_TRUE(stored.Read(before[0]));
  }
}

// Whether the look-up before the file fails or the Objects insert after its rename, nothing of
// the object stays: no file, and (the registration being one transaction) no Study or Series
// row either.
TEST_F(StoreExecuteTest, FailedRegistrationLeavesNoFile) {
  const char* breakings[] = {
      "CREATE TRIGGER refuse BEFORE INSERT ON Objects BEGIN SELECT RAISE(ABORT, 'no'); END",
      "DROP TABLE Objects"};
  for (const char* breaking : breakings) {
    {
      SQLdb db("ecg", kOpenReadWrite);
      ASSERT_EQ(db.Exec(breaking), 0);
    }
    EXPECT_EQ(StoreObject(), kStatusRegistrationFailed) << breaking;
    EXPECT_TRUE(HasLine("ERROR: couldn't register image: " + NewObjectPath() + ", DOE JOHN\n"))
        << breaking;
    EXPECT_TRUE(StoredFiles().empty()) << breaking;
    for (const char* table : {"Study", "Series"})
      EXPECT_TRUE(EcgRows(std::string("SELECT * FROM ") + table).empty()) << breaking << table;
  }
  EXPECT_TRUE(HasLine("ERROR, RegisterDB:object.Insert "));
}

TEST_F(StoreExecuteTest, UnopenableDatabaseRegistersNothing) {
  const std::string database = Folder() + "database/ecg.db";
  std::filesystem::remove(database);
  std::filesystem::create_directory(database);  // a folder where the file should be
  EXPECT_EQ(StoreObject(), kStatusRegistrationFailed);
  EXPECT_TRUE(HasLine("ERROR, Couldn't open database"));
  // The folders cannot be looked up, so the line names the path by the CRC names.
  EXPECT_TRUE(HasLine("ERROR: couldn't register image: " + NewObjectPath() + ", DOE JOHN\n"));
  EXPECT_TRUE(StoredFiles().empty());
}

// An exception while writing is a failed save: its line carries the message when there is
// one, and neither a row nor a file (temporary or not) stays behind.
TEST_F(StoreExecuteTest, ExceptionWhileSavingIsLoggedAndLeavesNothing) {
  const struct {
    WriteThrows throws;
    const char* detail;
  } cases[] = {{WriteThrows::Message, ", disk.full"},
               {WriteThrows::EmptyMessage, ""},
               {WriteThrows::NotAnException, ""}};
  SetFiles(&files_);
  for (const auto& c : cases) {
    files_.writeThrows = c.throws;
    EXPECT_EQ(StoreObject(), kStatusSavingFailed) << c.detail;
    EXPECT_TRUE(HasLine("ERROR: Saving image, " + NewObjectPath() + c.detail + ", DOE JOHN\n"))
        << c.detail;
    EXPECT_EQ(ObjectRows(), 0u);
    EXPECT_TRUE(StoredFiles().empty());
  }
}

TEST_F(StoreExecuteTest, FailedRenameUndoesTheNewRowOnly) {
  files_.failRename = true;
  SetFiles(&files_);
  EXPECT_EQ(StoreObject(), kStatusSavingFailed);
  EXPECT_EQ(ObjectRows(), 0u);
  EXPECT_TRUE(StoredFiles().empty());

  // An object stored before keeps its row and its file when storing it again fails.
  files_.failRename = false;
  ASSERT_EQ(StoreObject(), kStatusSuccess);
  const auto before = StoredFiles();
  ASSERT_EQ(before.size(), 1u);
  files_.failRename = true;
  EXPECT_EQ(StoreObject(), kStatusSavingFailed);
  EXPECT_EQ(ObjectRows(), 1u);
  EXPECT_EQ(StoredFiles(), before);
  DcmObj stored;
  EXPECT_TRUE(stored.Read(before[0]));
}

TEST_F(StoreExecuteTest, StoredObjectGetsTheLayoutAndItsRow) {
  ASSERT_EQ(StoreObject(), kStatusSuccess);
  const auto files = StoredFiles();
  ASSERT_EQ(files.size(), 1u);
  const std::filesystem::path file(files[0]);
  EXPECT_EQ(file.filename(), std::string(kUid) + ".dcm");
  EXPECT_EQ(file.parent_path().parent_path().parent_path(),
            std::filesystem::path(Store()) / "20240102");
  EXPECT_EQ(file.parent_path().filename().string().size(), 8u);  // a CRC-32 folder name
  EXPECT_EQ(ObjectRows(), 1u);
}
TEST_F(StoreExecuteTest, PatientNameIsStoredWithBlanksForCarets) {
  const struct {
    const char* sent;
    const char* stored;
  } cases[] = {{"DOE^JOHN^^^", "DOE JOHN"}, {"^", ""}, {" ^ANN^ ", "ANN"}};
  int n = 0;
  for (const auto& c : cases) {
    DcmObj object;
    const std::string uid = std::string(kUid) + "." + std::to_string(++n);
    FillTestEcg(object, uid);
    object.SetString(0x0010, 0x0010, c.sent);
    ASSERT_EQ(StoreExecute(object, Store(), "TESTSCU"), kStatusSuccess) << c.sent;
    DcmObj stored;
    for (const std::string& file : StoredFiles()) {
      if (file.find(uid + ".dcm") != std::string::npos) {
        ASSERT_TRUE(stored.Read(file));
      }
    }
    EXPECT_EQ(stored.GetString(0x0010, 0x0010), c.stored) << c.sent;
    EXPECT_EQ(stored.GetString(0x0008, 0x0018), uid);
  }
}

// Associations storing one object and one new study at once. Each thread stores, round after
// round, a new object of its own series of the study, with an AccessionNumber of its own (so
// another study folder by its CRC name), then the one shared object; all of a thread's stores
// carry the patient P0 or P1. The first registration decides the study's patient and folder:
// every store of the other patient is refused with 0xC000, every other one succeeds, and rows
// and files agree on each object's place and identity, whichever store's flush finished first.
TEST_F(StoreExecuteTest, ParallelStoresOfOneObjectAndOneStudyKeepOneIdentity) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 4;
  std::atomic<int> unexpected{0};
  std::vector<std::vector<std::pair<std::string, int32_t>>> outcomes(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t, &outcomes, &unexpected, this] {
      RegistrationScope association;
      const std::string patient = "P" + std::to_string(t % 2);
      for (int round = 0; round < kRounds; ++round) {
        for (const bool same : {false, true}) {
          DcmObj object;
          const std::string series = std::string(kTestSeriesUid) + "." + std::to_string(t + 1);
          FillTestEcg(object, same ? kUid : series + "." + std::to_string(round + 1),
                      same ? kTestSeriesUid : series);
          object.SetString(0x0010, 0x0020, patient);
          if (!same) object.Insert(new DcmTag(0x0008, 0x0050, "ACC" + std::to_string(t), "SH"));
          const int32_t status = StoreExecute(object, Store(), "TESTSCU");
          if (status != kStatusSuccess && status != kStatusUnableToProcess) ++unexpected;
          outcomes[t].emplace_back(patient, status);
        }
      }
    });
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(unexpected.load(), 0);
  const std::vector<std::string> owner = EcgRows("SELECT PatientID FROM Study");
  ASSERT_EQ(owner.size(), 1u);
  const std::string winner = owner[0].substr(0, owner[0].find(';'));
  for (const auto& stores : outcomes)
    for (const auto& [patient, status] : stores)
      EXPECT_EQ(status, patient == winner ? kStatusSuccess : kStatusUnableToProcess) << patient;
  // The shared object and the winner's threads' own objects, one study folder for all.
  const std::set<std::string> identities = ExpectRowsAndFilesAgree(Folder());
  EXPECT_EQ(identities.size(), 1u + kThreads / 2 * kRounds);
  EXPECT_EQ(EcgRows("SELECT DISTINCT substr(SeriesPath, 1, 17) FROM Series").size(), 1u);
}

// The file layer, except that the stores meet before they flush their temporary files, so they
// all come to RegisterBusy at once, and the first folder flush (under RegisterBusy) lingers so
// that the others queue up behind it. Waits are bounded: a store that never comes lets the
// others go after a while.
class QueueingFiles : public FileSystem {
 public:
  explicit QueueingFiles(int stores) : stores_(stores) {}
  int Flush(int fd) override {
    ++arrived_;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (arrived_.load() < stores_ && std::chrono::steady_clock::now() < until)
      std::this_thread::yield();
    return FileSystem::Flush(fd);
  }
  int FlushFolder(const std::string& folder) override {
    if (!lingered_.exchange(true)) std::this_thread::sleep_for(std::chrono::milliseconds(300));
    return FileSystem::FlushFolder(folder);
  }

 private:
  const int stores_;
  std::atomic<int> arrived_{0};
  std::atomic<bool> lingered_{false};
};

// Stores that queue up at RegisterBusy are put into place and registered together, in one
// transaction, and come out as they would one after the other: a copy of an object within the
// group finds the rows the group made before it, and is refused when it names another series,
// and a registration that fails takes back only its own object.
TEST_F(StoreExecuteTest, StoresQueuedTogetherComeOutAsOneAfterTheOther) {
  const std::string failing = std::string(kUid) + ".9";
  const std::string otherSeries = std::string(kTestSeriesUid) + ".7";
  {
    SQLdb db("ecg", kOpenReadWrite);
    ASSERT_EQ(db.Exec("CREATE TRIGGER refuse BEFORE INSERT ON Objects WHEN NEW.SOPInstanceUID='" +
                      failing + "' BEGIN SELECT RAISE(ABORT, 'no'); END"),
              0);
  }
  // The three copies of kUid: those of the series registered first succeed, the other is
  // refused, in whichever order the group holds them.
  const struct {
    std::string sop;
    std::string series;
    int32_t status;
  } kStores[] = {
      {std::string(kUid) + ".1", kTestSeriesUid, kStatusSuccess},
      {kUid, kTestSeriesUid, 0},
      {kUid, kTestSeriesUid, 0},
      {kUid, otherSeries, 0},
      {failing, kTestSeriesUid, kStatusRegistrationFailed},
      {std::string(kUid) + ".2", kTestSeriesUid, kStatusSuccess},
  };
  constexpr int kCount = int(std::size(kStores));
  QueueingFiles files(kCount);
  SetFiles(&files);
  std::vector<int32_t> statuses(kCount, -1);
  std::vector<std::thread> threads;
  for (int i = 0; i < kCount; ++i)
    threads.emplace_back([&, i] {
      RegistrationScope association;
      DcmObj object;
      FillTestEcg(object, kStores[i].sop, kStores[i].series);
      statuses[size_t(i)] = StoreExecute(object, Store(), "TESTSCU");
    });
  for (auto& thread : threads) thread.join();
  SetFiles(nullptr);
  const std::vector<std::string> registered = EcgRows(
      "SELECT SeriesInstanceUID FROM Objects WHERE SOPInstanceUID='" + std::string(kUid) + "'");
  ASSERT_EQ(registered.size(), 1u);
  const std::string winner = registered[0].substr(0, registered[0].find(';'));
  for (int i = 0; i < kCount; ++i) {
    const int32_t expected = kStores[i].sop != kUid        ? kStores[i].status
                             : kStores[i].series == winner ? kStatusSuccess
                                                           : kStatusUnableToProcess;
    EXPECT_EQ(statuses[size_t(i)], expected) << i;
  }
  EXPECT_TRUE(
      HasLine("ERROR, SOPInstanceUID already stored for another study, series or "
              "patient: " +
              std::string(kUid)));
  EXPECT_EQ(ExpectRowsAndFilesAgree(Folder()).size(), 3u);
  EXPECT_TRUE(
      EcgRows("SELECT SOPInstanceUID FROM Objects WHERE SOPInstanceUID='" + failing + "'").empty());
}

// The real file layer, except that once `placing` is set the folder flushes are watched: how
// many are under way at once, and how many objects are registered (committed) while each runs,
// each lasting long enough for the others of its group to begin. Flushes of temporary files
// are counted, so a test knows when every store has written its object. One folder's flush may
// fail, or throw as a file layer below might.
class GroupFolderFiles : public FlushFailingFiles {
 public:
  explicit GroupFolderFiles(std::function<size_t()> committedObjects)
      : committedObjects_(std::move(committedObjects)) {}
  std::atomic<bool> placing{false};
  std::atomic<int> fileFlushes{0};
  bool throwInsteadOfFailing = false;

  int Flush(int fd) override {
    ++fileFlushes;
    return FlushFailingFiles::Flush(fd);
  }
  int FlushFolder(const std::string& folder) override {
    if (!placing) return FlushFailingFiles::FlushFolder(folder);
    const int now = ++inFlight_;
    for (int most = mostInFlight_; now > most && !mostInFlight_.compare_exchange_weak(most, now);) {
    }
    const size_t committed = committedObjects_();
    {
      std::lock_guard<std::mutex> guard(mutex_);
      committedDuringFlushes_.insert(committed);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    --inFlight_;
    if (throwInsteadOfFailing && folder == failFolderFlush) throw std::runtime_error("flush");
    return FlushFailingFiles::FlushFolder(folder);
  }
  int MostInFlight() const { return mostInFlight_; }
  std::set<size_t> CommittedDuringFlushes() {
    std::lock_guard<std::mutex> guard(mutex_);
    return committedDuringFlushes_;
  }

 private:
  std::function<size_t()> committedObjects_;
  std::atomic<int> inFlight_{0};
  std::atomic<int> mostInFlight_{0};
  std::mutex mutex_;
  std::set<size_t> committedDuringFlushes_;
};

// Stores that queue up behind RegisterBusy form one group: their folders go to the disk side by
// side, each flushed by its own store's thread, and the group commits only after all of them,
// so no object is registered while its folder entry may still be lost. When one folder's flush
// fails (or throws), the group commits nothing: its new objects leave no row and no file, and an
// object stored before (sent again in the group) keeps both.
TEST_F(StoreExecuteTest, GroupFlushesItsFoldersSideBySideBeforeItCommits) {
  ASSERT_EQ(StoreObject(), kStatusSuccess);  // sent again in each group
  const std::string series = std::string(kTestSeriesUid) + ".";
  const std::string uid = std::string(kUid) + ".";
  const struct {
    const char* what;
    const char* numbers;  // the new objects' SOP and series UIDs end in these, then 1, 2 and 3
    bool fails;           // the last new object's folder flush fails
    bool throws;          // and throws instead of reporting an error
  } kCases[] = {
      {"every folder flushed", "", false, false},
      {"one folder flush fails", "1", true, false},
      {"one folder flush throws", "2", true, true},
  };
  size_t stored = 1;
  for (const auto& c : kCases) {
    // The re-send of the first object, a new one in its series and two in series of their own.
    std::vector<std::pair<std::string, std::string>> stores{{kUid, kTestSeriesUid}};
    for (const char* last : {"1", "2", "3"}) {
      const std::string number = std::string(c.numbers) + last;
      stores.emplace_back(uid + number, *last == '1' ? kTestSeriesUid : series + number);
    }
    const size_t count = stores.size();
    const size_t failingStore = c.fails ? count - 1 : count;
    // A failing flush fails the whole group: the failing store could not save its file, the
    // others could not be registered.
    std::vector<int32_t> expected(count, c.fails ? kStatusRegistrationFailed : kStatusSuccess);
    if (c.fails) expected[failingStore] = kStatusSavingFailed;
    GroupFolderFiles files([this] { return ObjectRows(); });
    std::vector<DcmObj> objects(count);
    for (size_t i = 0; i < count; ++i) FillTestEcg(objects[i], stores[i].first, stores[i].second);
    std::string failingFile;
    if (c.fails) {
      const DcmObj& failing = objects[failingStore];
      failingFile = Store() + "20240102/" + MakeStudyFolderName(objects[0]) + "/" +
                    MakeSeriesFolderName(failing) + "/";
      files.failFolderFlush = failingFile;
      files.throwInsteadOfFailing = c.throws;
      failingFile += stores[failingStore].first + ".dcm";
    }
    SetFiles(&files);
    std::vector<int32_t> statuses(count, -1);
    std::vector<std::thread> threads;
    {
      // Every store writes its object and queues up while this holds RegisterBusy.
      std::lock_guard<std::recursive_timed_mutex> hold(RegisterBusy);
      for (size_t i = 0; i < count; ++i)
        threads.emplace_back([&, i] {
          RegistrationScope association;
          statuses[i] = StoreExecute(objects[i], Store(), "TESTSCU");
        });
      const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (size_t(files.fileFlushes.load()) < count && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      // Nothing shows a store queued behind RegisterBusy; after its file's flush it has only the
      // close and the queueing left, which this leaves ample time for.
      std::this_thread::sleep_for(std::chrono::milliseconds(300));
      files.placing = true;
    }
    for (auto& thread : threads) thread.join();
    SetFiles(nullptr);
    EXPECT_EQ(statuses, expected) << c.what;
    EXPECT_GE(files.MostInFlight(), 2) << c.what;
    EXPECT_EQ(files.CommittedDuringFlushes(), std::set<size_t>{stored}) << c.what;
    if (!c.fails) stored += count - 1;
    EXPECT_EQ(ExpectRowsAndFilesAgree(Folder()).size(), stored) << c.what;
    if (!failingFile.empty()) {
      EXPECT_TRUE(HasLine("ERROR: StoreExecute, couldn't save file: " + failingFile)) << c.what;
    }
  }
  DcmObj first;
  EXPECT_TRUE(first.Read(NewObjectPath()));
}

// A server killed while writing left its temporary file in the series folder, hidden, with no
// row, for good. The next start removes it before listening, and nothing else.
TEST_F(StoreExecuteTest, StartUpRemovesLeftoverTemporariesOnly) {
  server_->Stop();
  const std::string series = Store() + "20240102/0A1B2C3D/4E5F6071/";
  const std::string leftover = series + "." + kUid + ".dcm.tmp4711-3";
  const std::string foreign = series + ".notes.tmp";
  std::filesystem::create_directories(series);
  for (const std::string& path : {leftover, foreign}) std::ofstream(path) << "half";
  server_ = std::make_unique<ServerThread>();
  server_->portText = std::to_string(FreeLoopbackPort());
  server_->storeFolder = Store();
  server_->ownAeTitle = "TREVALIND";
  server_->Start();
  ASSERT_GT(server_->ListeningPort(), 0);
  EXPECT_FALSE(std::filesystem::exists(leftover));
  EXPECT_EQ(StoredFiles(), std::vector<std::string>{foreign});
  // Gone by the time the server listens, and counted on the line after the listen's own.
  const std::string log = LogText();
  const std::string listened = "Initialize port: " + server_->portText + "\n";
  const size_t next = log.rfind(listened);
  ASSERT_NE(next, std::string::npos) << log;
  const size_t from = next + listened.size();
  const std::string line = log.substr(from, log.find('\n', from) - from);
  const std::string removed = "INFO, Removed 1 leftover temporary files under " + Store();
  EXPECT_TRUE(line.size() > removed.size() &&
              line.compare(line.size() - removed.size(), removed.size(), removed) == 0)
      << log;
}
}  // namespace
