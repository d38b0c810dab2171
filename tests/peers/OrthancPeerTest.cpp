// Orthanc as a second, independent DICOM implementation: driven through its REST API on
// localhost it echoes, stores, queries and moves against our server, and it is the C-MOVE
// destination of our server, also for an object stored in RLE (which we send decoded).
#include <gtest/gtest.h>

#include <csignal>
#include <fstream>

#include "tests/peers/PeerFixture.h"

namespace {
constexpr const char* kStudy = "1.2.826.0.1.3680043.8.498.7.1";
constexpr const char* kRleStudy = "1.2.826.0.1.3680043.8.498.7.10";

class OrthancPeer : public PeerFixture {
 protected:
  void SetUp() override {
    PeerFixture::SetUp();
    if (HasFatalFailure()) return;
    dicomPort_ = std::to_string(FreeLoopbackPort());
    httpPort_ = std::to_string(FreeLoopbackPort());
    const std::string storage = Folder() + "orthanc";
    std::ofstream(Folder() + "orthanc.json")
        << "{\"Name\": \"PEER\", \"StorageDirectory\": \"" << storage
        << "\", \"IndexDirectory\": \"" << storage << "\", \"DicomAet\": \"ORTHANC\", "
        << "\"DicomPort\": " << dicomPort_ << ", \"HttpPort\": " << httpPort_
        << ", \"RemoteAccessAllowed\": false, \"AuthenticationEnabled\": false, "
        << "\"DeidentifyLogs\": false, \"Plugins\": [], \"DicomModalities\": {\"trev\": "
        << "[\"TREVALIND\", \"127.0.0.1\", " << Port() << "]}}";
    const ToolResult started = RunTool("sh -c 'timeout 120 Orthanc " + Folder() + "orthanc.json >" +
                                       Folder() + "orthanc.log 2>&1 & echo $!'");
    orthancPid_ = std::stoi(started.output);
    for (int i = 0; i < 100 && Rest("GET", "/system").exitCode != 0; ++i) {
      RunTool("sleep 0.1");
    }
    WriteRemotes("1|ORTHANC|127.0.0.1|" + dicomPort_ + "\n");
  }
  void TearDown() override {
    if (orthancPid_ > 0) ::kill(orthancPid_, SIGTERM);
    PeerFixture::TearDown();
  }
  ToolResult Rest(const std::string& method, const std::string& path,
                  const std::string& body = "") const {
    return RunTool("/usr/bin/python3 " TREVALIND_SOURCE_DIR "/tests/peers/orthanc_rest.py " +
                   httpPort_ + " " + method + " " + path + (body.empty() ? "" : " '" + body + "'"));
  }
  // Uploads a file into Orthanc; its Orthanc instance ID.
  std::string Upload(const std::string& file) const {
    const std::string answer = Rest("POST", "/instances", "@" + file).output;
    return ValueOf(answer, "ID");
  }
  // The text value of the first "key" : "value" pair of a JSON answer.
  static std::string ValueOf(const std::string& json, const std::string& key) {
    const std::string head = "\"" + key + "\" : \"";
    const size_t at = json.find(head);
    if (at == std::string::npos) return {};
    const size_t begin = at + head.size();
    return json.substr(begin, json.find('"', begin) - begin);
  }

  std::string dicomPort_;
  std::string httpPort_;
  pid_t orthancPid_ = -1;
};

TEST_F(OrthancPeer, EchoStoreQueryAndMoveBothWays) {
  EXPECT_EQ(Rest("POST", "/modalities/trev/echo", "{}").exitCode, 0);

  // Orthanc stores to us, in the syntaxes the objects have (RLE included).
  const std::string ecg = Upload(Fixture("ecg_12lead.dcm"));
  const std::string rle = Upload(Fixture("ct_rle.dcm"));
  ASSERT_FALSE(ecg.empty());
  ASSERT_FALSE(rle.empty());
  const ToolResult store =
      Rest("POST", "/modalities/trev/store", "[\"" + ecg + "\", \"" + rle + "\"]");
  EXPECT_NE(store.output.find("\"FailedInstancesCount\" : 0"), std::string::npos) << store.output;
  EXPECT_EQ(EcgRows("SELECT SOPInstanceUID FROM Objects").size(), 2u);
  EXPECT_NE(LogText().find("INFO, Transfer Syntax: 1.2.840.10008.1.2.5"), std::string::npos);
  ExpectRowsMatchFiles();
  Rest("DELETE", "/instances/" + ecg);
  Rest("DELETE", "/instances/" + rle);

  // Orthanc searches us.
  const std::string query = ValueOf(Rest("POST", "/modalities/trev/query",
                                         "{\"Level\": \"Study\", \"Query\": {\"PatientName\": "
                                         "\"DOE*\", \"StudyInstanceUID\": \"\"}}")
                                        .output,
                                    "ID");
  ASSERT_FALSE(query.empty());
  const std::string answers = Rest("GET", "/queries/" + query + "/answers?expand").output;
  EXPECT_NE(answers.find(kStudy), std::string::npos) << answers;
  EXPECT_NE(answers.find("DOE JOHN"), std::string::npos) << answers;
  EXPECT_EQ(answers.find(kRleStudy), std::string::npos) << answers;

  // Orthanc asks us to move both studies to itself: the RLE object arrives decoded.
  const ToolResult move =
      Rest("POST", "/modalities/trev/move",
           std::string("{\"Level\": \"Study\", \"TargetAet\": \"ORTHANC\", \"Synchronous\": true, "
                       "\"Resources\": [{\"StudyInstanceUID\": \"") +
               kStudy + "\"}, {\"StudyInstanceUID\": \"" + kRleStudy + "\"}]}");
  EXPECT_EQ(move.exitCode, 0) << move.output;
  EXPECT_EQ(Rest("GET", "/instances/" + rle + "/metadata/TransferSyntax").output,
            "1.2.840.10008.1.2");
  EXPECT_EQ(Rest("GET", "/instances/" + ecg + "/metadata/TransferSyntax").output,
            "1.2.840.10008.1.2.1");
}
}  // namespace
