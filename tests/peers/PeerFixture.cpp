#include "tests/peers/PeerFixture.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <set>
#include <sstream>

void PeerFixture::SetUp() {
  ServerFixture::SetUp();
  if (HasFatalFailure()) return;
  fixtures_ = Folder() + "fixtures";
  const ToolResult made = RunTool(
      "/usr/bin/python3 " TREVALIND_SOURCE_DIR "/tests/peers/make_fixtures.py " + fixtures_);
  ASSERT_EQ(made.exitCode, 0) << made.output;
}

void PeerFixture::TearDown() {
  if (storescpPid_ > 0) ::kill(storescpPid_, SIGTERM);
  ServerFixture::TearDown();
}

void PeerFixture::StartStorescp(const std::string& options, const std::string& folder, int port) {
  const std::string portText = std::to_string(port);
  const ToolResult started =
      RunTool("sh -c 'timeout 300 storescp " + options + " -od " + folder + " " + portText + " >" +
              Folder() + "storescp.log 2>&1 & echo $!'");
  storescpPid_ = std::stoi(started.output);
  for (int i = 0; i < 100 && RunTool("echoscu 127.0.0.2 " + portText).exitCode; ++i) {
  }
}

ToolResult PeerFixture::StoreFiles(const std::string& files, const std::string& options) const {
  return RunTool("storescu -v " + options + Peer() + files);
}

bool PeerFixture::Echo() const { return RunTool("echoscu" + Peer()).exitCode == 0; }

void PeerFixture::ExpectRowsMatchFiles(const std::string& exeFolder) const {
  const std::string folder = exeFolder.empty() ? Folder() : exeFolder;
  // Read with the sqlite3 tool, independently of our own database layer.
  std::set<std::string> rowUids;
  std::istringstream rows(
      RunTool("sqlite3 " + folder + "database/ecg.db 'SELECT SOPInstanceUID FROM Objects'").output);
  for (std::string row; std::getline(rows, row);) rowUids.insert(row);
  std::set<std::string> fileUids;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(folder + "imagebox")) {
    if (!entry.is_regular_file()) continue;
    EXPECT_EQ(entry.path().extension(), ".dcm") << "left in the store: " << entry.path();
    fileUids.insert(entry.path().stem().string());
  }
  EXPECT_EQ(rowUids, fileUids);
}

std::vector<std::string> DebugValues(const std::string& output, const std::string& label) {
  std::vector<std::string> values;
  std::istringstream lines(output);
  std::string line;
  const std::string head = "D: " + label;
  while (std::getline(lines, line)) {
    if (line.rfind(head, 0) != 0) continue;
    const size_t colon = line.find(':', head.size());
    if (colon == std::string::npos) continue;
    std::string value = line.substr(colon + 1);
    value.erase(0, value.find_first_not_of(' '));
    values.push_back(value.substr(0, value.find(':')));  // "0xff00: Pending..." -> "0xff00"
  }
  return values;
}
