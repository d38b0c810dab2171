// The DICOM server: a listening loop that hands every accepted connection to its own
// association thread (ChildThread), at most 41 at once.
//
// Below: the Socket (listen, accept) and the association service. Above: start-up, which fills
// the fields, installs the listen-failure callback and calls Start; tests and the headless
// binary do the same on port "0" and read the chosen port from ListeningPort.
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// Running association threads; the server adds 1 for each it starts, each subtracts 1 at its end.
extern std::atomic<int> ConnectedClients;

inline constexpr int kMaxConnectedClients = 40;

class ServerThread {
 public:
  ServerThread() = default;
  ServerThread(const ServerThread&) = delete;
  ServerThread& operator=(const ServerThread&) = delete;
  ~ServerThread();  // stops the listener

  // Starts the listening thread once the fields are set. Before it listens, the thread removes
  // the temporary files that writers killed mid-write left under the store folder; it logs how
  // many after the listen's own line.
  void Start();
  // Stops accepting: the loop ends and the listening socket closes. Running associations go on.
  void Stop();
  // The bound port once listening (waits for the listen to finish); -1 when it failed.
  int ListeningPort();

  std::string portText;
  std::string storeFolder;
  std::string ownAeTitle;
  // Called (on the server thread) with "ERROR: Couldn't initialize port: " + port when the
  // listen fails; start-up posts it to the GUI thread as a message box. Optional.
  std::function<void(const std::string&)> onListenFailed;

 private:
  void Execute();
  void AcceptLoop(class Socket& listener);
  void ReportListening(int port);

  std::thread thread_;
  std::atomic<bool> terminated_{false};
  std::mutex mutex_;
  std::condition_variable listened_;
  bool listenDone_ = false;
  int port_ = -1;
};

// Waits (bounded) until no association thread runs; true when none does.
bool WaitForConnectedClients(int maxMilliseconds);
