// The configuration record and the remote node list, through their files.
#include <gtest/gtest.h>

#include "app/RemoteServers.h"
#include "app/ScpConfig.h"
#include "tests/app/AppTestSupport.h"

namespace {

struct ConfigCase {
  const char* what;
  size_t fileSize;  // bytes taken from a full record padded with 0xEE
  const char* port;
  const char* aeTitle;
  int32_t level;
};

class ConfigFileLength : public testing::TestWithParam<ConfigCase> {};

TEST_P(ConfigFileLength, FillsTheRecordFromItsStart) {
  const ConfigCase& c = GetParam();
  TempFolder folder;
  std::string full = ConfigRecord("11112", "STATION_AE_TITLE", 2) + std::string(32, char(0xEE));
  folder.Write("trevalind.cfg", full.substr(0, c.fileSize));
  ScpConfig = ScpConfigRecord{};
  ASSERT_TRUE(ReadConfiguration(folder.path() + "trevalind.cfg"));
  EXPECT_EQ(ConfigText(ScpConfig.port), c.port);
  EXPECT_EQ(ConfigText(ScpConfig.aeTitle), c.aeTitle);
  EXPECT_EQ(ScpConfig.logLevel, c.level);
}

INSTANTIATE_TEST_SUITE_P(Lengths, ConfigFileLength,
                         testing::Values(ConfigCase{"empty", 0, "", "", 0},
                                         ConfigCase{"forty", 40, "11112", "STATION_", 0},
                                         ConfigCase{"exact", 68, "11112", "STATION_AE_TITLE", 2},
                                         ConfigCase{"longer", 100, "11112", "STATION_AE_TITLE", 2}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST(ConfigFile, MissingFileIsNotRead) {
  TempFolder folder;
  EXPECT_FALSE(ReadConfiguration(folder.path() + "trevalind.cfg"));
}

// A field without its NUL must not be read past its 32 bytes.
TEST(ConfigFile, FieldWithoutNulStopsAtThirtyTwoBytes) {
  TempFolder folder;
  std::string record(32, 'P');
  record += std::string(32, 'A') + std::string("\xff\xff\xff\xff", 4);
  folder.Write("trevalind.cfg", record);
  ASSERT_TRUE(ReadConfiguration(folder.path() + "trevalind.cfg"));
  EXPECT_EQ(ConfigText(ScpConfig.port), std::string(32, 'P'));
  EXPECT_EQ(ConfigText(ScpConfig.aeTitle), std::string(32, 'A'));
  EXPECT_EQ(ScpConfig.logLevel, -1);
}

TEST(ConfigFile, WriteGivesTheRawRecordAndCutsTextsAtThirtyOne) {
  TempFolder folder;
  ScpConfig = ScpConfigRecord{};
  SetConfigText(ScpConfig.port, std::string(40, '7'));
  SetConfigText(ScpConfig.aeTitle, "KORVA");
  ScpConfig.logLevel = -1;
  ASSERT_TRUE(WriteConfiguration(folder.path() + "trevalind.cfg"));
  const std::string bytes = folder.Read("trevalind.cfg");
  ASSERT_EQ(bytes.size(), 68u);
  EXPECT_EQ(bytes.substr(0, 32), std::string(31, '7') + '\0');
  EXPECT_EQ(bytes.substr(32, 6), std::string("KORVA\0", 6));
  EXPECT_EQ(bytes.substr(64), std::string("\xff\xff\xff\xff", 4));
}

// A failed write must leave the earlier file whole (written through a temporary file).
TEST(ConfigFile, UnwritableFolderLeavesNoTornFile) {
  TempFolder folder;
  EXPECT_FALSE(WriteConfiguration(folder.path() + "missing/trevalind.cfg"));
}

struct RemoteCase {
  const char* what;
  const char* text;
  std::vector<RemoteServer> servers;
};

TEST(RemoteServerList, ParsesLineEndsAndMissingFields) {
  const RemoteCase cases[] = {
      {"crlf", "PEER1           ,10.0.0.1,104\r\n", {{"PEER1           ", "10.0.0.1", "104"}}},
      {"lf", "A,h,1\nB,i,2\n", {{"A", "h", "1"}, {"B", "i", "2"}}},
      {"no final end", "A,h,1\r\nB,i,2", {{"A", "h", "1"}, {"B", "i", "2"}}},
      {"no commas", "LONELY\r\n", {{"LONELY", "", ""}}},
      {"extra fields", "A,h,1,x\r\n,,\r\n", {{"A", "h", "1"}, {"", "", ""}}},
      {"empty", "", {}},
  };
  for (const RemoteCase& c : cases) EXPECT_EQ(ParseRemoteServers(c.text), c.servers) << c.what;
}

TEST(RemoteServerList, AeTitlesArePaddedOrCutToSixteen) {
  const std::vector<RemoteServer> servers = {{"ABCDE", "127.0.0.1", "104"},
                                             {"SIXTEEN_CHARS_AE", "h", "1"},
                                             {"TWENTY_CHARACTERS_AE", "h", "2"},
                                             {"", "", ""}};
  const std::string text = FormatRemoteServers(servers);
  EXPECT_EQ(text,
            "ABCDE           ,127.0.0.1,104\r\n"
            "SIXTEEN_CHARS_AE,h,1\r\n"
            "TWENTY_CHARACTER,h,2\r\n"
            "                ,,\r\n");
  const std::vector<RemoteServer> back = ParseRemoteServers(text);
  ASSERT_EQ(back.size(), 4u);
  EXPECT_EQ(back[0].aeTitle, "ABCDE           ");
  EXPECT_EQ(back[2].aeTitle, "TWENTY_CHARACTER");
  EXPECT_EQ(back[3].aeTitle, std::string(16, ' '));
}

}  // namespace
