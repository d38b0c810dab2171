// The log writer: whole "hh:mm:ss, message" lines, safe from many threads, nothing written before
// LogInit or after LogFree, and a LogFree racing the writers costs lines but never memory safety.
#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dicom/util/Log.h"
#include "tests/support/TempFolder.h"

namespace {

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

const std::regex kLinePattern(R"(^\d\d:\d\d:\d\d, (.*)$)");

// The message of a well-formed line, or "<malformed>".
std::string MessageOf(const std::string& line) {
  std::smatch match;
  return std::regex_match(line, match, kLinePattern) ? match[1].str() : "<malformed>";
}

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override { LogFree(); }
  void TearDown() override { LogFree(); }
  std::string Contents() const { return ReadWholeFile(logFile_); }

  TempFolder folder_;
  std::string logFile_ = folder_ / "20240101_ecg.log";
};

TEST_F(LogTest, LinesBeforeInitAndAfterFreeAreDropped) {
  LogWrite("before init");
  LogAppendRaw("raw before", 10);
  LogInit(logFile_, "Trevalind", "");
  LogWrite("kept");
  LogFree();
  LogWrite("after free");
  LogAppendRaw("raw after", 9);
  std::vector<std::string> lines = LinesOf(Contents());
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(MessageOf(lines[0]), "kept");
  EXPECT_EQ(Contents().back(), '\n');
}

TEST_F(LogTest, LineFormats) {
  LogInit(logFile_, "", "");
  LogWrite("");
  LogWrite("ERROR: DcmObj::Read, /tmp/x.dcm");
  LogWrite("trailing blank ");
  std::vector<std::string> lines = LinesOf(Contents());
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(R"(^\d\d:\d\d:\d\d, $)"))) << lines[0];
  EXPECT_EQ(MessageOf(lines[1]), "ERROR: DcmObj::Read, /tmp/x.dcm");
  EXPECT_EQ(MessageOf(lines[2]), "trailing blank ");
}

// A peer's name or AE title with CR/LF in it must not forge a line of its own.
TEST_F(LogTest, ControlCharactersAreWrittenAsDots) {
  LogInit(logFile_, "", "");
  LogWrite("INFO, Patient Name: DOE\r\n10:00:00, forged");
  LogWrite(std::string("A\0B\x1F\x7F\x80\tC", 8));
  std::vector<std::string> lines = LinesOf(Contents());
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(MessageOf(lines[0]), "INFO, Patient Name: DOE..10:00:00, forged");
  EXPECT_EQ(MessageOf(lines[1]), std::string("A.B..\x80.C"));
}

TEST_F(LogTest, EmptyInitArgumentsKeepTheStoredFile) {
  LogInit(logFile_, "Trevalind", "");
  LogInit("", "", "");
  LogWrite("still logged");
  ASSERT_EQ(LinesOf(Contents()).size(), 1u);
  // A new non-empty name replaces the old one.
  std::string other = folder_ / "other.log";
  LogInit(other, "", "");
  LogWrite("elsewhere");
  EXPECT_EQ(LinesOf(Contents()).size(), 1u);
  ASSERT_EQ(LinesOf(ReadWholeFile(other)).size(), 1u);
  EXPECT_EQ(MessageOf(LinesOf(ReadWholeFile(other))[0]), "elsewhere");
}

TEST_F(LogTest, UnopenableFileLosesTheLineAndTheNextOneTriesAgain) {
  std::string inMissingFolder = folder_ / "logs/20240101_ecg.log";
  LogInit(inMissingFolder, "", "");
  LogWrite("lost");
  folder_.Touch("logs/placeholder");
  LogWrite("found");
  std::vector<std::string> lines = LinesOf(ReadWholeFile(inMissingFolder));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(MessageOf(lines[0]), "found");
}

TEST_F(LogTest, AppendRawWritesTheBytesUnchanged) {
  LogInit(logFile_, "", "");
  const char bytes[] = {'P', '\0', '\x01', '\xff', '\n'};
  LogAppendRaw(bytes, sizeof bytes);
  LogWrite("after");
  std::string text = Contents();
  ASSERT_GE(text.size(), sizeof bytes);
  EXPECT_EQ(text.substr(0, sizeof bytes), std::string(bytes, sizeof bytes));
  EXPECT_EQ(MessageOf(LinesOf(text.substr(sizeof bytes))[0]), "after");
}

// Eight threads log 1,000 distinct lines each: every line arrives whole, exactly once.
TEST_F(LogTest, ManyThreadsGiveWholeUniqueLines) {
  constexpr int kThreads = 8;
  constexpr int kLinesEach = 1000;
  LogInit(logFile_, "", "");
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < kLinesEach; ++i)
        LogWrite("thread " + std::to_string(t) + " line " + std::to_string(i));
    });
  }
  for (std::thread& thread : threads) thread.join();
  std::vector<std::string> lines = LinesOf(Contents());
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLinesEach));
  std::set<std::string> messages;
  for (const std::string& line : lines) {
    std::string message = MessageOf(line);
    ASSERT_NE(message, "<malformed>") << line;
    EXPECT_TRUE(messages.insert(message).second) << "twice: " << message;
  }
  for (int t = 0; t < kThreads; ++t)
    for (int i = 0; i < kLinesEach; ++i)
      EXPECT_TRUE(messages.count("thread " + std::to_string(t) + " line " + std::to_string(i)));
}

// The program frees the log while server threads still write (and trace raw bytes); lines
// logged before the free are all there and whole, and the rest are dropped without harm.
TEST_F(LogTest, FreeWhileThreadsWrite) {
  constexpr int kThreads = 8;
  constexpr int kLinesEach = 1000;
  LogInit(logFile_, "", "");
  std::atomic<int> written{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t, &written] {
      for (int i = 0; i < kLinesEach; ++i) {
        if (i % 100 == 0) LogAppendRaw("raw\n", 4);
        LogWrite("t" + std::to_string(t) + " " + std::to_string(i));
        written.fetch_add(1);
      }
    });
  }
  while (written.load() < kThreads * kLinesEach / 4) std::this_thread::yield();
  int writtenBeforeFree = written.load();
  LogFree();
  for (std::thread& thread : threads) thread.join();
  LogWrite("after join");

  std::set<std::string> messages;
  int lineCount = 0;
  for (const std::string& line : LinesOf(Contents())) {
    if (line == "raw") continue;
    ++lineCount;
    std::string message = MessageOf(line);
    ASSERT_NE(message, "<malformed>") << line;
    EXPECT_TRUE(messages.insert(message).second) << "twice: " << message;
  }
  EXPECT_GE(lineCount, writtenBeforeFree);
  EXPECT_LE(lineCount, kThreads * kLinesEach);
  EXPECT_EQ(messages.count("after join"), 0u);
}

}  // namespace
