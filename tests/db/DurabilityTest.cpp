// The study database survives its writers' deaths: the journal mode of new and older
// databases, writers killed in the middle of their transactions, the indexes that searches key
// on, and the worklist database that the program never writes. The sqlite3 shell is the
// independent reader throughout.
#include <poll.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "db/LocalQuery.h"
#include "db/Register.h"
#include "db/SQLdb.h"
#include "db/StoreNames.h"
#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"
#include "tests/db/DbTestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;

const std::vector<std::string> kOlderIndexes = {"se_object_index", "series_index",
                                                "st_object_index"};
const std::vector<std::string> kAllIndexes = {
    "se_object_index",  "series_index",          "st_object_index",        "study_accession_index",
    "study_date_index", "study_patientid_index", "study_patientname_index"};

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class DurabilityTest : public DbTest {
 protected:
  std::vector<std::string> Indexes() {
    return Sqlite(
        "SELECT name FROM sqlite_master WHERE type='index' AND sql IS NOT NULL ORDER BY name");
  }
  std::string Count(const std::string& table) {
    const auto rows = Sqlite("SELECT COUNT(*) FROM " + table);
    return rows.empty() ? "none" : rows[0];
  }
  // `studies` studies of one series and one object each, in one transaction, with texts long
  // enough that rewriting them takes a while.
  void Fill(int studies) {
    SQLdb db("ecg", kOpenReadWrite);
    ASSERT_EQ(db.Exec("BEGIN"), 0);
    const std::string padding(120, 'x');
    // Patient names as registration stores them, carets as blanks.
    for (int n = 0; n < studies; ++n) {
      const std::string uid = "1.2.826.0.1.77." + std::to_string(n);
      ASSERT_EQ(
          db.Exec("INSERT INTO Study (StudyInstanceUID, StudyDate, StudyDescription, "
                  "PatientID, PatientName, AccessionNumber) VALUES (?, ?, ?, ?, ?, ?)",
                  {uid, "2024" + std::to_string(1000 + n % 900), padding, "PID" + std::to_string(n),
                   "PATIENT " + std::to_string(n), "ACC" + std::to_string(n)}),
          0);
      ASSERT_EQ(db.Exec("INSERT INTO Series (SeriesInstanceUID, SeriesDescription, "
                        "StudyInstanceUID) VALUES (?, ?, ?)",
                        {uid + ".1", padding, uid}),
                0);
      ASSERT_EQ(db.Exec("INSERT INTO Objects (SOPInstanceUID, SeriesInstanceUID, "
                        "StudyInstanceUID, ContentTime) VALUES (?, ?, ?, ?)",
                        {uid + ".1.1", uid + ".1", uid, padding}),
                0);
    }
    ASSERT_EQ(db.Exec("COMMIT"), 0);
  }
};

TEST_F(DurabilityTest, NewAndOlderDatabasesRunWithWriteAheadLogging) {
  const struct {
    const char* name;
    bool older;
    int openedWith;  // 0: not opened after it was made
    const char* journal;
    const std::vector<std::string>& indexes;
  } cases[] = {
      {"made by this version", false, 0, "wal", kAllIndexes},
      {"made before, opened read-write", true, kOpenReadWrite, "wal", kAllIndexes},
      // A reader cannot convert the file, and needs not: it reads the rollback journal's file.
      {"made before, opened read-only", true, kOpenReadOnly, "delete", kOlderIndexes},
  };
  for (const auto& c : cases) {
    Shell("rm -f '" + dbPath + "'*");
    if (c.older) {
      CreateOlderStudyDatabase();
      ASSERT_EQ(Sqlite("INSERT INTO Study (StudyInstanceUID) VALUES ('1.2.3')"),
                std::vector<std::string>{});
    } else {
      CreateStudyDatabase();
    }
    if (c.openedWith != 0) {
      SQLdb db("ecg", c.openedWith);
      std::vector<std::string> rows;
      EXPECT_EQ(db.Query("SELECT StudyInstanceUID FROM Study", rows), 0);
      EXPECT_EQ(rows, std::vector<std::string>{"1.2.3;"}) << c.name;
    }
    EXPECT_TRUE(TakeLog().empty()) << c.name;
    EXPECT_EQ(Sqlite("PRAGMA journal_mode"), std::vector<std::string>{c.journal}) << c.name;
    EXPECT_EQ(Indexes(), c.indexes) << c.name;
    EXPECT_EQ(Sqlite("PRAGMA integrity_check"), std::vector<std::string>{"ok"}) << c.name;
  }
}

// The profile hook sees each statement as it finishes; SQLite counts the steps of full table
// scans in it.
int LastFullScanSteps = -1;
int RecordFullScans(unsigned, void*, void* statement, void*) {
  LastFullScanSteps = sqlite3_stmt_status(static_cast<sqlite3_stmt*>(statement),
                                          SQLITE_STMTSTATUS_FULLSCAN_STEP, 0);
  return 0;
}

// A STUDY search by Patient ID on 100,000 studies used to read every row: there was no index,
// and the prefix LIKE of Patient ID and Patient Name compares without case, which an index of
// the default collation cannot serve.
TEST_F(DurabilityTest, StudySearchesOfAnOlderDatabaseUseItsNewIndexes) {
  CreateOlderStudyDatabase();
  Fill(200);
  { SQLdb converter("ecg", kOpenReadWrite); }
  const struct {
    uint16_t group, element;
    const char* value;
    size_t rows;
    bool scans;
  } cases[] = {
      {0x0010, 0x0020, "pid199", 1, false},  // a prefix, in any case: PID199
      {0x0010, 0x0020, "PID12*", 11, false},
      {0x0010, 0x0010, "PATIENT^199", 1, false},
      {0x0008, 0x0020, "20241005", 1, false},
      {0x0008, 0x0020, "20241100-20241102", 3, false},
      {0x0008, 0x0050, "ACC7", 1, false},
      {0x0008, 0x1030, "x", 200, true},  // a "contains" match has to read every row
  };
  SQLdb db("ecg", kOpenReadOnly);
  sqlite3_trace_v2(db.handle, SQLITE_TRACE_PROFILE, RecordFullScans, nullptr);
  for (const auto& c : cases) {
    DcmObj identifier;
    identifier.Add(new DcmTag(c.group, c.element, std::string(c.value)));
    identifier.Add(new DcmTag(0x0020, 0x000D, std::string()));
    std::vector<std::string> rows;
    std::string columns;
    int count = 0;
    LastFullScanSteps = -1;
    EXPECT_TRUE(QueryStudyDB(db, identifier, rows, columns, count)) << c.value;
    EXPECT_EQ(rows.size(), c.rows) << c.value;
    ASSERT_GE(LastFullScanSteps, 0) << c.value;
    EXPECT_EQ(LastFullScanSteps > 0, c.scans) << c.value << ": " << LastFullScanSteps;
  }
}

// The worklist and user database belongs to another program: opening it, read-only for the
// Users look-up or read-write for the worklist query, neither changes its file nor its journal
// mode, nor leaves files of its own beside it.
TEST_F(DurabilityTest, TheWorklistDatabaseIsNeverWritten) {
  const std::string path = folder + "database/vesmora.db";
  const struct {
    const char* journal;
    int flags;
  } cases[] = {{"delete", kOpenReadOnly},
               {"delete", kOpenReadWrite},
               {"wal", kOpenReadOnly},
               {"wal", kOpenReadWrite}};
  for (const auto& c : cases) {
    Shell("rm -f '" + path + "'*");
    ASSERT_EQ(ShellOutput("sqlite3 '" + path + "' \"PRAGMA journal_mode=" + c.journal +
                          "; CREATE TABLE Users (UserName VARCHAR(64)); INSERT INTO Users VALUES "
                          "('NODE1');\""),
              std::string(c.journal) + "\n");
    const std::string before = ReadBytes(path);
    {
      SQLdb db("vesmora", c.flags);
      ASSERT_TRUE(db.isOpen);
      std::vector<std::string> rows;
      EXPECT_EQ(db.Query("SELECT * FROM Users", rows), 0);
      EXPECT_EQ(rows, std::vector<std::string>{"NODE1;"});
    }
    EXPECT_TRUE(TakeLog().empty());
    EXPECT_TRUE(ReadBytes(path) == before) << c.journal << " " << c.flags << ": the file changed";
    EXPECT_EQ(ShellOutput("sqlite3 '" + path + "' 'PRAGMA journal_mode'"),
              std::string(c.journal) + "\n");
    if (std::string(c.journal) == "delete") {
      EXPECT_FALSE(FileExists(path + "-wal")) << c.flags;
      EXPECT_FALSE(FileExists(path + "-shm")) << c.flags;
      EXPECT_FALSE(FileExists(path + "-journal")) << c.flags;
    }
  }
}

// What a killed child was doing: VACUUM after VACUUM on one connection, as Delete Study runs
// it; transactions of kBurst inserts each, on a connection whose cache holds far less than one
// transaction, as a large database's would (so pages of an unfinished transaction go to disk
// before its commit); registration after registration on one kept connection, as an
// association makes them, each of a new study (so each inserts a Study, a Series and an Objects
// row); or one such registration that the child itself ends at its Objects insert, after its
// Study and Series inserts and before its commit.
enum class Work { Vacuum, InsertBursts, Registrations, KilledAtObjectsInsert };
constexpr int kBurst = 2000;

// One transaction of kBurst new studies named after `tag`.
bool InsertBurst(SQLdb& db, const std::string& tag) {
  if (db.Exec("BEGIN") != 0) return false;
  for (int n = 0; n < kBurst; ++n) {
    if (db.Exec("INSERT INTO Study (StudyInstanceUID, PatientName, StudyDescription) VALUES "
                "(?, ?, ?)",
                {"1.2.826.0.1.79." + tag + "." + std::to_string(n), "BURST^" + std::to_string(n),
                 std::string(120, 'b')}) != 0)
      return false;
  }
  return db.Exec("COMMIT") == 0;
}

void KillAtObjectsInsert(void*, int operation, const char*, const char* table, sqlite3_int64) {
  if (operation == SQLITE_INSERT && std::string(table) == "Objects") raise(SIGKILL);
}

// Installed on every connection the process opens from then on.
int InstallKillAtObjectsInsert(sqlite3* db, char**, const sqlite3_api_routines*) {
  sqlite3_update_hook(db, KillAtObjectsInsert, nullptr);
  return SQLITE_OK;
}

// The child's work until it is killed. A byte goes down the pipe before each VACUUM or insert
// transaction, after each registration, and before the registration that ends at its Objects
// insert.
[[noreturn]] void WorkUntilKilled(Work work, int pipe) {
  const std::string pid = std::to_string(getpid());
  if (work == Work::KilledAtObjectsInsert) {
    sqlite3_auto_extension(reinterpret_cast<void (*)()>(InstallKillAtObjectsInsert));
    if (write(pipe, "k", 1) != 1) _exit(1);
    work = Work::Registrations;
  }
  if (work == Work::Registrations) {
    RegistrationScope association;
    for (int n = 1;; ++n) {
      const std::string study = "1.2.826.0.1.78." + pid + "." + std::to_string(n);
      DcmObj object;
      MakeObject(object, study, study + ".1", study + ".1.1");
      if (!RegisterinDB("PEER", object, "20240105", MakeStudyFolderName(object),
                        MakeSeriesFolderName(object)) ||
          write(pipe, "r", 1) != 1)
        _exit(1);
    }
  }
  SQLdb db("ecg", kOpenReadWrite);
  if (work == Work::InsertBursts && db.Exec("PRAGMA cache_size = 16") != 0) _exit(1);
  for (int n = 1;; ++n) {
    if (write(pipe, "w", 1) != 1) _exit(1);
    const bool done = work == Work::Vacuum ? db.Exec("VACUUM") == 0
                                           : InsertBurst(db, pid + "." + std::to_string(n));
    if (!done) _exit(1);
  }
}

// Bytes that arrive on `pipe` within `timeout`; stops at the end of the stream.
int ReadBytesFor(int pipe, std::chrono::milliseconds timeout, int atMost) {
  int got = 0;
  const auto end = Clock::now() + timeout;
  while (got < atMost && Clock::now() < end) {
    pollfd wait{pipe, POLLIN, 0};
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
    if (poll(&wait, 1, std::max(static_cast<int>(left.count()), 1)) <= 0) continue;
    char bytes[64];
    const ssize_t n = read(pipe, bytes, std::min<int>(sizeof bytes, atMost - got));
    if (n <= 0) break;
    got += static_cast<int>(n);
  }
  return got;
}

// A writer dying in the middle of a transaction used to leave a corrupt index: with the journal
// in memory and synchronous OFF, a kill during VACUUM left "freelist leaf count too big" or
// "Rowid out of order" behind, and every study vanished from the browser, C-FIND and C-MOVE at
// once.
TEST_F(DurabilityTest, WritersKilledMidTransactionLeaveTheIndexWhole) {
  constexpr int kStudies = 3000;
  constexpr int kKills = 6;
  CreateStudyDatabase();
  Fill(kStudies);
  // One run of each transaction timed here, only to spread the kills over its length.
  double vacuumMs = 0;
  double burstMs = 0;
  {
    SQLdb db("ecg", kOpenReadWrite);
    ASSERT_EQ(db.Exec("PRAGMA cache_size = 16"), 0);
    auto start = Clock::now();
    ASSERT_EQ(db.Exec("VACUUM"), 0);
    vacuumMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    start = Clock::now();
    ASSERT_TRUE(InsertBurst(db, "timing"));
    burstMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  }
  RecordProperty("vacuum_ms", std::to_string(vacuumMs));
  RecordProperty("burst_ms", std::to_string(burstMs));
  int studies = kStudies + kBurst;
  int objects = kStudies;
  for (Work work :
       {Work::Vacuum, Work::InsertBursts, Work::Registrations, Work::KilledAtObjectsInsert}) {
    const int kills = work == Work::KilledAtObjectsInsert ? 1 : kKills;
    for (int moment = 1; moment <= kills; ++moment) {
      const char* names[] = {"VACUUM", "insert transaction", "registrations",
                             "registration killed at its Objects insert"};
      const std::string label =
          std::string(names[static_cast<int>(work)]) + ", kill " + std::to_string(moment);
      int pipes[2];
      ASSERT_EQ(pipe(pipes), 0);
      const pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        close(pipes[0]);
        WorkUntilKilled(work, pipes[1]);
      }
      close(pipes[1]);
      ASSERT_EQ(ReadBytesFor(pipes[0], std::chrono::seconds(60), 1), 1) << label;
      const double lengthMs = work == Work::Vacuum         ? vacuumMs
                              : work == Work::InsertBursts ? burstMs
                                                           : 4.0 * kKills;
      int reported = 1;
      if (work == Work::KilledAtObjectsInsert)  // until it ends by itself, within bounds
        reported += ReadBytesFor(pipes[0], std::chrono::seconds(30), 1 << 30);
      else
        std::this_thread::sleep_for(
            std::chrono::duration<double, std::milli>(lengthMs * (moment - 0.5) / kKills));
      kill(child, SIGKILL);
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFSIGNALED(status)) << label << ": the child ended by itself";
      reported += ReadBytesFor(pipes[0], std::chrono::seconds(5), 1 << 30);
      close(pipes[0]);

      EXPECT_EQ(Sqlite("PRAGMA integrity_check"), std::vector<std::string>{"ok"}) << label;
      // A registration cut off anywhere leaves its rows whole or none of them (the bursts insert
      // lone Study rows on purpose).
      EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Study WHERE StudyInstanceUID LIKE '1.2.826.0.1.78.%' "
                       "AND StudyInstanceUID NOT IN (SELECT StudyInstanceUID FROM Objects)"),
                std::vector<std::string>{"0"})
          << label << ": a Study row without its object";
      EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Series WHERE SeriesInstanceUID NOT IN "
                       "(SELECT SeriesInstanceUID FROM Objects)"),
                std::vector<std::string>{"0"})
          << label << ": a Series row without its object";
      const int studiesNow = std::stoi(Count("Study"));
      const int objectsNow = std::stoi(Count("Objects"));
      switch (work) {
        case Work::Vacuum:
          EXPECT_EQ(studiesNow, studies) << label;
          EXPECT_EQ(objectsNow, objects) << label;
          break;
        case Work::InsertBursts:
          // Whole transactions only: every one begun but the last has committed.
          EXPECT_GE(studiesNow - studies, (reported - 1) * kBurst) << label;
          EXPECT_LE(studiesNow - studies, reported * kBurst) << label;
          EXPECT_EQ((studiesNow - studies) % kBurst, 0) << label;
          break;
        case Work::Registrations:
          // Every registration reported is there; the one under way at the kill may be too.
          EXPECT_GE(objectsNow, objects + reported) << label;
          EXPECT_LE(objectsNow, objects + reported + 1) << label;
          break;
        case Work::KilledAtObjectsInsert:
          EXPECT_EQ(reported, 1) << label << ": it got past its Objects insert";
          EXPECT_EQ(studiesNow, studies) << label;
          EXPECT_EQ(objectsNow, objects) << label;
          break;
      }
      studies = studiesNow;
      objects = objectsNow;
    }
  }
}

}  // namespace
