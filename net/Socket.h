// The TCP endpoint under the DICOM upper layer: listen, accept, connect, reads bounded by a
// time-out, whole sends, and (at log level 3) a hex dump of every block into the log.
//
// Below: POSIX sockets (IPv4, blocking, poll for the read time-out). Above: the link Buffer
// (net/Buffer.h), which is the only reader and writer of a connected Socket, and the server's
// listening loop. This layer knows nothing of PDUs.
//
// Ports below 1024 (the default "104") need root or CAP_NET_BIND_SERVICE on Linux: either
// `setcap cap_net_bind_service=+ep <program>` or `sysctl net.ipv4.ip_unprivileged_port_start=104`.
//
// SendBinary and ReadBinary are virtual so that a test or a fuzzer can put an in-memory byte
// stream under the upper layer (see tests/fuzz/net).
#pragma once

#include <netinet/in.h>

#include <atomic>
#include <cstdint>
#include <string>

// Live Socket objects. Kept for its count only: the POSIX socket library needs no start.
extern std::atomic<uint16_t> SocketUseCount;

enum class DumpDirection { Sent, Received };
// Appends one traffic block to the log: "%6d >> " or "%6d << ", up to 256 hex pairs, the same
// bytes as characters, " [MORE DATA...]" when longer. Goes through LogAppendRaw, not LogWrite.
void DumpSocketData(const void* bytes, int length, DumpDirection direction);
// The dump text itself, for tests.
std::string FormatSocketDump(const void* bytes, int length, DumpDirection direction);

class Socket {
 public:
  static constexpr int kDefaultTimeoutSeconds = 300;
  static constexpr int kListenBacklog = 10;

  Socket();
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;
  virtual ~Socket();

  bool Listen(const std::string& port);
  bool Accept();
  virtual bool Connect(const std::string& host, const std::string& port);
  // True when every byte was handed to the network (short sends and EINTR are looped).
  virtual bool SendBinary(const void* bytes, uint32_t length);
  // At least 1 byte, or -1 (time-out, peer closed, error, not connected); never 0. After a
  // time-out, a close by the peer or an error the socket is closed, so later reads fail at once.
  virtual int ReadBinary(void* buffer, uint32_t size);
  bool Close();
  // Closes a connected socket after a final PDU: half-close, then wait (bounded) for the peer to
  // close, so that the linger-0 reset cannot discard bytes still queued for sending.
  void CloseAfterFinalPdu(int waitMilliseconds = 2000);
  // The orderly end after a completed release: the reset on close is turned off, the sending
  // side shut down, input that already arrived discarded, and the socket closed, so the peer
  // sees the end of the stream and no reset. Every other close still resets.
  void CloseGracefully();
  bool SetTimeout(int seconds);
  int GetLastError() const { return lastError; }
  // The port in host byte order, or -1 when the text is neither a number nor a known service.
  int ResolvePort(const std::string& port);
  // The IPv4 address (network byte order); INADDR_NONE when the host cannot be resolved.
  uint32_t GetHostByName(const std::string& host);

  // Takes over a connection accepted elsewhere (the server hands it to the association).
  void Adopt(int connectedFd);
  // Gives up the connected descriptor without closing it (the server's hand-over).
  int Release();
  // The port a listening socket is bound to (useful after Listen("0")-style OS choice).
  int LocalPort() const;

  bool IsConnected() const { return connected; }
  bool IsListening() const { return listening; }
  int ConnectedFd() const { return sockfd; }
  int Timeout() const { return timeout; }

 protected:
  // One accept(2) on the listening socket: a descriptor, or -1 with errno set. Virtual so that a
  // test can script the errors accept passes on (descriptor shortage, aborted connections).
  virtual int AcceptOnce();

  int lastError = 0;
  uint32_t address = 0;
  int sockfd = -1;        // the connection being served; -1 none
  int listenSockfd = -1;  // -1 none
  bool connected = false;
  bool listening = false;
  int timeout = kDefaultTimeoutSeconds;
  sockaddr_in socketAddress{};

 private:
  // Asks the kernel to acknowledge what arrives next at once instead of delaying the ACK. Linux
  // delays ACKs once the traffic looks like request and answer, and a peer that sends with
  // Nagle's algorithm holds the last small piece of its next message until its earlier bytes are
  // acknowledged: every message would stall by about 40 ms, and every PDU would wait for this
  // thread to wake. ReadBinary asks for it each time it has to wait.
  void AcknowledgeAtOnce();
};
