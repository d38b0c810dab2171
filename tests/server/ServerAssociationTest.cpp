// The server with our own client operations as the peer: echo, refusals of commands without a
// service, listen failures, and that the server stays up after each.
#include <gtest/gtest.h>

#include "dicom/DcmObj.h"
#include "net/Dimse.h"
#include "net/PDU_Service.h"
#include "net/Socket.h"
#include "net/server/ClientOperations.h"
#include "net/server/ServerThread.h"
#include "net/server/rules/CommandTable.h"
#include "tests/server/ServerFixture.h"

namespace {
class ServerAssociation : public ServerFixture {};

TEST_F(ServerAssociation, EchoIsAnswered) {
  EXPECT_TRUE(EchoSCU("127.0.0.1", Port(), "TESTSCU", "TREVALIND", 30));
  EXPECT_TRUE(EchoSCU("127.0.0.1", Port(), "TESTSCU", "TREVALIND", 30));
}

TEST_F(ServerAssociation, EchoToANodeThatDoesNotListenFails) {
  const std::string unused = std::to_string(FreeLoopbackPort());
  EXPECT_FALSE(EchoSCU("127.0.0.1", unused, "TESTSCU", "TREVALIND", 5));
}

// A command without a service ends the association with its log line; the server goes on.
TEST_F(ServerAssociation, CommandsWithoutServiceEndTheAssociation) {
  const uint16_t commands[] = {0x0140, 0x0FFF};
  for (uint16_t field : commands) {
    PDU_Service pdu;
    ASSERT_TRUE(OpenAssociation(pdu, "127.0.0.1", Port(), "TESTSCU", "TREVALIND",
                                kVerificationClass, 30));
    DcmObj command;
    command.Add(new DcmTag(0x0000, 0x0002, std::string(kVerificationClass), "UI"));
    command.Add(new DcmTag(0x0000, 0x0100, field, "US"));
    command.Add(new DcmTag(0x0000, 0x0110, static_cast<uint16_t>(7), "US"));
    command.Add(new DcmTag(0x0000, 0x0800, static_cast<uint16_t>(0x0101), "US"));
    ASSERT_TRUE(pdu.Write(&command, 1));
    DcmObj answer;
    EXPECT_FALSE(pdu.Read(&answer));  // no response: the connection is closed
  }
  EXPECT_NE(LogText().find("ERROR: Service not implemented, Socket: "), std::string::npos);
  EXPECT_TRUE(EchoSCU("127.0.0.1", Port(), "TESTSCU", "TREVALIND", 30));
}

TEST_F(ServerAssociation, PortInUseIsReported) {
  ServerThread second;
  second.portText = Port();
  std::string reported;
  second.onListenFailed = [&reported](const std::string& line) { reported = line; };
  second.Start();
  EXPECT_EQ(second.ListeningPort(), -1);
  second.Stop();
  EXPECT_EQ(reported, "ERROR: Couldn't initialize port: " + Port());
  EXPECT_NE(LogText().find("ERROR: Couldn't initialize port: " + Port()), std::string::npos);
}
}  // namespace
