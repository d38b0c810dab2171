#include "tests/peers/StreamEnd.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "tests/support/LoopbackPort.h"

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

// A reset that arrived after the end of stream is kept as the socket's pending error.
bool PendingError(int fd) {
  int error = 0;
  socklen_t size = sizeof error;
  return getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error != 0;
}

StreamEnd EndOfRead(ssize_t count) {
  if (count == 0) return StreamEnd::Orderly;
  return StreamEnd::Reset;  // ECONNRESET, or EPIPE for a reset after the peer's end
}

}  // namespace

std::string ToString(StreamEnd end) {
  switch (end) {
    case StreamEnd::Open:
      return "open";
    case StreamEnd::Orderly:
      return "orderly";
    case StreamEnd::Reset:
      return "reset";
  }
  return "?";
}

StreamEnd ReadToEnd(int fd, int boundMs, int settleMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(boundMs);
  char block[4096];
  for (;;) {
    pollfd entry{fd, POLLIN, 0};
    const int left = MillisecondsLeft(deadline);
    if (left == 0 || poll(&entry, 1, left) <= 0) return StreamEnd::Open;
    const ssize_t count = recv(fd, block, sizeof block, 0);
    if (count < 0 && errno == EINTR) continue;
    if (count > 0) continue;
    if (count < 0) return StreamEnd::Reset;
    break;
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
  return PendingError(fd) ? StreamEnd::Reset : StreamEnd::Orderly;
}

StreamEndRelay::StreamEndRelay(const std::string& targetHost, int targetPort, bool passClientEnd)
    : targetHost_(targetHost), targetPort_(targetPort), passClientEnd_(passClientEnd) {
  listener_ = ListenOnLoopback(port_);
  thread_ = std::thread([this] { Serve(); });
}

StreamEndRelay::~StreamEndRelay() {
  stop_ = true;
  thread_.join();
  close(listener_);
  for (const Connection& connection : finished_)
    for (int fd : connection.fds)
      if (fd >= 0) close(fd);
}

void StreamEndRelay::Serve() {
  while (!stop_) {
    pollfd entry{listener_, POLLIN, 0};
    if (poll(&entry, 1, 100) <= 0) continue;
    Connection connection;
    connection.fds[0] = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection.fds[0] < 0) continue;
    connection.fds[1] = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(targetPort_));
    inet_pton(AF_INET, targetHost_.c_str(), &address.sin_addr);
    if (connect(connection.fds[1], reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
      Relay(connection);
    std::lock_guard<std::mutex> hold(mutex_);
    finished_.push_back(connection);
  }
}

// Bytes pass both ways until both sides have ended (or 30 s have gone by).
void StreamEndRelay::Relay(Connection& c) {
  const auto deadline = Clock::now() + std::chrono::seconds(30);
  char block[65536];
  while (!stop_ && (c.ends[0] == StreamEnd::Open || c.ends[1] == StreamEnd::Open) &&
         MillisecondsLeft(deadline) > 0) {
    pollfd entries[2];
    nfds_t used = 0;
    int sides[2];
    for (int side = 0; side < 2; ++side) {
      if (c.ends[side] != StreamEnd::Open) continue;
      entries[used] = {c.fds[side], POLLIN, 0};
      sides[used++] = side;
    }
    if (poll(entries, used, 100) <= 0) continue;
    for (nfds_t i = 0; i < used; ++i) {
      if (!(entries[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const int from = sides[i];
      const ssize_t count = recv(c.fds[from], block, sizeof block, 0);
      if (count < 0 && errno == EINTR) continue;
      if (count > 0) {
        for (ssize_t sent = 0; sent < count;) {
          const ssize_t n =
              send(c.fds[1 - from], block + sent, static_cast<size_t>(count - sent), MSG_NOSIGNAL);
          if (n <= 0) break;
          sent += n;
        }
        continue;
      }
      c.ends[from] = EndOfRead(count);
      if (from == 1 || passClientEnd_) shutdown(c.fds[1 - from], SHUT_WR);
    }
  }
}

std::vector<StreamEndRelay::Ends> StreamEndRelay::Finished(size_t count, int settleMs) {
  const auto deadline = Clock::now() + std::chrono::seconds(20);
  for (;;) {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      if (finished_.size() >= count || MillisecondsLeft(deadline) == 0) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(settleMs));
  std::lock_guard<std::mutex> hold(mutex_);
  std::vector<Ends> ends;
  for (Connection& connection : finished_) {
    for (int side = 0; side < 2; ++side)
      if (connection.ends[side] == StreamEnd::Orderly && PendingError(connection.fds[side]))
        connection.ends[side] = StreamEnd::Reset;
    ends.push_back({connection.ends[0], connection.ends[1]});
  }
  return ends;
}
