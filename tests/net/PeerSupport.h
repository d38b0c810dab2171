// Test support for runs against real peers: free loopback ports, a minimal acceptor built on
// PDU_Service and child processes (dcmtk tools) with a bound; the temporary folder is the tests'
// common one (tests/support).
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/BoundedRun.h"
#include "tests/support/LoopbackPort.h"
#include "tests/support/TempFolder.h"

// Starts a program in the background (argv[0] looked up in PATH); returns its pid.
pid_t StartProcess(const std::vector<std::string>& argv, const std::string& outputFile);
void StopProcess(pid_t pid);
// Waits until something listens on the loopback port (bounded).
bool WaitForListener(int port, int milliseconds);

// A TCP relay on a loopback port in front of `targetPort` that parses the PDU headers passing
// in each direction and keeps the largest PDU length seen (bytes after the 6-byte header).
// Serves connections one after the other until destroyed.
class PduRelay {
 public:
  explicit PduRelay(int targetPort);
  ~PduRelay();
  int port() const { return port_; }
  uint32_t largestToTarget() const { return largest_[0].load(); }
  uint32_t largestFromTarget() const { return largest_[1].load(); }
  int pdataPdusToTarget() const { return pdata_[0].load(); }

 private:
  void Serve(int listener);
  void Relay(int client, int target);
  int targetPort_;
  int port_ = 0;
  int listener_ = -1;
  std::atomic<bool> stop_{false};
  std::atomic<uint32_t> largest_[2] = {0, 0};
  std::atomic<int> pdata_[2] = {0, 0};
  std::thread thread_;
};

// Serves associations one after the other on a loopback port: answers C-ECHO and stores every
// C-STORE data set as a Part 10 file in `storeFolder`. Stops in its destructor.
class TestAcceptor {
 public:
  explicit TestAcceptor(const std::string& storeFolder = "", int readTimeoutSeconds = 5);
  ~TestAcceptor();
  int port() const { return port_; }
  int associations() const { return served_.load(); }
  int echoes() const { return echoes_.load(); }
  int stores() const { return stores_.load(); }

 private:
  void Serve();
  void ServeOne(int fd);
  std::string storeFolder_;
  int readTimeout_;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<bool> listening_{false};
  std::atomic<int> served_{0};
  std::atomic<int> echoes_{0};
  std::atomic<int> stores_{0};
  std::thread thread_;
};
