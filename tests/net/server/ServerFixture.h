// A server running in-process on an OS-chosen loopback port, with a temporary executable folder
// holding its database, image store, log and remotes.txt. Peers (dcmtk tools) are run as child
// processes bounded by `timeout`.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "net/server/ServerThread.h"
#include "tests/support/BoundedRun.h"
#include "tests/support/LoopbackPort.h"

class DcmObj;
// A small 12-lead ECG object in explicit VR little endian, of patient DOE^JOHN, study date
// 20240102, in the test study; enough for the store to place and register it.
inline constexpr const char* kTestStudyUid = "1.2.826.0.1.3680043.8.498.9.1";
inline constexpr const char* kTestSeriesUid = "1.2.826.0.1.3680043.8.498.9.1.1";
void FillTestEcg(DcmObj& object, const std::string& sopUid,
                 const std::string& seriesUid = kTestSeriesUid);
// Runs a shell command with a 120 s bound, capturing its output.
inline ToolResult RunTool(const std::string& command) { return RunCaptured(command, 120); }

class ServerFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string Port() const { return std::to_string(port_); }
  std::string Folder() const { return root_.string() + "/"; }
  std::string Store() const { return Folder() + "imagebox/"; }
  std::string LogText() const;
  // Rows of a statement on database/ecg.db, each "col;col;".
  std::vector<std::string> EcgRows(const std::string& statement) const;
  // Every regular file under the image store.
  std::vector<std::string> StoredFiles() const;
  void WriteRemotes(const std::string& text) const;

  std::filesystem::path root_;
  std::unique_ptr<ServerThread> server_;
  int port_ = -1;
};
