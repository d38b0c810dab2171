#include "tests/net/PeerSupport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "dicom/DcmObj.h"
#include "net/Dimse.h"
#include "net/PDU_Service.h"
#include "net/Socket.h"

pid_t StartProcess(const std::vector<std::string>& argv, const std::string& outputFile) {
  pid_t pid = fork();
  if (pid == 0) {
    int out = open(outputFile.empty() ? "/dev/null" : outputFile.c_str(),
                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(out, 2);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execvp(args[0], args.data());
    _exit(127);
  }
  return pid;
}

void StopProcess(pid_t pid) {
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  for (int i = 0; i < 50; ++i) {
    if (waitpid(pid, nullptr, WNOHANG) == pid) return;
    usleep(100000);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

bool WaitForListener(int port, int milliseconds) {
  for (int waited = 0; waited < milliseconds; waited += 50) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool ok = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(fd);
    if (ok) return true;
    usleep(50000);
  }
  return false;
}

TestAcceptor::TestAcceptor(const std::string& storeFolder, int readTimeoutSeconds)
    : storeFolder_(storeFolder), readTimeout_(readTimeoutSeconds) {
  thread_ = std::thread([this] { Serve(); });
  for (int i = 0; i < 200 && !listening_; ++i) usleep(10000);
}

TestAcceptor::~TestAcceptor() {
  stop_ = true;
  WaitForListener(port_, 100);  // wakes the blocking accept
  thread_.join();
}

void TestAcceptor::Serve() {
  Socket listener;
  for (int attempt = 0; attempt < 5 && !listening_; ++attempt) {
    port_ = FreeLoopbackPort();
    listening_ = listener.Listen(std::to_string(port_));
  }
  while (!stop_ && listener.Accept()) {
    int fd = listener.Release();
    if (stop_) {
      close(fd);
      break;
    }
    ServeOne(fd);
    ++served_;
  }
}

void TestAcceptor::ServeOne(int fd) {
  PDU_Service service;
  service.Link.socket().SetTimeout(readTimeout_);
  if (!service.Multiplex(fd)) return;
  for (;;) {
    DcmObj command;
    if (!service.Read(&command)) return;
    uint16_t field = command.GetUShort(0, 0x0100);
    if (CEcho::ReadRQ(&service, &command)) {
      if (!CEcho::WriteRSP(&service, &command)) return;
      ++echoes_;
    } else if (field == C_STORE_RQ) {
      DcmObj dataSet;
      if (!CStore::ReadRQ(&service, &command, &dataSet)) return;
      std::string name = storeFolder_ + "/" + command.GetString(0, 0x1000) + ".dcm";
      bool saved = !storeFolder_.empty() && dataSet.Write(name);
      if (!CStore::WriteRSP(&service, &command, saved ? kStatusSuccess : kStatusSavingFailed))
        return;
      ++stores_;
    } else {
      return;
    }
  }
}

namespace {
// Follows the PDU headers of one direction of a byte stream.
struct PduScanner {
  uint8_t header[6] = {};
  size_t headerBytes = 0;
  uint64_t bodyLeft = 0;
  void Scan(const uint8_t* data, size_t n, std::atomic<uint32_t>& largest,
            std::atomic<int>& pdata) {
    for (size_t i = 0; i < n;) {
      if (bodyLeft > 0) {
        size_t take = size_t(std::min<uint64_t>(bodyLeft, n - i));
        bodyLeft -= take;
        i += take;
        continue;
      }
      header[headerBytes++] = data[i++];
      if (headerBytes < 6) continue;
      headerBytes = 0;
      uint32_t length = uint32_t(header[2]) << 24 | uint32_t(header[3]) << 16 |
                        uint32_t(header[4]) << 8 | header[5];
      if (length > largest) largest = length;
      if (header[0] == 0x04) ++pdata;
      bodyLeft = length;
    }
  }
};
}  // namespace

PduRelay::PduRelay(int targetPort) : targetPort_(targetPort) {
  listener_ = ListenOnLoopback(port_);
  thread_ = std::thread([this] { Serve(listener_); });
}

PduRelay::~PduRelay() {
  stop_ = true;
  thread_.join();
  close(listener_);
}

void PduRelay::Serve(int listener) {
  while (!stop_) {
    pollfd entry{listener, POLLIN, 0};
    if (poll(&entry, 1, 100) <= 0) continue;
    int client = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    int target = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(targetPort_));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(target, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
      Relay(client, target);
    close(target);
    close(client);
  }
}

void PduRelay::Relay(int client, int target) {
  int ends[2] = {client, target};
  PduScanner scanners[2];
  std::vector<uint8_t> block(65536);
  while (!stop_) {
    pollfd entries[2] = {{client, POLLIN, 0}, {target, POLLIN, 0}};
    if (poll(entries, 2, 100) <= 0) continue;
    for (int from = 0; from < 2; ++from) {
      if (!(entries[from].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t count = recv(ends[from], block.data(), block.size(), 0);
      if (count <= 0) return;  // one side closed: the relay ends this connection
      scanners[from].Scan(block.data(), size_t(count), largest_[from], pdata_[from]);
      for (ssize_t sent = 0; sent < count;) {
        ssize_t n = send(ends[1 - from], block.data() + sent, size_t(count - sent), MSG_NOSIGNAL);
        if (n <= 0) return;
        sent += n;
      }
    }
  }
}
