// The association service against dcmtk: echoscu and storescu as requestors of our acceptor,
// storescp as acceptor of our requestor. pydicom compares what was sent with what arrived.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "dicom/DcmObj.h"
#include "dicom/util/Log.h"
#include "net/Dimse.h"
#include "net/PDU_Service.h"
#include "net/UniqueId.h"
#include "tests/net/PeerSupport.h"

namespace fs = std::filesystem;

namespace {

const std::string kEcgFile = std::string(PYDICOM_TEST_FILES) + "/waveform_ecg.dcm";
const std::string kEcgClass = "1.2.840.10008.5.1.4.1.1.9.1.1";

class PeerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder = TempFolder("net-peer");
    LogInit(folder + "/test.log", "", "");
    LogLevel = 1;
  }
  void TearDown() override {
    LogFree();
    fs::remove_all(folder);
  }
  std::string Log() { return ReadFileText(folder + "/test.log"); }
  std::string folder;
};

// True when pydicom reads both files to equal data sets (file meta aside).
bool SameDataSet(const std::string& a, const std::string& b) {
  std::string script =
      "import sys, pydicom\n"
      "sys.setrecursionlimit(100000)  # deeply nested sequences\n"
      "x = pydicom.dcmread(sys.argv[1]); y = pydicom.dcmread(sys.argv[2])\n"
      "sys.exit(0 if x == y else 1)\n";
  std::ofstream(fs::path(b).parent_path() / "compare.py") << script;
  return RunBounded("/usr/bin/python3 " + (fs::path(b).parent_path() / "compare.py").string() +
                        " " + a + " " + b,
                    60) == 0;
}

TEST_F(PeerTest, EchoscuIsAnsweredWithManyTitlesAndPduSizes) {
  TestAcceptor acceptor;
  struct Case { const char* options; };
  const Case cases[] = {
      {"-aet ECHOSCU -aec ANY-SCP"},
      {"-aet SIXTEEN_CHARS_AE -aec ABCDEFGHIJKLMNOP"},
      {"-aet A -aec B --max-pdu 4096"},
      {"-aet MANY --propose-pc 64 --repeat 3"},  // many presentation contexts
  };
  for (const Case& c : cases) {
    std::string out = folder + "/echoscu.txt";
    int rc = RunBounded(std::string("echoscu ") + c.options + " 127.0.0.1 " +
                            std::to_string(acceptor.port()),
                        30, out);
    EXPECT_EQ(rc, 0) << c.options << "\n" << ReadFileText(out);
  }
  EXPECT_GE(acceptor.echoes(), 6);
}

TEST_F(PeerTest, StorescuObjectsArriveIntact) {
  std::string store = folder + "/store";
  fs::create_directories(store);
  TestAcceptor acceptor(store);
  for (const char* pdu : {"4096", "131072"}) {
    std::string out = folder + "/storescu.txt";
    int rc = RunBounded(std::string("storescu -R --max-pdu ") + pdu + " 127.0.0.1 " +
                            std::to_string(acceptor.port()) + " " + kEcgFile,
                        60, out);
    ASSERT_EQ(rc, 0) << pdu << "\n" << ReadFileText(out);
  }
  EXPECT_EQ(acceptor.stores(), 2);
  std::vector<fs::path> received;
  for (const auto& entry : fs::directory_iterator(store)) received.push_back(entry.path());
  ASSERT_EQ(received.size(), 1u);  // the same instance twice
  EXPECT_TRUE(SameDataSet(kEcgFile, received[0].string()));
}

// Writes `source` with a chain of sequences nested `depth` deep added, as pydicom builds it.
std::string NestedCopy(const std::string& folder, const std::string& source, int depth) {
  std::string script = folder + "/nest.py", out = folder + "/nested" + std::to_string(depth) + ".dcm";
  std::ofstream(script) <<
      "import sys, pydicom\n"
      "from pydicom.dataset import Dataset\n"
      "from pydicom.sequence import Sequence\n"
      "sys.setrecursionlimit(20000)\n"
      "ds = pydicom.dcmread(sys.argv[1])\n"
      "inner = Dataset(); inner.CodeValue = 'X'\n"
      "for _ in range(int(sys.argv[2]) - 1):\n"
      "    outer = Dataset(); outer.ConceptNameCodeSequence = Sequence([inner]); inner = outer\n"
      "ds.ConceptNameCodeSequence = Sequence([inner])\n"
      "ds.save_as(sys.argv[3])\n";
  int rc = RunBounded("/usr/bin/python3 " + script + " " + source + " " + std::to_string(depth) +
                          " " + out, 60);
  return rc == 0 ? out : "";
}

TEST_F(PeerTest, NestingBeyondTheParserLimitIsRefusedAndEchoStillWorks) {
  // Every sequence and every item counts one level of the parser's 256: 128 sequences fit.
  struct Case { int depth; bool stored; };
  const Case cases[] = {{100, true}, {150, false}, {300, false}};
  for (const Case& c : cases) {
    std::string store = folder + "/store" + std::to_string(c.depth);
    fs::create_directories(store);
    std::string file = NestedCopy(folder, kEcgFile, c.depth);
    ASSERT_FALSE(file.empty()) << c.depth;
    TestAcceptor acceptor(store);
    std::string out = folder + "/storescu.txt";
    int rc = RunBounded("storescu -R 127.0.0.1 " + std::to_string(acceptor.port()) + " " + file,
                        60, out);
    EXPECT_EQ(rc == 0, c.stored) << c.depth << "\n" << ReadFileText(out);
    EXPECT_EQ(acceptor.stores(), c.stored ? 1 : 0) << c.depth;
    std::vector<fs::path> received;
    for (const auto& entry : fs::directory_iterator(store)) received.push_back(entry.path());
    ASSERT_EQ(received.size(), c.stored ? 1u : 0u) << c.depth;
    if (c.stored) {
      EXPECT_TRUE(SameDataSet(file, received[0].string()));
    } else {
      EXPECT_NE(Log().find("ERROR, PDU_Service::Read ParseRawVRIntoDCM()"), std::string::npos);
    }
    // The node goes on serving.
    EXPECT_EQ(RunBounded("echoscu 127.0.0.1 " + std::to_string(acceptor.port()), 30, out), 0)
        << c.depth << "\n" << ReadFileText(out);
  }
}

// Our requestor: one association to `port` proposing `sopClass` in explicit VR little endian.
bool OpenTo(PDU_Service& pdu, int port, const std::string& sopClass) {
  ResetUniqueId();
  AAssociatePdu::SetTitle(pdu.assocRQ.CalledApTitle, "STORESCP");
  AAssociatePdu::SetTitle(pdu.assocRQ.CallingApTitle, "TREVALIND");
  auto* context = new PresentationContext;
  context->SetAbstractSyntax(sopClass);
  context->AddTransferSyntax("1.2.840.10008.1.2.1");
  pdu.assocRQ.AddPresentationContext(context);
  pdu.Link.socket().SetTimeout(30);
  return pdu.Connect("127.0.0.1", std::to_string(port));
}

TEST_F(PeerTest, RequestorEchoesAndStoresToStorescp) {
  std::string store = folder + "/scp";
  fs::create_directories(store);
  int port = FreeLoopbackPort();
  pid_t scp = StartProcess({"timeout", "120", "storescp", "-od", store, std::to_string(port)},
                           folder + "/storescp.txt");
  ASSERT_TRUE(WaitForListener(port, 10000));
  {
    PDU_Service pdu;
    ASSERT_TRUE(OpenTo(pdu, port, "1.2.840.10008.1.1"));
    EXPECT_TRUE(CEcho::WriteRQ(&pdu, "1.2.840.10008.1.1"));
    EXPECT_TRUE(CEcho::ReadRSP(&pdu));
    pdu.Close();
  }
  {
    PDU_Service pdu;
    ASSERT_TRUE(OpenTo(pdu, port, kEcgClass));
    DcmObj dataSet;
    ASSERT_TRUE(dataSet.Read(kEcgFile));
    ASSERT_TRUE(CStore::WriteRQ(&pdu, &dataSet, kEcgClass));
    EXPECT_EQ(CStore::ReadRSP(&pdu), 0);
    pdu.Close();
  }
  StopProcess(scp);
  std::vector<fs::path> received;
  for (const auto& entry : fs::directory_iterator(store)) received.push_back(entry.path());
  ASSERT_EQ(received.size(), 1u) << ReadFileText(folder + "/storescp.txt");
  EXPECT_TRUE(SameDataSet(kEcgFile, received[0].string()));
}

}  // namespace
