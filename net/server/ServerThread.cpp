#include "net/server/ServerThread.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

#include "dicom/util/Log.h"
#include "net/Socket.h"
#include "net/server/ChildThread.h"
#include "platform/Files.h"

std::atomic<int> ConnectedClients{0};

namespace {
using namespace std::chrono_literals;

// Wakes an accept() blocked on our own port by connecting to it once; the loop then sees the
// stop flag. This needs nothing of the socket's internals and works whatever accept blocks on.
void WakeAccept(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::close(fd);
}
}  // namespace

ServerThread::~ServerThread() { Stop(); }

void ServerThread::Start() {
  thread_ = std::thread([this] { Execute(); });
}

void ServerThread::Stop() {
  if (!thread_.joinable()) return;
  terminated_ = true;
  const int port = ListeningPort();
  if (port > 0) WakeAccept(port);
  thread_.join();
}

int ServerThread::ListeningPort() {
  std::unique_lock<std::mutex> lock(mutex_);
  listened_.wait(lock, [this] { return listenDone_; });
  return port_;
}

void ServerThread::ReportListening(int port) {
  std::lock_guard<std::mutex> lock(mutex_);
  listenDone_ = true;
  port_ = port;
  listened_.notify_all();
}

void ServerThread::Execute() {
  try {
    // A store that was killed while writing left its temporary file; no row names it and no
    // writer of this process can own it yet, so it goes before the first object can arrive. The
    // count is logged after the listen's own line, which stays the first.
    const size_t removed = storeFolder.empty() ? 0 : RemoveTemporaryFiles(storeFolder);
    const auto logRemoved = [&] {
      if (!storeFolder.empty())
        LogWrite("INFO, Removed " + std::to_string(removed) + " leftover temporary files under " +
                 storeFolder);
    };
    Socket listener;
    if (!listener.Listen(portText)) {
      const std::string line = "ERROR: Couldn't initialize port: " + portText;
      LogWrite(line);
      logRemoved();
      ReportListening(-1);
      if (onListenFailed) onListenFailed(line);
      return;
    }
    LogWrite("Initialize port: " + portText);
    logRemoved();
    ReportListening(listener.LocalPort());
    AcceptLoop(listener);
  } catch (...) {
    LogWrite("ERROR, Exception in Server Thread");
    ReportListening(-1);
  }
}

void ServerThread::AcceptLoop(Socket& listener) {
  while (!terminated_ && listener.Accept()) {
    const int handle = listener.Release();
    if (terminated_) {
      if (handle >= 0) ::close(handle);
      break;
    }
    try {
      // Counted before the thread starts, so its decrement can never come first.
      const int count = ++ConnectedClients;
      ChildThread::Start(handle, storeFolder, ownAeTitle);
      if (LoggingAbove(0)) {
        LogWrite("Connected Clients: " + std::to_string(count));
      }
      while (ConnectedClients > kMaxConnectedClients && !terminated_)
        std::this_thread::sleep_for(1000ms);
    } catch (...) {
      LogWrite("ERROR, Exception in Server Thread Loop");
    }
  }
}

bool WaitForConnectedClients(int maxMilliseconds) {
  for (int waited = 0; ConnectedClients > 0; waited += 20) {
    if (waited >= maxMilliseconds) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}
