// The in-process server with dcmtk tools as its peers and pydicom-made objects to send.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

#include "tests/net/server/ServerFixture.h"

class PeerFixture : public ServerFixture {
 protected:
  void SetUp() override;
  void TearDown() override;

  // " -aec TREVALIND 127.0.0.1 <port>": what every dcmtk tool appends to reach the server.
  std::string Peer() const { return " -aec TREVALIND 127.0.0.1 " + Port() + " "; }
  std::string Fixture(const std::string& name) const { return fixtures_ + "/" + name; }
  ToolResult StoreFiles(const std::string& files, const std::string& options = "") const;
  bool Echo() const;
  // Objects rows (read with the sqlite3 tool) and store files agree one to one, and no
  // temporary file is left; in the server's folder, or in another executable folder.
  void ExpectRowsMatchFiles(const std::string& exeFolder = "") const;
  // Starts dcmtk's storescp with `options` on 127.0.0.2:<port>, writing what it receives into
  // `folder`, and waits until it answers echo. It is stopped at the end of the test, and ends
  // by itself after 300 s at the latest.
  void StartStorescp(const std::string& options, const std::string& folder, int port);

  std::string fixtures_;
  pid_t storescpPid_ = -1;
};

// The values of every "D: <label> : <value>" line of a dcmtk -d output, in order.
std::vector<std::string> DebugValues(const std::string& output, const std::string& label);
