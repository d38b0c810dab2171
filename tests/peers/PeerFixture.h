// The in-process server with dcmtk tools as its peers and pydicom-made objects to send.
#pragma once

#include <string>
#include <vector>

#include "tests/server/ServerFixture.h"

class PeerFixture : public ServerFixture {
 protected:
  void SetUp() override;

  // " -aec TREVALIND 127.0.0.1 <port>": what every dcmtk tool appends to reach the server.
  std::string Peer() const { return " -aec TREVALIND 127.0.0.1 " + Port() + " "; }
  std::string Fixture(const std::string& name) const { return fixtures_ + "/" + name; }
  ToolResult StoreFiles(const std::string& files, const std::string& options = "") const;
  bool Echo() const;
  // Objects rows (read with the sqlite3 tool) and store files agree one to one, and no
  // temporary file is left; in the server's folder, or in another executable folder.
  void ExpectRowsMatchFiles(const std::string& exeFolder = "") const;

  std::string fixtures_;
};

// The values of every "D: <label> : <value>" line of a dcmtk -d output, in order.
std::vector<std::string> DebugValues(const std::string& output, const std::string& label);
