// One association as acceptor: negotiation, then one command after another through the command
// table until the association ends, then the 1,000 ms pause and the close (in order after the
// peer's release, a reset after anything else).
#pragma once

#include <string>

class ChildThread {
 public:
  // Starts a detached thread for the accepted connection, with all its fields set; from then on
  // the caller never touches it. ConnectedClients must already count it.
  static void Start(int socketHandle, const std::string& storeFolder,
                    const std::string& ownAeTitle);

  int socketHandle = -1;
  std::string storeFolder;
  std::string ownAeTitle;

  void Execute();
};
