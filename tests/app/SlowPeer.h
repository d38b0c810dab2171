// A slow query/retrieve node built on the project's own upper layer, for the browser's "Abort!":
// every C-FIND gets `findResults` pending responses (ECG studies) and every C-MOVE
// `movePending` pending responses, `delayMs` apart, each followed by a success. It records
// which studies were asked for on which association. Associations beyond `maxAssociations`
// find the port closed. A move of kFailingUid ends with a failure status.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/Socket.h"

class SlowPeer {
 public:
  static constexpr const char* kFailingUid = "1.2.3.666";

  SlowPeer(int findResults, int movePending, int delayMs, int maxAssociations = 16);
  ~SlowPeer();
  std::string port() const { return std::to_string(port_); }
  // The Study Instance UIDs of the C-MOVE requests, one list per association in accept order.
  std::vector<std::vector<std::string>> Moves();

 private:
  void AcceptLoop();
  void Serve(int fd, size_t association);
  bool Pause();  // false when the peer is being stopped

  const int findResults_, movePending_, delayMs_, maxAssociations_;
  Socket listener_;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> accepting_{true};
  std::mutex mutex_;
  std::vector<std::vector<std::string>> moves_;
  std::vector<std::thread> threads_;
  std::thread acceptor_;
};
