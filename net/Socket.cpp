// POSIX implementation of the TCP endpoint (see Socket.h for the layer boundary).
#include "net/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "dicom/util/Log.h"

std::atomic<uint16_t> SocketUseCount{0};

namespace {

constexpr int kDumpShownBytes = 256;
constexpr int kAcceptRetryMilliseconds = 1000;
constexpr int kMillisecondsPerSecond = 1000;
constexpr int kGracefulDrainReads = 16;

// A send on a connection the peer has reset must never kill the process: every send carries
// MSG_NOSIGNAL, and SIGPIPE is ignored once, as soon as the first socket exists.
void IgnoreSigpipeOnce() {
  static const bool done = [] {
    std::signal(SIGPIPE, SIG_IGN);
    return true;
  }();
  (void)done;
}

void CloseFd(int& fd) {
  if (fd >= 0) {
    ::close(fd);
    fd = -1;
  }
}

void SetLinger(int fd, bool resetOnClose) {
  linger value{};
  value.l_onoff = resetOnClose ? 1 : 0;
  value.l_linger = 0;
  setsockopt(fd, SOL_SOCKET, SO_LINGER, &value, sizeof value);
}

void SetLingerZero(int fd) { SetLinger(fd, true); }

// A TCP stream socket whose close resets the connection (and so does every socket accepted
// from it); -1, logged, when none can be made.
int NewTcpSocket() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd < 0) {
    LogWrite("ERROR, could not create socket");
    return -1;
  }
  SetLingerZero(fd);
  return fd;
}

// port in host byte order, address in network byte order.
sockaddr_in Ipv4Address(int port, uint32_t address) {
  sockaddr_in value{};
  value.sin_family = AF_INET;
  value.sin_port = htons(static_cast<uint16_t>(port));
  value.sin_addr.s_addr = address;
  return value;
}

// Every PDU leaves in one send, so Nagle's algorithm only delays it: a small response would
// wait for the peer's delayed ACK.
bool SetNoDelay(int fd) {
  int on = 1;
  return setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
}

// Waits for `events` on fd within `milliseconds`, retrying EINTR with the time that remains.
int PollFor(int fd, short events, int milliseconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  for (;;) {
    pollfd entry{fd, events, 0};
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now())
                    .count();
    if (left < 0) left = 0;
    int result = ::poll(&entry, 1, static_cast<int>(left));
    if (result < 0 && errno == EINTR) continue;
    if (result <= 0) return result;
    return entry.revents;
  }
}

// Leading decimal number as atol reads it (blanks, sign, digits).
long LeadingNumber(const std::string& text) { return std::atol(text.c_str()); }

}  // namespace

std::string FormatSocketDump(const void* bytes, int length, DumpDirection direction) {
  const auto* data = static_cast<const uint8_t*>(bytes);
  char header[32];
  std::snprintf(header, sizeof header, direction == DumpDirection::Sent ? "%6d >> " : "%6d << ",
                length);
  std::string text = header;
  int shown = length < kDumpShownBytes ? length : kDumpShownBytes;
  bool more = length > kDumpShownBytes;
  for (int i = 0; i < shown; ++i) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02X ", data[i]);
    text += pair;
  }
  if (more) text += " [MORE DATA...]";
  text += "\r\n";
  for (int i = 0; i < shown; ++i) text += (data[i] >= 32 && data[i] <= 122) ? char(data[i]) : '.';
  if (more) text += " [MORE DATA...]";
  text += "\r\n\r\n";
  return text;
}

void DumpSocketData(const void* bytes, int length, DumpDirection direction) {
  std::string text = FormatSocketDump(bytes, length, direction);
  LogAppendRaw(text.data(), text.size());
}

Socket::Socket() {
  IgnoreSigpipeOnce();
  SocketUseCount.fetch_add(1);
}

Socket::~Socket() {
  if (sockfd >= 0) ::shutdown(sockfd, SHUT_RDWR);
  CloseFd(sockfd);
  CloseFd(listenSockfd);
  SocketUseCount.fetch_sub(1);
}

int Socket::ResolvePort(const std::string& port) {
  auto number = static_cast<uint16_t>(LeadingNumber(port));
  if (number != 0) return number;
  servent entry{};
  servent* found = nullptr;
  char scratch[1024];
  if (getservbyname_r(port.c_str(), nullptr, &entry, scratch, sizeof scratch, &found) != 0 ||
      !found)
    return -1;
  return ntohs(static_cast<uint16_t>(found->s_port));
}

uint32_t Socket::GetHostByName(const std::string& host) {
  // A dotted address first, so that a name starting with a digit ("3dlab-pacs") is still
  // looked up by name when it is not an address.
  in_addr parsed{};
  if (inet_aton(host.c_str(), &parsed)) {
    address = parsed.s_addr;
    return address;
  }
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  address = INADDR_NONE;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &list) == 0 && list) {
    address = reinterpret_cast<sockaddr_in*>(list->ai_addr)->sin_addr.s_addr;
    freeaddrinfo(list);
  }
  return address;
}

bool Socket::Listen(const std::string& port) {
  connected = listening = false;
  CloseFd(sockfd);
  int number = ResolvePort(port);
  if (number < 0) {
    LogWrite("ERROR, could not resolve port");
    return false;
  }
  int fd = NewTcpSocket();
  if (fd < 0) return false;
  int on = 1;
  setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  socketAddress = Ipv4Address(number, htonl(INADDR_ANY));
  if (::bind(fd, reinterpret_cast<sockaddr*>(&socketAddress), sizeof socketAddress) != 0) {
    lastError = errno;
    ::close(fd);
    LogWrite("ERROR, could not bind socket");
    return false;
  }
  if (::listen(fd, kListenBacklog) != 0) {
    ::close(fd);
    LogWrite("ERROR, listening to socket");
    return false;
  }
  CloseFd(listenSockfd);
  listenSockfd = fd;
  listening = true;
  return true;
}

bool Socket::Accept() {
  if (!listening) {
    LogWrite("ERROR Socket:Accept not Listened");
    return false;
  }
  if (listenSockfd < 0) {
    LogWrite("ERROR Socket:Accept not ListenedSocketfd");
    return false;
  }
  for (;;) {
    int fd = AcceptOnce();
    if (fd >= 0) {
      // Linux copies these from the listener, but the reset on close and the immediate send
      // of every PDU must not depend on that.
      SetLingerZero(fd);
      SetNoDelay(fd);
      CloseFd(sockfd);
      sockfd = fd;
      connected = true;
      return true;
    }
    int error = errno;
    // Ordinary results of accept on Linux: a signal, a connection that died in the queue, and
    // the network errors accept(2) passes on. None of them should stop the server.
    if (error == EINTR || error == ECONNABORTED || error == EPROTO || error == ENETDOWN ||
        error == ENOPROTOOPT || error == EHOSTDOWN || error == ENONET || error == EHOSTUNREACH ||
        error == EOPNOTSUPP || error == ENETUNREACH)
      continue;
    // Out of descriptors or memory: a passing shortage; wait and try again.
    if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM) {
      LogWrite(std::string("ERROR, Socket::Accept, ") + std::strerror(error) + ", retrying");
      std::this_thread::sleep_for(std::chrono::milliseconds(kAcceptRetryMilliseconds));
      continue;
    }
    lastError = error;
    CloseFd(listenSockfd);
    CloseFd(sockfd);
    connected = listening = false;
    LogWrite("ERROR Socket:Accept not Socketfd");
    return false;
  }
}

int Socket::AcceptOnce() {
  socklen_t size = sizeof socketAddress;
  return ::accept4(listenSockfd, reinterpret_cast<sockaddr*>(&socketAddress), &size, SOCK_CLOEXEC);
}

bool Socket::Connect(const std::string& host, const std::string& port) {
  CloseFd(sockfd);
  connected = false;
  uint32_t hostAddress = GetHostByName(host);
  int number = ResolvePort(port);
  if (number < 0) {
    LogWrite("ERROR, could not resolve host port");
    return false;
  }
  int fd = NewTcpSocket();
  if (fd < 0) return false;
  if (!SetNoDelay(fd)) {
    ::close(fd);
    LogWrite("ERROR, set socket option");
    return false;
  }
  socketAddress = Ipv4Address(number, hostAddress);
  // Non-blocking connect, bounded by the time-out: a host that never answers must not freeze
  // the caller for the kernel's two minutes.
  int flags = fcntl(fd, F_GETFL, 0);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
  int error = 0;
  if (hostAddress == INADDR_NONE) {
    error = EHOSTUNREACH;
  } else if (::connect(fd, reinterpret_cast<sockaddr*>(&socketAddress), sizeof socketAddress) !=
             0) {
    error = errno;
    if (error == EINPROGRESS || error == EINTR) {
      int events = PollFor(fd, POLLOUT, timeout * kMillisecondsPerSecond);
      if (events <= 0) {
        error = ETIMEDOUT;
      } else {
        socklen_t size = sizeof error;
        if (getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
      }
    }
  }
  lastError = error;
  if (error != 0) {
    ::close(fd);
    LogWrite("ERROR, Connecting to Socket: " + host + ":" + port + ", " + std::to_string(error));
    return false;
  }
  fcntl(fd, F_SETFL, flags);
  sockfd = fd;
  connected = true;
  return true;
}

bool Socket::SendBinary(const void* bytes, uint32_t length) {
  if (!connected) return false;
  const auto* data = static_cast<const uint8_t*>(bytes);
  uint32_t sent = 0;
  while (sent < length) {
    ssize_t result = ::send(sockfd, data + sent, length - sent, MSG_NOSIGNAL);
    if (result < 0) {
      int error = errno;
      if (error == EINTR) continue;
      lastError = error;
      LogWrite("ERROR, Socket::SendBinary, couldn't send: " + std::to_string(error));
      Close();
      return false;
    }
    sent += static_cast<uint32_t>(result);
  }
  if (LoggingAbove(2)) DumpSocketData(bytes, static_cast<int>(length), DumpDirection::Sent);
  return true;
}

int Socket::ReadBinary(void* buffer, uint32_t size) {
  if (!connected) return -1;
  // Bytes already waiting are taken at once; only an empty socket costs a wait, which is the
  // one bounded by the time-out.
  for (;;) {
    ssize_t count = ::recv(sockfd, buffer, size, MSG_DONTWAIT);
    if (count > 0) {
      if (LoggingAbove(2)) DumpSocketData(buffer, static_cast<int>(count), DumpDirection::Received);
      return static_cast<int>(count);
    }
    if (count < 0 && errno == EINTR) continue;
    if (count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // What has been read is acknowledged before the wait. A sender that holds its next small
      // write until then (Nagle) would otherwise wait for a delayed acknowledgement, or for this
      // thread to wake, once per PDU.
      AcknowledgeAtOnce();
      // POLLHUP and POLLERR count as readable: the next recv reports them.
      if (PollFor(sockfd, POLLIN, timeout * kMillisecondsPerSecond) <= 0) {
        Close();
        LogWrite("ERROR, Socket::ReadBinary, Timed out");
        return -1;
      }
      continue;
    }
    if (count < 0) lastError = errno;
    Close();
    return -1;
  }
}

void Socket::AcknowledgeAtOnce() {
  if (sockfd < 0) return;
  int on = 1;
  setsockopt(sockfd, IPPROTO_TCP, TCP_QUICKACK, &on, sizeof on);
}

bool Socket::Close() {
  CloseFd(listenSockfd);
  CloseFd(sockfd);
  connected = listening = false;
  return true;
}

void Socket::CloseAfterFinalPdu(int waitMilliseconds) {
  if (sockfd >= 0) {
    ::shutdown(sockfd, SHUT_WR);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMilliseconds);
    char scratch[256];
    for (;;) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                      deadline - std::chrono::steady_clock::now())
                      .count();
      if (left <= 0) break;
      if (PollFor(sockfd, POLLIN, static_cast<int>(left)) <= 0) break;
      ssize_t count = ::recv(sockfd, scratch, sizeof scratch, 0);
      if (count < 0 && errno == EINTR) continue;
      if (count <= 0) break;
    }
  }
  Close();
}

void Socket::CloseGracefully() {
  if (sockfd >= 0) {
    SetLinger(sockfd, false);
    ::shutdown(sockfd, SHUT_WR);
    // Bytes left unread would turn the close into a reset after all. Only what has arrived is
    // read, and no more than a bound: a peer that goes on sending gets its reset.
    char scratch[4096];
    for (int reads = 0; reads < kGracefulDrainReads;) {
      ssize_t count = ::recv(sockfd, scratch, sizeof scratch, MSG_DONTWAIT);
      if (count < 0 && errno == EINTR) continue;
      if (count <= 0) break;
      ++reads;
    }
  }
  Close();
}

bool Socket::SetTimeout(int seconds) {
  timeout = seconds;
  return true;
}

void Socket::Adopt(int connectedFd) {
  CloseFd(sockfd);
  sockfd = connectedFd;
  connected = connectedFd >= 0;
}

int Socket::Release() {
  int fd = sockfd;
  sockfd = -1;
  connected = false;
  return fd;
}

int Socket::LocalPort() const {
  int fd = listenSockfd >= 0 ? listenSockfd : sockfd;
  if (fd < 0) return -1;
  sockaddr_in local{};
  socklen_t size = sizeof local;
  if (getsockname(fd, reinterpret_cast<sockaddr*>(&local), &size) != 0) return -1;
  return ntohs(local.sin_port);
}
