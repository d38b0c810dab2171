// The headless server binary (trevalind-server) as a process of its own: it serves dcmtk
// peers, and a SIGTERM while several storescu processes are sending ends it cleanly, with every
// Objects row beside its file and the study database intact.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "tests/peers/PeerFixture.h"

namespace {
constexpr const char* kServerBinary = TREVALIND_BINARY_DIR "/net/server/trevalind-server";

class HeadlessServer : public PeerFixture {};

TEST_F(HeadlessServer, StopDuringStoresKeepsRowsAndFilesTogether) {
  const std::string folder = Folder() + "headless/";
  std::filesystem::create_directories(folder);
  const std::string port = std::to_string(FreeLoopbackPort());
  std::string senders;
  for (int p = 0; p < 4; ++p) {
    std::string files;
    for (int i = 1 + p * 12; i <= 12 + p * 12; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "bulk/bulk_%02d.dcm", i);
      files += Fixture(name) + " ";
    }
    senders += "(storescu -aec TREVALIND 127.0.0.1 " + port + " " + files + ">/dev/null 2>&1) & ";
  }
  // The server runs under this shell, so its exit status can be read after the SIGTERM.
  const std::string script =
      std::string(kServerBinary) + " " + folder + " " + port + " TREVALIND 1 >" + folder +
      "out.txt 2>&1 & server=$!; "
      "for i in $(seq 100); do echoscu -aec TREVALIND 127.0.0.1 " +
      port + " 2>/dev/null && break; sleep 0.1; done; " + senders +
      "sleep 0.5; kill -TERM $server; wait $server; echo server-exit=$?; wait";
  const ToolResult run = RunTool("sh -c '" + script + "'");
  EXPECT_NE(run.output.find("server-exit=0"), std::string::npos) << run.output;
  const ToolResult check =
      RunTool("sqlite3 " + folder + "database/ecg.db 'PRAGMA integrity_check'");
  EXPECT_EQ(check.output, "ok\n");
  ExpectRowsMatchFiles(folder);
  std::ifstream log(folder + "logs/server.log");
  std::string first;
  std::getline(log, first);
  EXPECT_NE(first.find("Initialize port: " + port), std::string::npos) << first;
}
}  // namespace
