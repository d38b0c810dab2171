// How the program's associations end as the peer's side of the TCP connection sees them: an
// orderly end of stream after a completed release, in either role; a reset after an abort, a
// protocol error or a time-out. The peer's side is a raw loopback socket (a relay in front of
// dcmtk's storescp or of our own server, or the bare socket of a scripted peer).
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <thread>

#include "db/StudyInfo.h"
#include "net/Dimse.h"
#include "net/PDU_Service.h"
#include "net/UniqueId.h"
#include "net/client/ClientOperations.h"
#include "net/server/rules/CommandTable.h"
#include "tests/peers/PeerFixture.h"
#include "tests/peers/StreamEnd.h"

namespace {

constexpr const char* kStudy = "1.2.826.0.1.3680043.8.498.7.1";
constexpr int kSettleMs = 1500;  // longer than the acceptor's pause plus its wait for the peer

class ReleasePeer : public PeerFixture {
 protected:
  void SetUp() override {
    PeerFixture::SetUp();
    if (HasFatalFailure()) return;
    ASSERT_EQ(StoreFiles(Fixture("ecg_12lead.dcm")).exitCode, 0);
  }
};

// The program closed every connection with SO_LINGER 0, so even after a completed release the
// peer got a reset, which strict peers count as a failed association. Echo and C-MOVE
// sub-association go to storescp, the find to our own server, each through a relay that reads
// the program's side until its end; our server also serves dcmtk's echoscu through a relay that
// keeps the requestor's side open, so the acceptor's own close is what the relay sees.
TEST_F(ReleasePeer, ReleasedAssociationsEndInOrderOnBothSides) {
  const int scpPort = FreeLoopbackPort();
  std::filesystem::create_directories(Folder() + "received");
  StartStorescp("", Folder() + "received", scpPort);
  StreamEndRelay toStorescp("127.0.0.2", scpPort, true);
  StreamEndRelay toServer("127.0.0.1", port_, false);
  WriteRemotes("1|ARCHIVE1|127.0.0.1|" + std::to_string(toStorescp.port()) + "\n");
  const std::string relayToScp = std::to_string(toStorescp.port());
  const std::string relayToServer = std::to_string(toServer.port());

  EXPECT_TRUE(EchoSCU("127.0.0.1", relayToScp, "TREVALIND", "STORESCP", 10));

  PDU_Service find;
  ASSERT_TRUE(OpenAssociation(find, "127.0.0.1", relayToServer, "KORVA", "TREVALIND",
                              kStudyRootFindClass, 10));
  QueryRecords records;
  records.studies.push_back(std::make_unique<StudyInfo>());
  records.studies.back()->PatientName = "DOE*";
  ASSERT_TRUE(WriteFindRQ(find, records, kStudyRootFindClass, "STUDY"));
  int status = 0;
  do {
    status = ReadFindRSP(find, records, "STUDY");
  } while (status == 0xFF00);
  EXPECT_EQ(status, 0);
  find.Close();
  EXPECT_EQ(records.studies.size(), 1u);

  EXPECT_EQ(RunTool("echoscu -aec TREVALIND 127.0.0.1 " + relayToServer).exitCode, 0);

  const ToolResult move = RunTool("movescu -d -S -aem ARCHIVE1" + Peer() +
                                  "-k QueryRetrieveLevel=STUDY -k StudyInstanceUID=" + kStudy);
  const auto completed = DebugValues(move.output, "Completed Suboperations");
  ASSERT_FALSE(completed.empty()) << move.output;
  EXPECT_EQ(completed.back(), "1") << move.output;

  const auto scpEnds = toStorescp.Finished(2, 0);
  ASSERT_EQ(scpEnds.size(), 2u);
  EXPECT_EQ(scpEnds[0].client, StreamEnd::Orderly) << "echo";
  EXPECT_EQ(scpEnds[1].client, StreamEnd::Orderly) << "C-MOVE sub-association";
  const auto serverEnds = toServer.Finished(2, kSettleMs);
  ASSERT_EQ(serverEnds.size(), 2u);
  EXPECT_EQ(serverEnds[0].client, StreamEnd::Orderly) << "find, requestor";
  EXPECT_EQ(serverEnds[0].target, StreamEnd::Orderly) << "find, acceptor";
  EXPECT_EQ(serverEnds[1].target, StreamEnd::Orderly) << "dcmtk's echo, acceptor";
}

// A raw socket connected to our server with an association on it.
struct Associated {
  explicit Associated(const std::string& port) {
    ok = OpenAssociation(pdu, "127.0.0.1", port, "RAWPEER", "TREVALIND", "1.2.840.10008.1.1", 10);
  }
  int fd() { return pdu.Link.socket().ConnectedFd(); }
  PDU_Service pdu;
  bool ok = false;
};

struct ResetCase {
  const char* what;
  // Drives the program (our server on `serverPort`, or a requestor of ours) into the end and
  // returns the peer's view of it.
  std::function<StreamEnd(const std::string& serverPort)> run;
};

// A listener that accepts one connection and says nothing: our requestor times out.
StreamEnd RequestorTimesOut(const std::string& /*serverPort*/) {
  int listenPort = 0;
  const int listener = ListenOnLoopback(listenPort, 1);
  if (listener < 0) return StreamEnd::Open;
  const std::string port = std::to_string(listenPort);
  std::thread requestor([port] {
    PDU_Service pdu;
    OpenAssociation(pdu, "127.0.0.1", port, "TREVALIND", "SILENT", "1.2.840.10008.1.1", 1);
  });
  const int accepted = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  const StreamEnd end = ReadToEnd(accepted, 10000, kSettleMs);
  requestor.join();
  close(accepted);
  close(listener);
  return end;
}

TEST_F(ReleasePeer, AbortsProtocolErrorsAndTimeOutsStillReset) {
  const ResetCase cases[] = {
      {"the peer aborts",
       [](const std::string& serverPort) {
         Associated peer(serverPort);
         if (!peer.ok) return StreamEnd::Open;
         peer.pdu.abortRQ.Write(peer.pdu.Link);
         return ReadToEnd(peer.fd(), 10000, kSettleMs);
       }},
      {"a PDU of an unknown type",
       [](const std::string& serverPort) {
         Associated peer(serverPort);
         if (!peer.ok) return StreamEnd::Open;
         const uint8_t unknown[] = {0x09, 0, 0, 0, 0, 0x04, 0, 0, 0, 0};
         send(peer.fd(), unknown, sizeof unknown, MSG_NOSIGNAL);
         return ReadToEnd(peer.fd(), 10000, kSettleMs);
       }},
      {"our requestor times out", RequestorTimesOut},
  };
  for (const ResetCase& c : cases) EXPECT_EQ(c.run(Port()), StreamEnd::Reset) << c.what;
}

}  // namespace
