#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "net/server/rules/MoveDestinations.h"

namespace {
struct DestinationCase {
  const char* name;
  std::vector<std::string> lines;
  std::string destination;
  std::string host;
  std::string port;
};

const DestinationCase kCases[] = {
    {"last match wins",
     {"1|ARCHIVE1|127.0.0.2|104", "2|ARCHIVE1|127.0.0.3|11112"},
     "ARCHIVE1",
     "127.0.0.3",
     "11112"},
    {"case-sensitive", {"1|ARCHIVE1|127.0.0.2|104"}, "archive1", "", ""},
    {"blanks around the title", {"1|  ARCHIVE1 |127.0.0.2|104"}, " ARCHIVE1  ", "127.0.0.2", "104"},
    {"host and port untrimmed", {"1|ARCHIVE1| 127.0.0.2 | 104"}, "ARCHIVE1", " 127.0.0.2 ", " 104"},
    {"three fields never match by title", {"ARCHIVE1|127.0.0.2|104"}, "ARCHIVE1", "", ""},
    {"text after a fourth bar ignored",
     {"1|ARCHIVE1|127.0.0.2|104|note"},
     "ARCHIVE1",
     "127.0.0.2",
     "104"},
    {"later match with empty port empties it",
     {"1|ARCHIVE1|127.0.0.2|104", "2|ARCHIVE1|127.0.0.3"},
     "ARCHIVE1",
     "127.0.0.3",
     ""},
    {"no lines", {}, "ARCHIVE1", "", ""},
};

TEST(MoveDestinations, LinesAreMatchedByTheirSecondField) {
  for (const auto& c : kCases) {
    const MoveDestination found = FindMoveDestination(c.lines, c.destination);
    EXPECT_EQ(found.host, c.host) << c.name;
    EXPECT_EQ(found.port, c.port) << c.name;
  }
}

TEST(MoveDestinations, WindowsLineEndsAreStripped) {
  const auto path = std::filesystem::temp_directory_path() / "trevalind_remotes_crlf.txt";
  {
    std::ofstream out(path, std::ios::binary);
    out << "1|ARCHIVE1|127.0.0.2|104\r\n2|STORE2|127.0.0.3|11112\r\n";
  }
  const auto lines = ReadTextLines(path.string());
  std::filesystem::remove(path);
  ASSERT_TRUE(lines);
  ASSERT_EQ(lines->size(), 2u);
  EXPECT_EQ(FindMoveDestination(*lines, "ARCHIVE1").port, "104");
  EXPECT_EQ(FindMoveDestination(*lines, "STORE2").port, "11112");
}

TEST(MoveDestinations, MissingFileIsReported) {
  EXPECT_FALSE(ReadTextLines("/nonexistent/trevalind/remotes.txt"));
}
}  // namespace
