// How a TCP connection ended, as the peer's side of it sees it: an orderly end of stream, or a
// reset (seen at once as ECONNRESET, or arriving after the end of stream, which a socket that
// is kept open notices in SO_ERROR). Raw loopback sockets only.
#pragma once

#include <atomic>
#include <mutex>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

enum class StreamEnd { Open, Orderly, Reset };
std::string ToString(StreamEnd end);
inline void PrintTo(StreamEnd end, std::ostream* out) { *out << ToString(end); }

// Reads `fd` until the end of the stream or an error, for at most boundMs; after an orderly end
// it waits settleMs more for a late reset. The descriptor stays open.
StreamEnd ReadToEnd(int fd, int boundMs, int settleMs);

// A relay on 127.0.0.1 in front of host:port that serves connections one after the other and
// records how each side of each connection ended. The end of the connecting side is passed on
// to the target only when `passClientEnd` is set, so a target can be watched while its peer
// still holds the connection open. Every descriptor stays open until the relay is destroyed.
class StreamEndRelay {
 public:
  StreamEndRelay(const std::string& targetHost, int targetPort, bool passClientEnd);
  ~StreamEndRelay();
  int port() const { return port_; }

  struct Ends {
    StreamEnd client = StreamEnd::Open;  // the side that connected to the relay
    StreamEnd target = StreamEnd::Open;
  };
  // Waits (at most 20 s) until `count` connections have ended on both sides, then settleMs for
  // late resets; the ends of every connection so far, in order.
  std::vector<Ends> Finished(size_t count, int settleMs);

 private:
  struct Connection {
    int fds[2] = {-1, -1};  // client, target
    StreamEnd ends[2] = {StreamEnd::Open, StreamEnd::Open};
  };
  void Serve();
  void Relay(Connection& connection);

  std::string targetHost_;
  int targetPort_;
  bool passClientEnd_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<Connection> finished_;
  std::thread thread_;
};
