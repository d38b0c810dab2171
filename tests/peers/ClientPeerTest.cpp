// Our client operations against dcmtk's dcmqrscp as an independent Query/Retrieve node: echo,
// a STUDY search and a retrieve into our own server, with dcmqrscp's own account (-d) of the
// presentation context ID and message ID that arrived.
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>
#include <sstream>

#include "db/StudyInfo.h"
#include "net/PDU_Service.h"
#include "net/client/ClientOperations.h"
#include "net/server/rules/CommandTable.h"
#include "tests/peers/PeerFixture.h"

namespace {
constexpr const char* kStudy = "1.2.826.0.1.3680043.8.498.7.1";

class ClientPeer : public PeerFixture {
 protected:
  void SetUp() override {
    PeerFixture::SetUp();
    if (HasFatalFailure()) return;
    const std::string store = Folder() + "qr";
    std::filesystem::create_directories(store);
    std::filesystem::copy_file(Fixture("ecg_12lead.dcm"), store + "/ecg.dcm");
    qrPort_ = std::to_string(FreeLoopbackPort());
    std::ofstream(Folder() + "qr.cfg")
        << "NetworkTCPPort = " << qrPort_ << "\nMaxPDUSize = 16384\nMaxAssociations = 16\n"
        << "HostTable BEGIN\nours = (TREVALIND, 127.0.0.1, " << Port() << ")\nHostTable END\n"
        << "VendorTable BEGIN\nVendorTable END\nAETable BEGIN\nPEERQR " << store
        << " RW (20, 64mb) ANY\nAETable END\n";
    ASSERT_EQ(RunTool("dcmqridx " + store + " " + store + "/ecg.dcm").exitCode, 0);
    const ToolResult started = RunTool("sh -c 'timeout 120 dcmqrscp -d -c " + Folder() + "qr.cfg " +
                                       qrPort_ + " >" + Folder() + "qr.log 2>&1 & echo $!'");
    qrPid_ = std::stoi(started.output);
    for (int i = 0; i < 100 && RunTool("echoscu -aec PEERQR 127.0.0.1 " + qrPort_).exitCode; ++i) {
    }
  }
  void TearDown() override {
    if (qrPid_ > 0) ::kill(qrPid_, SIGTERM);
    PeerFixture::TearDown();
  }
  bool Open(PDU_Service& pdu, const char* abstractSyntax) {
    return OpenAssociation(pdu, "127.0.0.1", qrPort_, "TREVALIND", "PEERQR", abstractSyntax, 60);
  }
  // dcmqrscp's log from the given line on (the part that belongs to one exchange).
  std::string QrLogFrom(const std::string& marker) const {
    std::ifstream in(Folder() + "qr.log");
    std::stringstream text;
    text << in.rdbuf();
    const std::string all = text.str();
    const size_t at = all.rfind(marker);
    return at == std::string::npos ? std::string() : all.substr(at);
  }

  std::string qrPort_;
  pid_t qrPid_ = -1;
};

TEST_F(ClientPeer, EchoFindAndMoveArriveOnContextOneWithMessageIdThree) {
  EXPECT_TRUE(EchoSCU("127.0.0.1", qrPort_, "TREVALIND", "PEERQR", 60));

  PDU_Service find;
  ASSERT_TRUE(Open(find, kStudyRootFindClass));
  QueryRecords records;
  records.studies.push_back(std::make_unique<StudyInfo>());
  records.studies.back()->PatientName = "DOE*";
  ASSERT_TRUE(WriteFindRQ(find, records, kStudyRootFindClass, "STUDY"));
  EXPECT_TRUE(records.studies.empty());  // the key record is used up
  int status = 0;
  do {
    status = ReadFindRSP(find, records, "STUDY");
  } while (status == 0xFF00 || status == 0xFF01);
  EXPECT_EQ(status, 0);
  find.Close();
  ASSERT_EQ(records.studies.size(), 1u);
  EXPECT_EQ(records.studies[0]->StudyInstanceUID, kStudy);
  const std::string findLog = QrLogFrom("Message Type                  : C-FIND RQ");
  EXPECT_NE(findLog.find("Message ID                    : 3"), std::string::npos) << findLog;
  EXPECT_NE(QrLogFrom("Context ID:        1 (Proposed)"), "");

  PDU_Service move;
  ASSERT_TRUE(Open(move, kStudyRootMoveClass));
  records.studies.clear();
  records.studies.push_back(std::make_unique<StudyInfo>());
  records.studies.back()->StudyInstanceUID = kStudy;
  ASSERT_TRUE(WriteMoveRQ(move, records, kStudyRootMoveClass, "STUDY", "TREVALIND"));
  int remaining = -1;
  do {
    status = ReadMoveRSP(move, remaining);
  } while (status == 0xFF00);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(remaining, 0);
  move.Close();
  const std::string moveLog = QrLogFrom("Message Type                  : C-MOVE RQ");
  EXPECT_NE(moveLog.find("Message ID                    : 3"), std::string::npos) << moveLog;
  // The object came back through our own C-STORE service.
  EXPECT_EQ(EcgRows("SELECT SOPInstanceUID FROM Objects").size(), 1u);
  ExpectRowsMatchFiles();
}
}  // namespace
