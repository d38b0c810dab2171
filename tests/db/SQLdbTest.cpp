// The connection: open modes, the row-text format, bound values, and the busy policy against
// a separate process that holds the database locked.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "db/LocalQuery.h"
#include "db/SQLdb.h"
#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"
#include "tests/db/DbTestSupport.h"

namespace {

class SQLdbTest : public DbTest {
 protected:
  // Starts hold_lock.py on ecg.db and waits until it holds the lock; a holder started before
  // releases its lock first.
  void HoldLock(double seconds) {
    const std::string ready = folder + "locked";
    const std::string pidFile = folder + "holder.pid";
    for (int i = 0; i < 1500 && holder_ > 0 && FileExists(ready); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::remove(ready.c_str());
    const std::string command = std::string("/usr/bin/python3 ") + DB_TEST_SCRIPTS +
                                "/hold_lock.py '" + dbPath + "' " + std::to_string(seconds) + " '" +
                                ready + "' & echo $! > '" + pidFile + "'";
    ASSERT_EQ(std::system(command.c_str()), 0);
    for (int i = 0; i < 1000 && !FileExists(ready); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(FileExists(ready));
    std::ifstream(pidFile) >> holder_;
  }
  void TearDown() override {
    if (holder_ > 0) kill(holder_, SIGTERM);
    DbTest::TearDown();
  }
  int Count(const std::vector<std::string>& lines, const std::string& text) {
    int n = 0;
    for (const auto& line : lines) n += line == text;
    return n;
  }
  pid_t holder_ = 0;
};

TEST_F(SQLdbTest, RowTextsJoinColumnsWithSemicolonsAndMendSemicolonsInValues) {
  SQLdb db("ecg", kOpenCreate);
  ASSERT_TRUE(db.isOpen);
  ASSERT_EQ(db.Exec("CREATE TABLE t (a, b, c)"), 0);
  ASSERT_EQ(db.Exec("INSERT INTO t VALUES ('a;b', NULL, 7), (1.5, '', 'x'), ('one', 'two', '')"),
            0);
  std::vector<std::string> rows{"kept"};
  EXPECT_EQ(db.Query("SELECT * FROM t", rows), 0);
  EXPECT_EQ(rows, (std::vector<std::string>{"kept", "a:b;;7;", "1.5;;x;", "one;two;;"}));
  EXPECT_EQ(db.rowCount, 3);
  EXPECT_EQ(db.columnCount, 3);

  std::vector<std::string> single;
  EXPECT_EQ(db.Query("SELECT a FROM t WHERE c = ?", {"x"}, single), 0);
  EXPECT_EQ(single, std::vector<std::string>{"1.5;"});

  ASSERT_EQ(db.Exec("CREATE TABLE empty (a)"), 0);
  std::vector<std::string> none;
  EXPECT_EQ(db.Query("SELECT * FROM empty", none), 0);
  EXPECT_TRUE(none.empty());
  EXPECT_EQ(db.rowCount, 0);
}

TEST_F(SQLdbTest, OpeningFollowsTheFlags) {
  struct Case {
    int flags;
    bool opens;
  } cases[] = {{kOpenReadOnly, false}, {kOpenReadWrite, false}, {kOpenCreate, true}};
  for (const Case& c : cases) {
    std::remove(dbPath.c_str());
    TakeLog();
    SQLdb db("ecg", c.flags);
    EXPECT_EQ(db.isOpen, c.opens) << c.flags;
    EXPECT_EQ(FileExists(dbPath), c.opens) << c.flags;
    if (!c.opens) {
      EXPECT_EQ(TakeLog(),
                std::vector<std::string>{"ERROR, SQLdb(), unable to open database file"});
      // A connection that never opened runs nothing, logs nothing and keeps the open's error.
      EXPECT_EQ(db.Exec("CREATE TABLE t (a)"), 1);
      EXPECT_EQ(db.errorText, "unable to open database file");
      EXPECT_TRUE(TakeLog().empty());
    }
  }
}

TEST_F(SQLdbTest, ATextFileIsAFailedOpening) {
  WriteTextFile(dbPath, "this is a text file and no database at all, long enough to tell\n");
  SQLdb db("ecg", kOpenReadWrite);
  EXPECT_FALSE(db.isOpen);
  EXPECT_EQ(TakeLog(), std::vector<std::string>{"ERROR, SQLdb(), file is not a database"});
}

TEST_F(SQLdbTest, AFailingStatementIsLoggedOnceWithItsTextAndNotRetried) {
  SQLdb db("ecg", kOpenCreate);
  TakeLog();
  EXPECT_EQ(db.Exec("SELEC 1"), 1);
  EXPECT_EQ(TakeLog(), std::vector<std::string>{
                           "ERROR, SQldb::Exec, command: SELEC 1, near \"SELEC\": syntax error"});
  ASSERT_EQ(db.Exec("CREATE TABLE t (a)"), 0);
  EXPECT_EQ(db.errorText, "");
  EXPECT_EQ(db.Exec("INSERT INTO u VALUES (?)", {"O'Neil"}), 1);
  EXPECT_EQ(TakeLog(), std::vector<std::string>{
                           "ERROR, SQldb::Exec, command: INSERT INTO u VALUES ('O''Neil'), "
                           "no such table: u"});
}

TEST_F(SQLdbTest, BoundValuesNeverChangeTheStatement) {
  SQLdb db("ecg", kOpenCreate);
  ASSERT_EQ(db.Exec("CREATE TABLE t (a)"), 0);
  const std::string hostile = "x'); DROP TABLE t; --";
  EXPECT_EQ(db.Exec("INSERT INTO t VALUES (?)", {hostile}), 0);
  std::vector<std::string> rows;
  EXPECT_EQ(db.Query("SELECT a FROM t WHERE a = ?", {hostile}, rows), 0);
  EXPECT_EQ(rows, std::vector<std::string>{"x'): DROP TABLE t: --;"});
  EXPECT_EQ(StatementText("INSERT INTO t VALUES (?, ?)", {hostile, SqlValue::Integer(7)}),
            "INSERT INTO t VALUES ('x''); DROP TABLE t; --', 7)");
}

// A database made before, still in its rollback journal, cannot be converted while another
// process holds it locked: both pragmas only warn, and a later opening converts it.
TEST_F(SQLdbTest, OpeningALockedDatabaseWarnsTwiceAndStaysOpen) {
  CreateOlderStudyDatabase();
  HoldLock(60);
  SQLdb db("ecg", kOpenReadWrite);
  EXPECT_TRUE(db.isOpen);
  EXPECT_EQ(TakeLog(),
            (std::vector<std::string>{"WARNING, Setting journal_mode to WAL, database is locked",
                                      "WARNING, Setting synchronous to FULL, database is locked"}));
}

TEST_F(SQLdbTest, ExecGivesUpAfterTenBusyTries) {
  CreateStudyDatabase();
  SQLdb db("ecg", kOpenReadWrite);
  HoldLock(60);
  int pauses = 0;
  SetBusySleep([&](std::chrono::milliseconds pause) {
    EXPECT_EQ(pause, std::chrono::milliseconds(2000));
    ++pauses;
  });
  struct Case {
    std::string statement;
    SqlValues values;
    std::string shown;
  } cases[] = {
      {"DELETE FROM Study", {}, "DELETE FROM Study"},
      {"DELETE FROM Study WHERE StudyInstanceUID=?",
       {"1.2"},
       "DELETE FROM Study WHERE StudyInstanceUID='1.2'"},
  };
  for (const Case& c : cases) {
    pauses = 0;
    TakeLog();
    const int rc = c.values.empty() ? db.Exec(c.statement) : db.Exec(c.statement, c.values);
    EXPECT_EQ(rc, 5);
    EXPECT_EQ(pauses, 10);
    const auto log = TakeLog();
    ASSERT_EQ(log.size(), 11u);
    EXPECT_EQ(Count(log, "WARNING, SQLITE_BUSY: sleeping for a while..."), 10);
    EXPECT_EQ(log.back(), "ERROR, SQLITE_BUSY: time_out reached (20 sec), command: " + c.shown);
  }
}

// The one test that runs in real time: the lock is released within the engine's 10 s busy
// time-out, which a query installs and which then stays on the connection for Exec too. (The
// query itself reads beside the writer: write-ahead logging keeps readers out of its way.)
TEST_F(SQLdbTest, QueryInstallsABusyTimeOutThatLaterExecsKeep) {
  CreateStudyDatabase();
  SQLdb db("ecg", kOpenReadWrite);
  HoldLock(1.5);
  std::vector<std::string> rows;
  EXPECT_EQ(db.Query("SELECT * FROM Study", rows), 0);
  HoldLock(1.5);
  EXPECT_EQ(db.Exec("DELETE FROM Study"), 0);
  for (const auto& line : TakeLog()) EXPECT_EQ(line.find("SQLITE_BUSY"), std::string::npos) << line;
}

// In real time, with the 2 s pauses injected away: once a query has installed the 10 s busy
// time-out, every try of a later Exec first waits inside the engine. With the lock held for
// 13 s, the first try gives up once (one warning) and the second one gets through; without the
// engine's wait the ten tries would pass at once and fail.
TEST_F(SQLdbTest, AfterAQueryEachBusyTryWaitsInsideTheEngine) {
  CreateStudyDatabase();
  SQLdb db("ecg", kOpenReadWrite);
  std::vector<std::string> rows;
  ASSERT_EQ(db.Query("SELECT * FROM Study", rows), 0);
  int pauses = 0;
  SetBusySleep([&](std::chrono::milliseconds) { ++pauses; });
  HoldLock(13);
  TakeLog();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(db.Exec("DELETE FROM Study"), 0);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_EQ(pauses, 1);
  EXPECT_EQ(TakeLog(), std::vector<std::string>{"WARNING, SQLITE_BUSY: sleeping for a while..."});
  RecordProperty("exec_seconds", std::to_string(seconds));
}

// A query that stays locked past the engine's time-out fails (a fresh connection meets the lock
// while it reads the schema), and its log line shows the whole
// statement with the values in place. Only a database still in the rollback journal locks its
// readers out so.
TEST_F(SQLdbTest, ALockedQueryLogsItsWholeStatement) {
  CreateOlderStudyDatabase();
  HoldLock(13);
  DcmObj identifier;
  identifier.Add(new DcmTag(0x0010, 0x0010, std::string("O'NEIL*")));
  identifier.Add(new DcmTag(0x0008, 0x0020, std::string("20240101-20240131")));
  identifier.Add(new DcmTag(0x0020, 0x000D, std::string()));
  std::vector<std::string> rows;
  std::string columns;
  int count = 0;
  EXPECT_FALSE(QueryLocalDatabase(identifier, rows, columns, count, "STUDY"));
  EXPECT_TRUE(rows.empty());
  EXPECT_EQ(count, 3);
  const auto log = TakeLog();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2], "ERROR, SQLdb::Query, sqlite3_prepare_v2, database is locked");
  EXPECT_EQ(log.back(),
            "ERROR, QueryStudyDB, Query=SELECT PatientName, StudyDate, StudyInstanceUID  from "
            "Study  WHERE PatientName LIKE 'O NEIL%' AND (StudyDate >= '20240101') AND "
            "(StudyDate <= '20240131') ORDER BY PatientName");
}

// With write-ahead logging a search is answered while another process holds the write lock
// (a registration or a VACUUM in progress), instead of waiting for it.
TEST_F(SQLdbTest, AWriterDoesNotHoldUpQueries) {
  CreateStudyDatabase();
  ASSERT_EQ(Sqlite("INSERT INTO Study (StudyInstanceUID, PatientName) VALUES ('1.2', 'ANN')"),
            std::vector<std::string>{});
  HoldLock(60);
  DcmObj identifier;
  identifier.Add(new DcmTag(0x0010, 0x0010, std::string("ANN")));
  std::vector<std::string> rows;
  std::string columns;
  int count = 0;
  EXPECT_TRUE(QueryLocalDatabase(identifier, rows, columns, count, "STUDY"));
  EXPECT_EQ(rows, std::vector<std::string>{"ANN;"});
  SQLdb writer("ecg", kOpenReadWrite);
  EXPECT_EQ(writer.Exec("DELETE FROM Study"), 5);  // the lock is really held
}

}  // namespace
