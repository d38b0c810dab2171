// The TCP socket on Linux: reads bounded by the time-out, a peer's close, sends to a peer that
// reset the connection (no SIGPIPE), a connect bounded by the time-out, and no descriptor left
// behind by many associations.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <vector>

#include "dicom/util/Log.h"
#include "net/Dimse.h"
#include "net/PDU_Service.h"
#include "net/Socket.h"
#include "net/UniqueId.h"
#include "tests/net/LoggedTest.h"
#include "tests/net/PeerSupport.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

class SocketLinuxTest : public LoggedTest {};

sockaddr_in Loopback(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(uint16_t(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// A listening Socket on a free loopback port and a raw client connected to it, accepted.
struct AcceptedPair {
  AcceptedPair() {
    for (int attempt = 0; attempt < 5 && !server.IsListening(); ++attempt) {
      port = FreeLoopbackPort();
      server.Listen(std::to_string(port));
    }
    client = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = Loopback(port);
    connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
    server.Accept();
  }
  ~AcceptedPair() {
    if (client >= 0) close(client);
  }
  void ResetClient() {
    linger reset{1, 0};
    setsockopt(client, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    close(client);
    client = -1;
  }
  Socket server;
  int port = 0;
  int client = -1;
};

TEST_F(SocketLinuxTest, ReadsEndOnTimeOutAndOnThePeersClose) {
  {
    AcceptedPair pair;
    ASSERT_TRUE(pair.server.IsConnected());
    pair.server.SetTimeout(1);
    char byte = 0;
    EXPECT_EQ(pair.server.ReadBinary(&byte, 1), -1);
    EXPECT_NE(Log().find("ERROR, Socket::ReadBinary, Timed out"), std::string::npos);
    EXPECT_FALSE(pair.server.IsConnected());
    EXPECT_EQ(pair.server.ReadBinary(&byte, 1), -1);  // at once: the socket is closed
  }
  LogFree();
  fs::remove(folder + "test.log");
  LogInit(folder + "test.log", "", "");
  {
    AcceptedPair pair;
    ASSERT_TRUE(pair.server.IsConnected());
    close(pair.client);
    pair.client = -1;
    char byte = 0;
    EXPECT_EQ(pair.server.ReadBinary(&byte, 1), -1);
    EXPECT_FALSE(pair.server.IsConnected());
    EXPECT_EQ(Log(), "");  // a peer's close is not an error worth a line
    // The link buffer sees the closed socket as a failed read at once.
    Buffer link;
    link.UseSocket(&pair.server);
    uint8_t value = 0;
    EXPECT_FALSE(link.Read(&value, 1));
  }
}

// Without MSG_NOSIGNAL and SIGPIPE ignored this test process would be killed by the send.
TEST_F(SocketLinuxTest, SendsToAResetPeerFailWithoutKillingTheProcess) {
  AcceptedPair pair;
  ASSERT_TRUE(pair.server.IsConnected());
  pair.ResetClient();
  usleep(100000);
  std::vector<uint8_t> block(16384, 0x5A);
  bool sent = true;
  for (int i = 0; i < 50 && sent; ++i) sent = pair.server.SendBinary(block.data(), block.size());
  EXPECT_FALSE(sent);
  EXPECT_FALSE(pair.server.IsConnected());
  EXPECT_NE(Log().find("ERROR, Socket::SendBinary, couldn't send: "), std::string::npos);
}

// A listener whose queue is full drops further connection requests, so the kernel would retry
// for about two minutes; the connect must give up after the socket's time-out.
TEST_F(SocketLinuxTest, ConnectGivesUpAfterTheTimeOut) {
  int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(listen(listener, 0), 0);
  socklen_t size = sizeof address;
  getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
  int port = ntohs(address.sin_port);
  std::vector<int> queued;
  for (int i = 0; i < 8; ++i) {  // more than the queue holds
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
    queued.push_back(fd);
  }
  usleep(200000);
  Socket socket;
  socket.SetTimeout(1);
  auto start = Clock::now();
  bool connected = socket.Connect("127.0.0.1", std::to_string(port));
  auto elapsed = Clock::now() - start;
  for (int fd : queued) close(fd);
  close(listener);
  if (connected) GTEST_SKIP() << "this kernel accepted beyond the listen queue";
  EXPECT_FALSE(socket.IsConnected());
  EXPECT_LT(elapsed, std::chrono::seconds(30));  // bounded: far below the kernel's retries
  EXPECT_NE(Log().find("ERROR, Connecting to Socket: 127.0.0.1:" + std::to_string(port) + ", "),
            std::string::npos);
}

// Every descriptor is close-on-exec (a program the GUI starts must not keep the port), and the
// port can be listened on again at once once the listener and its connection are closed.
TEST_F(SocketLinuxTest, DescriptorsAreCloseOnExecAndThePortIsReusable) {
  auto closeOnExec = [](int fd) { return fd >= 0 && (fcntl(fd, F_GETFD) & FD_CLOEXEC) != 0; };
  int port = 0;
  {
    AcceptedPair pair;
    port = pair.port;
    ASSERT_TRUE(pair.server.IsConnected());
    EXPECT_TRUE(closeOnExec(pair.server.ConnectedFd()));
    Socket requestor;
    ASSERT_TRUE(requestor.Connect("127.0.0.1", std::to_string(port)));
    EXPECT_TRUE(closeOnExec(requestor.ConnectedFd()));
    struct Exposed : Socket {
      using Socket::listenSockfd;
    };
    Exposed listener;
    ASSERT_TRUE(listener.Listen(std::to_string(FreeLoopbackPort())));
    EXPECT_TRUE(closeOnExec(listener.listenSockfd));
    pair.server.Close();
  }
  Socket again;
  EXPECT_TRUE(again.Listen(std::to_string(port)));
}

// At log level 3 every block sent and received is dumped into the log; below it nothing is.
TEST_F(SocketLinuxTest, TrafficIsDumpedAtLevelThreeOnly) {
  TestAcceptor acceptor;
  auto echo = [&] {
    PDU_Service pdu;
    ResetUniqueId();
    auto* context = new PresentationContext;
    context->SetAbstractSyntax("1.2.840.10008.1.1");
    context->AddTransferSyntax("1.2.840.10008.1.2");
    pdu.assocRQ.AddPresentationContext(context);
    bool ok = pdu.Connect("127.0.0.1", std::to_string(acceptor.port())) &&
              CEcho::WriteRQ(&pdu, "1.2.840.10008.1.1") && CEcho::ReadRSP(&pdu);
    pdu.Close();
    return ok;
  };
  LogLevel = 2;
  ASSERT_TRUE(echo());
  EXPECT_EQ(Log().find(" >> 01 00 00 00 "), std::string::npos);
  LogLevel = 3;
  ASSERT_TRUE(echo());
  std::string log = Log();
  // The request leaves, the acceptance arrives (both ends log into the same file here), and the
  // release request is dumped with its ten bytes and their characters.
  EXPECT_NE(log.find(" >> 01 00 00 00 "), std::string::npos);
  EXPECT_NE(log.find(" << 02 00 00 00 "), std::string::npos);
  EXPECT_NE(log.find("    10 >> 05 00 00 00 00 04 00 00 00 00 \r\n..........\r\n\r\n"),
            std::string::npos);
  LogLevel = 1;
}

int OpenDescriptors() {
  int count = 0;
  for (const auto& entry : fs::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++count;
  }
  return count;
}

TEST_F(SocketLinuxTest, TwoHundredAssociationsLeaveNoDescriptorBehind) {
  TestAcceptor acceptor;
  auto echoOnce = [&] {
    PDU_Service pdu;
    ResetUniqueId();
    AAssociatePdu::SetTitle(pdu.assocRQ.CalledApTitle, "ANY-SCP");
    AAssociatePdu::SetTitle(pdu.assocRQ.CallingApTitle, "TREVALIND");
    auto* context = new PresentationContext;
    context->SetAbstractSyntax("1.2.840.10008.1.1");
    context->AddTransferSyntax("1.2.840.10008.1.2");
    pdu.assocRQ.AddPresentationContext(context);
    pdu.Link.socket().SetTimeout(10);
    bool ok = pdu.Connect("127.0.0.1", std::to_string(acceptor.port())) &&
              CEcho::WriteRQ(&pdu, "1.2.840.10008.1.1") && CEcho::ReadRSP(&pdu);
    pdu.Close();
    return ok;
  };
  ASSERT_TRUE(echoOnce());  // the first one opens what stays open (log, acceptor)
  for (int i = 0; i < 200 && acceptor.associations() < 1; ++i) usleep(10000);
  int baseline = OpenDescriptors();
  int failures = 0;
  for (int i = 0; i < 200; ++i)
    if (!echoOnce()) ++failures;
  EXPECT_EQ(failures, 0);
  for (int i = 0; i < 500 && acceptor.associations() < 201; ++i) usleep(10000);
  EXPECT_EQ(acceptor.associations(), 201);
  EXPECT_EQ(OpenDescriptors(), baseline);
}

}  // namespace
