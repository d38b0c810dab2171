#include "tests/net/RawPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/net/Fixtures.h"

namespace {
constexpr int kWaitMilliseconds = 10000;

bool ReadExactly(int fd, uint8_t* out, size_t n) {
  size_t got = 0;
  while (got < n) {
    pollfd entry{fd, POLLIN, 0};
    if (poll(&entry, 1, kWaitMilliseconds) <= 0) return false;
    ssize_t count = recv(fd, out + got, n - got, 0);
    if (count <= 0) return false;
    got += size_t(count);
  }
  return true;
}
}  // namespace

RawReply SendRaw(int port, const std::vector<uint8_t>& script, SendMode mode) {
  RawReply reply;
  int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(uint16_t(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    close(fd);
    return reply;
  }
  int on = 1;
  setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  if (mode == SendMode::ByteByByte) {
    for (uint8_t byte : script) {
      send(fd, &byte, 1, MSG_NOSIGNAL);
      usleep(200);
    }
  } else if (mode == SendMode::ResetMidway) {
    send(fd, script.data(), script.size() / 2, MSG_NOSIGNAL);
    usleep(100000);
    linger reset{1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    close(fd);
    return reply;
  } else {
    send(fd, script.data(), script.size(), MSG_NOSIGNAL);
  }
  for (;;) {
    std::vector<uint8_t> pdu(6);
    if (!ReadExactly(fd, pdu.data(), 6)) break;
    uint32_t length =
        uint32_t(pdu[2]) << 24 | uint32_t(pdu[3]) << 16 | uint32_t(pdu[4]) << 8 | pdu[5];
    if (length > (1u << 20)) break;
    pdu.resize(6 + length);
    if (!ReadExactly(fd, pdu.data() + 6, length)) break;
    reply.types.push_back(pdu[0]);
    reply.pdus.push_back(pdu);
    if (pdu[0] == 0x02) send(fd, kReleaseRQBytes.data(), kReleaseRQBytes.size(), MSG_NOSIGNAL);
  }
  close(fd);
  return reply;
}
