// The connection, its busy policy and the row-text format.
#include "db/SQLdb.h"

#include <sqlite3.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#include "db/Schema.h"
#include "dicom/util/Log.h"
#include "platform/ExeFolder.h"

namespace {

constexpr int kBusyTries = 10;
constexpr std::chrono::milliseconds kBusyPause{2000};
constexpr int kQueryBusyTimeoutMs = 10000;

std::mutex& SleeperLock() {
  static auto* lock = new std::mutex;  // never destroyed: used by threads until the end
  return *lock;
}
BusySleeper& Sleeper() {
  static auto* sleeper = new BusySleeper;
  return *sleeper;
}

void BusyPause() {
  BusySleeper sleeper;
  {
    std::lock_guard<std::mutex> guard(SleeperLock());
    sleeper = Sleeper();
  }
  if (sleeper)
    sleeper(kBusyPause);
  else
    std::this_thread::sleep_for(kBusyPause);
}

std::atomic<StudyTuning> gStudyTuning{StudyTuning::Durable};

struct Pragma {
  const char* statement;
  const char* warning;
  bool writesTheFile;  // only on a connection that may write the study database
};

// Write-ahead logging keeps the database whole when the process dies in the middle of any
// transaction (a VACUUM included): the database file is only changed by checkpoints of
// committed frames. FULL makes every commit wait until its frames are on disk, so what a
// C-STORE response reports as stored outlives a power loss too; NORMAL would only keep the
// file consistent and might lose the last commits.
constexpr Pragma kDurablePragmas[] = {
    {"PRAGMA journal_mode = WAL", "WARNING, Setting journal_mode to WAL, ", true},
    {"PRAGMA synchronous = FULL", "WARNING, Setting synchronous to FULL, ", false},
    {"PRAGMA temp_store = MEMORY", "WARNING, Setting temp_store to MEMORY, ", false},
};
// The earlier tuning, kept for the benchmarks only.
constexpr Pragma kInMemoryJournalPragmas[] = {
    {"PRAGMA journal_mode = MEMORY", "WARNING, Setting journal_mode to MEMORY, ", false},
    {"PRAGMA synchronous = OFF", "WARNING, Setting synchronous to OFF, ", false},
    {"PRAGMA temp_store = MEMORY", "WARNING, Setting temp_store to MEMORY, ", false},
};

// Runs a fixed text with sqlite3_exec, copying the engine's message and freeing it at once.
int ExecText(sqlite3* handle, const std::string& statement, std::string& errorText) {
  char* message = nullptr;
  int rc = sqlite3_exec(handle, statement.c_str(), nullptr, nullptr, &message);
  errorText = message ? message : "";
  sqlite3_free(message);
  return rc;
}

// The column texts of the current row, each followed by ";", with ";" in values turned into ":".
std::string RowText(sqlite3_stmt* statement, int columns) {
  std::string row;
  for (int i = 0; i < columns; ++i) {
    const unsigned char* text = sqlite3_column_text(statement, i);
    int bytes = sqlite3_column_bytes(statement, i);
    if (text) {
      std::string value(reinterpret_cast<const char*>(text), static_cast<size_t>(bytes));
      for (char& c : value)
        if (c == ';') c = ':';
      row += value;
    }
    row += ';';
  }
  return row;
}

int Bind(sqlite3_stmt* statement, const SqlValues& values) {
  for (size_t i = 0; i < values.size(); ++i) {
    const std::string& text = values[i].text;
    int rc = sqlite3_bind_text(statement, static_cast<int>(i + 1), text.data(),
                               static_cast<int>(text.size()), SQLITE_TRANSIENT);
    if (rc != SQLITE_OK) return rc;
  }
  return SQLITE_OK;
}

}  // namespace

SqlValue SqlValue::Integer(long long n) {
  SqlValue value(std::to_string(n));
  value.integer = true;
  return value;
}

void SetStudyTuning(StudyTuning tuning) { gStudyTuning = tuning; }

void AddQueryIndexes(SQLdb& db) {
  if (!db.isOpen || gStudyTuning == StudyTuning::InMemoryJournal) return;
  // Read which indexes exist first, so an opening that finds them all writes nothing.
  sqlite3_stmt* names = nullptr;
  std::set<std::string> present;
  int rc = sqlite3_prepare_v2(db.handle, "SELECT name FROM sqlite_master", -1, &names, nullptr);
  while (rc == SQLITE_OK && (rc = sqlite3_step(names)) == SQLITE_ROW) {
    const unsigned char* name = sqlite3_column_text(names, 0);
    if (name) present.insert(reinterpret_cast<const char*>(name));
    rc = SQLITE_OK;
  }
  sqlite3_finalize(names);
  if (rc != SQLITE_DONE || present.count("Study") == 0) return;  // locked, or not indexable yet
  for (const QueryIndex& index : kQueryIndexes) {
    if (present.count(index.name) != 0) continue;
    db.lastResult = ExecText(db.handle, index.statement, db.errorText);
    if (db.lastResult != SQLITE_OK)
      LogWrite(std::string("ERROR creating Index ") + index.name + db.errorText);
  }
}

void SetBusySleep(BusySleeper sleeper) {
  std::lock_guard<std::mutex> guard(SleeperLock());
  Sleeper() = std::move(sleeper);
}

std::string StatementText(const std::string& statement, const SqlValues& values) {
  std::string out;
  size_t next = 0;
  for (char c : statement) {
    if (c != '?' || next >= values.size()) {
      out += c;
      continue;
    }
    const SqlValue& value = values[next++];
    if (value.integer) {
      out += value.text;
      continue;
    }
    out += '\'';
    for (char v : value.text) {
      out += v;
      if (v == '\'') out += '\'';
    }
    out += '\'';
  }
  return out;
}

SQLdb::SQLdb(const std::string& dbName, int flags) : isOpen(true), name(dbName) {
  const std::string path = ExeFolder + "database/" + name + ".db";
  lastResult = sqlite3_open_v2(path.c_str(), &handle, flags, nullptr);
  if (lastResult != SQLITE_OK) {
    errorText = handle ? sqlite3_errmsg(handle) : "out of memory";
    LogWrite("ERROR, SQLdb(), " + errorText);
    sqlite3_close(handle);
    handle = nullptr;
    isOpen = false;
    return;
  }
  const bool durable = gStudyTuning == StudyTuning::Durable;
  const bool studyWriter = name == kStudyDatabase && sqlite3_db_readonly(handle, "main") == 0;
  for (const Pragma& pragma : durable ? kDurablePragmas : kInMemoryJournalPragmas) {
    if (pragma.writesTheFile && !studyWriter) continue;
    lastResult = ExecText(handle, pragma.statement, errorText);
    if (lastResult == SQLITE_NOTADB) {
      // Not a database at all: the opening has failed, whatever sqlite3_open_v2 said.
      LogWrite("ERROR, SQLdb(), " + errorText);
      sqlite3_close(handle);
      handle = nullptr;
      isOpen = false;
      return;
    }
    if (lastResult != SQLITE_OK) LogWrite(pragma.warning + errorText);
  }
  if (studyWriter) AddQueryIndexes(*this);
}

SQLdb::~SQLdb() {
  for (auto& [text, prepared] : kept_) sqlite3_finalize(prepared);
  if (handle) sqlite3_close(handle);
}

sqlite3_stmt* SQLdb::Prepare(const std::string& statement, int& rc) {
  const auto found = kept_.find(statement);
  if (found != kept_.end()) {
    sqlite3_stmt* prepared = found->second;
    kept_.erase(found);  // in use until given back
    rc = SQLITE_OK;
    return prepared;
  }
  sqlite3_stmt* prepared = nullptr;
  rc = sqlite3_prepare_v2(handle, statement.c_str(), -1, &prepared, nullptr);
  if (rc != SQLITE_OK) {
    sqlite3_finalize(prepared);
    return nullptr;
  }
  return prepared;
}

void SQLdb::GiveBack(const std::string& statement, sqlite3_stmt* prepared) {
  if (!prepared) return;
  sqlite3_reset(prepared);
  sqlite3_clear_bindings(prepared);
  if (kept_.size() < kKeptStatements && kept_.emplace(statement, prepared).second) return;
  sqlite3_finalize(prepared);
}

// One bind-step run of a statement that returns no rows.
int SQLdb::StepOnce(const std::string& statement, const SqlValues& values) {
  int rc = SQLITE_OK;
  sqlite3_stmt* prepared = Prepare(statement, rc);
  if (rc == SQLITE_OK && prepared) {
    rc = Bind(prepared, values);
    if (rc == SQLITE_OK) {
      do {
        rc = sqlite3_step(prepared);
      } while (rc == SQLITE_ROW);
      if (rc == SQLITE_DONE) rc = SQLITE_OK;
    }
  }
  errorText = rc == SQLITE_OK ? "" : sqlite3_errmsg(handle);
  GiveBack(statement, prepared);
  return rc;
}

int SQLdb::Exec(const std::string& statement) {
  if (!isOpen) return lastResult = SQLITE_ERROR;
  for (int tries = 0;;) {
    lastResult = ExecText(handle, statement, errorText);
    if (lastResult == SQLITE_OK) return 0;
    if (lastResult != SQLITE_BUSY) {
      LogWrite("ERROR, SQldb::Exec, command: " + statement + ", " + errorText);
      return lastResult;
    }
    LogWrite("WARNING, SQLITE_BUSY: sleeping for a while...");
    BusyPause();
    if (++tries >= kBusyTries) {
      LogWrite("ERROR, SQLITE_BUSY: time_out reached (20 sec), command: " + statement);
      return lastResult;
    }
  }
}

int SQLdb::Exec(const std::string& statement, const SqlValues& values) {
  if (!isOpen) return lastResult = SQLITE_ERROR;
  for (int tries = 0;;) {
    lastResult = StepOnce(statement, values);
    if (lastResult == SQLITE_OK) return 0;
    if (lastResult != SQLITE_BUSY) {
      LogWrite("ERROR, SQldb::Exec, command: " + StatementText(statement, values) + ", " +
               errorText);
      return lastResult;
    }
    LogWrite("WARNING, SQLITE_BUSY: sleeping for a while...");
    BusyPause();
    if (++tries >= kBusyTries) {
      LogWrite("ERROR, SQLITE_BUSY: time_out reached (20 sec), command: " +
               StatementText(statement, values));
      return lastResult;
    }
  }
}

int SQLdb::Query(const std::string& statement, std::vector<std::string>& rows) {
  return Query(statement, SqlValues{}, rows);
}

int SQLdb::Query(const std::string& statement, const SqlValues& values,
                 std::vector<std::string>& rows) {
  if (!isOpen) return lastResult = SQLITE_ERROR;
  sqlite3_busy_timeout(handle, kQueryBusyTimeoutMs);
  sqlite3_stmt* prepared = Prepare(statement, lastResult);
  rowCount = 0;
  if (lastResult == SQLITE_OK && !prepared) return lastResult;  // an empty statement
  if (lastResult == SQLITE_OK) lastResult = Bind(prepared, values);
  if (lastResult != SQLITE_OK) {
    errorText = sqlite3_errmsg(handle);
    LogWrite("ERROR, SQLdb::Query, sqlite3_prepare_v2, " + errorText);
    GiveBack(statement, prepared);
    return lastResult;
  }
  columnCount = sqlite3_column_count(prepared);
  for (;;) {
    lastResult = sqlite3_step(prepared);
    if (lastResult == SQLITE_ROW) {
      rows.push_back(RowText(prepared, columnCount));
      ++rowCount;
      continue;
    }
    if (lastResult == SQLITE_DONE) {
      lastResult = SQLITE_OK;
    } else {
      errorText = sqlite3_errmsg(handle);
      LogWrite("ERROR, SQLdb::Query, sqlite3_step, " + errorText);
    }
    break;
  }
  GiveBack(statement, prepared);
  return lastResult;
}
