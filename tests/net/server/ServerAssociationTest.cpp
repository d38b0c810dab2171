// The server with our own client operations as the peer: echo, refusals of commands without a
// service, listen failures, hostile requests, the limit of running associations, and that the
// server stays up after each.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>

#include "dicom/DcmObj.h"
#include "net/Dimse.h"
#include "net/PDU_Service.h"
#include "net/Socket.h"
#include "net/client/ClientOperations.h"
#include "net/server/ServerThread.h"
#include "net/server/Services.h"
#include "net/server/rules/CommandTable.h"
#include "platform/Files.h"
#include "tests/net/server/ServerFixture.h"

namespace {
using namespace std::chrono_literals;

constexpr const char* kEcgClass = "1.2.840.10008.5.1.4.1.1.9.1.1";
constexpr const char* kMppsClass = "1.2.840.10008.3.1.2.3.3";

class ServerAssociation : public ServerFixture {
 protected:
  bool Open(PDU_Service& pdu, const std::string& abstractSyntax, int timeoutSeconds = 30) {
    return OpenAssociation(pdu, "127.0.0.1", Port(), "TESTSCU", "TREVALIND", abstractSyntax,
                           timeoutSeconds);
  }
  bool HasLine(const std::string& line) const { return LogText().find(line) != std::string::npos; }
};

// A command set as a careless or hostile peer would send it.
void FillCommand(DcmObj& command, const std::string& sopClass, uint16_t field,
                 uint16_t dataSetType) {
  command.Add(new DcmTag(0x0000, 0x0002, sopClass, "UI"));
  command.Add(new DcmTag(0x0000, 0x0100, field, "US"));
  command.Add(new DcmTag(0x0000, 0x0110, static_cast<uint16_t>(7), "US"));
  command.Add(new DcmTag(0x0000, 0x0800, dataSetType, "US"));
}

// Ends the connection with a reset (SO_LINGER 0), as a peer that crashes does.
void ResetConnection(PDU_Service& pdu) {
  const int fd = pdu.Link.socket().Release();
  const linger reset{1, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  ::close(fd);
}

TEST_F(ServerAssociation, EchoIsAnswered) {
  EXPECT_TRUE(EchoSCU("127.0.0.1", Port(), "TESTSCU", "TREVALIND", 30));
  EXPECT_TRUE(EchoSCU("127.0.0.1", Port(), "TESTSCU", "TREVALIND", 30));
}

// A calling title with CR/LF cannot forge a log line: it is logged as received, with dots for
// the control characters and its trailing blanks kept.
TEST_F(ServerAssociation, CallingTitleIsLoggedOnOneLine) {
  EXPECT_TRUE(EchoSCU("127.0.0.1", Port(), "EVIL\r\n12:00:00", "TREVALIND", 30));
  ASSERT_TRUE(WaitForConnectedClients(5000));
  EXPECT_TRUE(HasLine("Associated with EVIL..12:00:00  , Socket: "));
  EXPECT_FALSE(HasLine("\n12:00:00"));
  EXPECT_TRUE(HasLine("Close Connection: "));
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
    ASSERT_TRUE(
        OpenAssociation(pdu, "127.0.0.1", Port(), "TESTSCU", "TREVALIND", kVerificationClass, 30));
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
// A C-STORE-RQ without Affected SOP Instance UID cannot be answered: nothing is stored and the
// association ends.
TEST_F(ServerAssociation, StoreRequestWithoutInstanceUidStoresNothing) {
  PDU_Service pdu;
  ASSERT_TRUE(Open(pdu, kEcgClass));
  DcmObj command;
  FillCommand(command, kEcgClass, 0x0001, 0x0000);
  DcmObj object;
  FillTestEcg(object, "1.2.826.0.1.3680043.8.498.9.2.9");
  object.transferSyntax = "1.2.840.10008.1.2";
  object.explicitVR = false;
  ASSERT_TRUE(pdu.Write(&command, 1));
  ASSERT_TRUE(pdu.Write(&object, 0));
  DcmObj answer;
  EXPECT_FALSE(pdu.Read(&answer));
  EXPECT_TRUE(HasLine("ERROR, CStore::WriteRSP, SOP Instance UID is empty"));
  EXPECT_TRUE(HasLine("ERROR: Store RSP: Failed! "));
  EXPECT_TRUE(EcgRows("SELECT SOPInstanceUID FROM Objects").empty());
  EXPECT_TRUE(StoredFiles().empty());
  EXPECT_TRUE(EchoSCU("127.0.0.1", Port(), "TESTSCU", "TREVALIND", 30));
}

// The response confirmed the command's Affected SOP Instance UID while the file was named by
// the data set's, so a sender tracking its objects by the command counted as kept an object
// stored under another name. Padding aside, both UIDs must be the data set's.
TEST_F(ServerAssociation, StoreRequestWhoseDataSetIsNotTheAnnouncedObjectIsRefused) {
  constexpr const char* kGeneralEcgClass = "1.2.840.10008.5.1.4.1.1.9.1.2";
  const std::string sop = "1.2.826.0.1.3680043.8.498.9.4";
  const struct {
    const char* name;
    std::string commandClass, commandInstance, dataSetInstance;  // "": the data set has none
    uint16_t status;
  } cases[] = {
      {"the same UIDs", kEcgClass, sop + ".1", sop + ".1", 0x0000},
      {"padded differently", std::string(kEcgClass) + '\0', sop + ".2\0", sop + ".2 ", 0x0000},
      {"another instance", kEcgClass, sop + ".99", sop + ".3", 0xA900},
      {"another class", kGeneralEcgClass, sop + ".4", sop + ".4", 0xA900},
      {"no instance in the data set", kEcgClass, sop + ".5", "", 0xA900},
  };
  PDU_Service pdu;
  ASSERT_TRUE(Open(pdu, kEcgClass));
  size_t stored = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    DcmObj command;
    FillCommand(command, c.commandClass, 0x0001, 0x0000);
    command.Add(new DcmTag(0x0000, 0x1000, c.commandInstance, "UI"));
    DcmObj object;
    FillTestEcg(object, c.dataSetInstance);
    object.transferSyntax = "1.2.840.10008.1.2";
    object.explicitVR = false;
    ASSERT_TRUE(pdu.Write(&command, 1));
    ASSERT_TRUE(pdu.Write(&object, 0));
    EXPECT_EQ(ReadStoreRSP(pdu), c.status);
    if (c.status == 0) ++stored;
  }
  pdu.Close();
  EXPECT_TRUE(HasLine("ERROR, StoreExecute, SOP Instance UID of the command: " + sop +
                      ".99, of the data set: " + sop + ".3"));
  EXPECT_TRUE(HasLine(std::string("ERROR, StoreExecute, SOP Class UID of the command: ") +
                      kGeneralEcgClass + ", of the data set: " + kEcgClass));
  EXPECT_TRUE(HasLine("ERROR, Status=0xA900"));
  EXPECT_EQ(EcgRows("SELECT SOPInstanceUID FROM Objects").size(), stored);
  EXPECT_EQ(StoredFiles().size(), stored);
}

// A file layer that fails by throwing, as a library below might.
class ThrowingFiles : public FileSystem {
 public:
  bool CreateDirectories(const std::string&) override { throw std::runtime_error("disk\non fire"); }
};

// An exception while storing is answered with 0xA710 and logged by its own line alone (no
// status line); the association and the registration lock survive it, so the next object on
// the same association is stored.
TEST_F(ServerAssociation, ExceptionWhileStoringIsAnsweredAndTheAssociationGoesOn) {
  PDU_Service pdu;
  ASSERT_TRUE(Open(pdu, kEcgClass));
  ThrowingFiles throwing;
  SetFiles(&throwing);
  DcmObj first;
  FillTestEcg(first, "1.2.826.0.1.3680043.8.498.9.2.1");
  EXPECT_EQ(WriteStoreRQ(pdu, first, kEcgClass), 0);
  EXPECT_EQ(ReadStoreRSP(pdu), 0xA710);
  SetFiles(nullptr);
  DcmObj second;
  FillTestEcg(second, "1.2.826.0.1.3680043.8.498.9.2.2");
  EXPECT_EQ(WriteStoreRQ(pdu, second, kEcgClass), 0);
  EXPECT_EQ(ReadStoreRSP(pdu), 0);
  pdu.Close();
  EXPECT_TRUE(HasLine("ERROR, CSTORESCP: disk.on fire"));
  EXPECT_FALSE(HasLine("ERROR, Status=0x"));
  EXPECT_EQ(EcgRows("SELECT SOPInstanceUID FROM Objects").size(), 1u);
  EXPECT_EQ(StoredFiles().size(), 1u);
}

// Descriptors of this process open on `path` (the in-process server's connections).
int DescriptorsOn(const std::string& path) {
  int open = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    std::error_code error;
    if (std::filesystem::read_symlink(entry.path(), error) == path) ++open;
  }
  return open;
}

// Every stored object used to open the study database anew. An association keeps one
// connection for all its objects, open between them, and closes it when it ends.
TEST_F(ServerAssociation, AnAssociationStoresThroughOneDatabaseConnection) {
  const std::string database = Folder() + "database/ecg.db";
  ASSERT_EQ(DescriptorsOn(database), 0);
  PDU_Service pdu;
  ASSERT_TRUE(Open(pdu, kEcgClass));
  for (int n = 1; n <= 3; ++n) {
    DcmObj object;
    FillTestEcg(object, "1.2.826.0.1.3680043.8.498.9.2." + std::to_string(n));
    EXPECT_EQ(WriteStoreRQ(pdu, object, kEcgClass), 0);
    EXPECT_EQ(ReadStoreRSP(pdu), 0);
    EXPECT_EQ(DescriptorsOn(database), 1) << "after object " << n;
  }
  pdu.Close();
  ASSERT_TRUE(WaitForConnectedClients(30000));
  EXPECT_EQ(DescriptorsOn(database), 0);
  EXPECT_EQ(EcgRows("SELECT SOPInstanceUID FROM Objects").size(), 3u);
}

// A C-FIND on a context that no C-FIND service serves ends the association without an answer
// and without a log line.
TEST_F(ServerAssociation, FindOnAnotherAbstractSyntaxEndsSilently) {
  for (const char* abstractSyntax : {kMppsClass, kStudyRootMoveClass}) {
    PDU_Service pdu;
    ASSERT_TRUE(Open(pdu, abstractSyntax)) << abstractSyntax;
    DcmObj command;
    FillCommand(command, abstractSyntax, 0x0020, 0x0000);
    DcmObj identifier;
    identifier.Add(new DcmTag(0x0008, 0x0052, std::string("STUDY"), "CS"));
    ASSERT_TRUE(pdu.Write(&command, 1));
    ASSERT_TRUE(pdu.Write(&identifier, 0));
    DcmObj answer;
    EXPECT_FALSE(pdu.Read(&answer)) << abstractSyntax;
  }
  EXPECT_FALSE(HasLine("ERROR: Find RQ"));
  EXPECT_TRUE(EchoSCU("127.0.0.1", Port(), "TESTSCU", "TREVALIND", 30));
}

// A requestor that resets its association after the first pending C-MOVE response: the move
// goes on without it, nothing stored is lost, and the server serves the next peer.
TEST_F(ServerAssociation, RequestorResetDuringMoveResponses) {
  const char* uids[] = {"1.2.826.0.1.3680043.8.498.9.2.1", "1.2.826.0.1.3680043.8.498.9.2.2",
                        "1.2.826.0.1.3680043.8.498.9.2.3"};
  for (const char* uid : uids) {
    DcmObj object;
    FillTestEcg(object, uid);
    ASSERT_EQ(StoreExecute(object, Store(), "TESTSCU"), 0);
  }
  WriteRemotes("1|SELF|127.0.0.1|" + Port() + "\n");
  PDU_Service pdu;
  ASSERT_TRUE(Open(pdu, kStudyRootMoveClass));
  DcmObj identifier;
  identifier.Add(new DcmTag(0x0008, 0x0052, std::string("STUDY"), "CS"));
  identifier.Add(new DcmTag(0x0020, 0x000D, std::string(kTestStudyUid), "UI"));
  ASSERT_TRUE(CMove::WriteRQ(&pdu, &identifier, kStudyRootMoveClass, "SELF"));
  int remaining = -1;
  ASSERT_EQ(ReadMoveRSP(pdu, remaining), 0xFF00);
  EXPECT_EQ(remaining, 3);
  ResetConnection(pdu);
  EXPECT_TRUE(WaitForConnectedClients(60000));
  EXPECT_TRUE(HasLine("ERROR, cmoveWriteRSP"));
  EXPECT_TRUE(HasLine("ERROR, IMAGE Move Failed! "));
  EXPECT_EQ(EcgRows("SELECT SOPInstanceUID FROM Objects").size(), 3u);
  EXPECT_EQ(StoredFiles().size(), 3u);
  EXPECT_TRUE(EchoSCU("127.0.0.1", Port(), "TESTSCU", "TREVALIND", 30));
}

// A SERIES-level C-MOVE of the test study's series `seriesUid`; the final status.
int MoveSeriesTo(PDU_Service& pdu, const std::string& destination, const std::string& seriesUid) {
  DcmObj identifier;
  identifier.Add(new DcmTag(0x0008, 0x0052, std::string("SERIES"), "CS"));
  identifier.Add(new DcmTag(0x0020, 0x000D, std::string(kTestStudyUid), "UI"));
  identifier.Add(new DcmTag(0x0020, 0x000E, seriesUid, "UI"));
  if (!CMove::WriteRQ(&pdu, &identifier, kStudyRootMoveClass, destination)) return -1;
  int remaining = -1;
  int status = 0;
  while ((status = ReadMoveRSP(pdu, remaining)) == 0xFF00) {
  }
  return status;
}

// What a C-MOVE logs for an object it cannot send: a file missing before the series'
// association is open, one missing while it is open, and objects of an association that could
// not be opened (whose failure line stands for them all).
TEST_F(ServerAssociation, MoveLogsEachUnsentObjectByWhereItFailed) {
  const std::string silentPort = std::to_string(FreeLoopbackPort());
  WriteRemotes("1|SELF|127.0.0.1|" + Port() + "\n2|NOWHERE|127.0.0.1|" + silentPort + "\n");
  const struct {
    const char* destination;
    int removed;  // index of the object whose file is removed, -1 for none
    int status;
    const char* present;  // expected line before the path of the removed (or first) object
    const char* absent;
  } cases[] = {
      {"SELF", 1, 0xB000, "ERROR, reading file: ", "ERROR, Couldn't read file: "},
      {"SELF", 1, 0xB000, "ERROR, IMAGE Move Failed! ", "ERROR, Couldn't read file: "},
      {"SELF", 0, 0xB000, "ERROR, Couldn't read file: ", "ERROR, reading file: "},
      {"NOWHERE", -1, 0xA702, "", "ERROR, IMAGE Move Failed! "},
  };
  int n = 0;
  for (const auto& c : cases) {
    const std::string series = std::string(kTestSeriesUid) + "." + std::to_string(++n);
    std::vector<std::string> paths;
    for (int i = 0; i < 3; ++i) {
      const std::string uid = series + "." + std::to_string(i + 1);
      DcmObj object;
      FillTestEcg(object, uid, series);
      ASSERT_EQ(StoreExecute(object, Store(), "TESTSCU"), 0);
      for (const std::string& file : StoredFiles()) {
        if (file.size() > uid.size() + 5 &&
            file.compare(file.size() - uid.size() - 5, std::string::npos, "/" + uid + ".dcm") == 0)
          paths.push_back(file);
      }
    }
    ASSERT_EQ(paths.size(), 3u);
    const std::string& target = paths[c.removed < 0 ? 0 : c.removed];
    if (c.removed >= 0) std::filesystem::remove(target);
    PDU_Service pdu;
    ASSERT_TRUE(Open(pdu, kStudyRootMoveClass));
    EXPECT_EQ(MoveSeriesTo(pdu, c.destination, series), c.status) << n;
    pdu.Close();
    if (*c.present) {
      EXPECT_TRUE(HasLine(c.present + target + "\n")) << n;
    }
    EXPECT_FALSE(HasLine(c.absent + target + "\n")) << n;
  }
  EXPECT_TRUE(HasLine("ERROR, STORE SCU Association Failed! AET: NOWHERE, IP: 127.0.0.1, Port: " +
                      silentPort + "\n"));
}

// At most 41 associations run at once; the next connection waits in the backlog and is served
// as soon as one of them ends.
TEST_F(ServerAssociation, FortyOneAssociationsRunAndTheNextWaits) {
  std::vector<std::unique_ptr<PDU_Service>> running;
  for (int i = 0; i <= kMaxConnectedClients; ++i) {
    running.push_back(std::make_unique<PDU_Service>());
    ASSERT_TRUE(Open(*running.back(), kVerificationClass)) << i;
  }
  EXPECT_EQ(ConnectedClients.load(), kMaxConnectedClients + 1);
  auto waiting = std::async(std::launch::async, [this] {
    return EchoSCU("127.0.0.1", Port(), "TESTSCU", "TREVALIND", 30);
  });
  EXPECT_EQ(waiting.wait_for(1500ms), std::future_status::timeout);
  EXPECT_EQ(ConnectedClients.load(), kMaxConnectedClients + 1);
  running.front()->Close();
  EXPECT_TRUE(waiting.get());
  for (auto& pdu : running) pdu->Close();
}
}  // namespace
