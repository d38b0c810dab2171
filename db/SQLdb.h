// One connection to one SQLite database beside the executable (ExeFolder + "database/" + name +
// ".db"), with the tuning pragmas set on every opening, a fixed busy policy, and query results
// turned into ";"-terminated row texts.
//
// The study database ("ecg") is the program's own and must survive a crash of the program or
// of the machine: every connection that may write it puts it into write-ahead logging (a
// database made before is converted at its first such opening), and every connection commits
// with synchronous FULL, so a committed row is on disk before the statement returns. Its -wal
// and -shm files belong to it. Read-only connections never change the journal mode (they
// cannot), and other databases (the worklist's, which the program only reads) keep whatever
// mode their owner chose: changing it would write them.
//
// Row text: every result column's text followed by ";" (NULL gives an empty field, numbers their
// engine text); a ";" inside a value becomes ":" so readers can split with GetField(n, ";", row).
//
// Values never go into a statement's text: a statement carries "?" placeholders and its values
// are bound. Log lines that show a statement show it with the values in place, quoted and
// escaped (StatementText). The fixed-text overloads are for statements without input values
// (pragmas, CREATE TABLE/INDEX, VACUUM).
//
// A SQLdb is used by one thread at a time: the one that created it, or a thread it hands the
// connection to while it waits for that thread. It never throws.
#pragma once

#include <chrono>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// A value bound to one "?". Integers are bound as their decimal text (INTEGER affinity stores
// the number) and shown without quotes in log lines.
struct SqlValue {
  SqlValue(std::string value) : text(std::move(value)) {}  // NOLINT: implicit on purpose
  SqlValue(const char* value) : text(value) {}             // NOLINT: implicit on purpose
  static SqlValue Integer(long long n);
  std::string text;
  bool integer = false;
};
using SqlValues = std::vector<SqlValue>;

// Open flags as the engine takes them (passed through unchanged).
inline constexpr int kOpenReadOnly = 1;
inline constexpr int kOpenReadWrite = 2;
inline constexpr int kOpenCreate = 6;

// The name of the study database.
inline constexpr const char* kStudyDatabase = "ecg";

class SQLdb {
 public:
  SQLdb(const std::string& name, int flags);
  ~SQLdb();
  SQLdb(const SQLdb&) = delete;
  SQLdb& operator=(const SQLdb&) = delete;

  // Runs a statement that returns no rows; SQLITE_BUSY is retried 10 times with a 2 s sleep.
  // Returns the SQLite result code (0 = success); 1 at once on a connection that is not open.
  int Exec(const std::string& statement);
  int Exec(const std::string& statement, const SqlValues& values);
  // Runs one statement and appends its row texts to `rows` (not cleared first). Installs a
  // 10 s busy time-out that stays on the connection. Returns 0 when the statement ran to its
  // end, else the failing result code; rows appended before a failed step stay.
  int Query(const std::string& statement, std::vector<std::string>& rows);
  int Query(const std::string& statement, const SqlValues& values, std::vector<std::string>& rows);

  sqlite3* handle = nullptr;
  int lastResult = 0;
  int rowCount = 0;
  int columnCount = 0;
  std::string errorText;
  bool isOpen = false;
  std::string name;

 private:
  // Statements with bound values are kept prepared while the connection lives, so a connection
  // that registers many objects parses each statement once. A kept statement is always reset
  // and its bindings cleared before it goes back, so it holds no lock between uses.
  static constexpr size_t kKeptStatements = 64;
  sqlite3_stmt* Prepare(const std::string& statement, int& rc);
  void GiveBack(const std::string& statement, sqlite3_stmt* prepared);
  int StepOnce(const std::string& statement, const SqlValues& values);
  std::unordered_map<std::string, sqlite3_stmt*> kept_;
};

// The statement with each "?" replaced by its value: text values in single quotes with "'"
// doubled, integers bare. For log lines only; never executed.
std::string StatementText(const std::string& statement, const SqlValues& values);

// The pause between busy retries of SQLdb::Exec (2,000 ms each). Tests install a fast one; an
// empty function restores the real sleep. Set before any connection is used.
using BusySleeper = std::function<void(std::chrono::milliseconds)>;
void SetBusySleep(BusySleeper sleeper);

// Creates those of the indexes the searches key on (kQueryIndexes) that are missing, when the
// connection's database holds the Study table. Runs directly like the pragmas, without busy
// retries: a database locked now gains them at a later opening. A failed creation logs
// "ERROR creating Index " + the index name + the engine's message.
void AddQueryIndexes(SQLdb& db);

// How connections to the study database are tuned. The program always runs Durable; the
// benchmarks measure the earlier tuning beside it (journal in memory, synchronous OFF, no added
// indexes), which a crash can corrupt. Set before any connection opens.
enum class StudyTuning { Durable, InMemoryJournal };
void SetStudyTuning(StudyTuning tuning);
