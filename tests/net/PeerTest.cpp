// The association service against dcmtk: echoscu and storescu as requestors of our acceptor,
// storescp as acceptor of our requestor. pydicom compares what was sent with what arrived.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "dicom/DcmObj.h"
#include "dicom/TransferSyntaxes.h"
#include "dicom/util/Log.h"
#include "net/Dimse.h"
#include "net/PDU_Service.h"
#include "net/client/ClientOperations.h"
#include "tests/net/LoggedTest.h"
#include "tests/net/PeerSupport.h"

namespace fs = std::filesystem;

namespace {

const std::string kEcgFile = std::string(PYDICOM_TEST_FILES) + "/waveform_ecg.dcm";
const std::string kEcgClass = "1.2.840.10008.5.1.4.1.1.9.1.1";

class PeerTest : public LoggedTest {};

// True when pydicom reads both files to equal data sets (file meta aside, and the trailing
// padding (FFFC,FFFC), which carries nothing and which dcmtk does not send).
bool SameDataSet(const std::string& a, const std::string& b) {
  std::string script =
      "import sys, pydicom\n"
      "sys.setrecursionlimit(100000)  # deeply nested sequences\n"
      "x = pydicom.dcmread(sys.argv[1]); y = pydicom.dcmread(sys.argv[2])\n"
      "for d in (x, y):\n"
      "    if 0xFFFCFFFC in d: del d[0xFFFCFFFC]\n"
      "sys.exit(0 if x == y else 1)\n";
  std::ofstream(fs::path(b).parent_path() / "compare.py") << script;
  return RunBounded("/usr/bin/python3 " + (fs::path(b).parent_path() / "compare.py").string() +
                        " " + a + " " + b,
                    60) == 0;
}

TEST_F(PeerTest, EchoscuIsAnsweredWithManyTitlesAndPduSizes) {
  TestAcceptor acceptor;
  struct Case {
    const char* options;
  };
  const Case cases[] = {
      {"-aet ECHOSCU -aec ANY-SCP"},
      {"-aet SIXTEEN_CHARS_AE -aec ABCDEFGHIJKLMNOP"},
      {"-aet A -aec B --max-pdu 4096"},
      {"-aet MANY --propose-pc 64 --repeat 3"},  // many presentation contexts
  };
  for (const Case& c : cases) {
    std::string out = folder + "echoscu.txt";
    int rc = RunBounded(
        std::string("echoscu ") + c.options + " 127.0.0.1 " + std::to_string(acceptor.port()), 30,
        out);
    EXPECT_EQ(rc, 0) << c.options << "\n" << ReadWholeFile(out);
  }
  EXPECT_GE(acceptor.echoes(), 6);
}

TEST_F(PeerTest, StorescuObjectsArriveIntact) {
  std::string store = folder + "store";
  fs::create_directories(store);
  TestAcceptor acceptor(store);
  for (const char* pdu : {"4096", "131072"}) {
    std::string out = folder + "storescu.txt";
    int rc = RunBounded(std::string("storescu -R --max-pdu ") + pdu + " 127.0.0.1 " +
                            std::to_string(acceptor.port()) + " " + kEcgFile,
                        60, out);
    ASSERT_EQ(rc, 0) << pdu << "\n" << ReadWholeFile(out);
  }
  EXPECT_EQ(acceptor.stores(), 2);
  std::vector<fs::path> received;
  for (const auto& entry : fs::directory_iterator(store)) received.push_back(entry.path());
  ASSERT_EQ(received.size(), 1u);  // the same instance twice
  EXPECT_TRUE(SameDataSet(kEcgFile, received[0].string()));
}

// Writes `source` with a chain of sequences nested `depth` deep added, as pydicom builds it.
std::string NestedCopy(const std::string& folder, const std::string& source, int depth) {
  std::string script = folder + "nest.py", out = folder + "nested" + std::to_string(depth) + ".dcm";
  std::ofstream(script)
      << "import sys, pydicom\n"
         "from pydicom.dataset import Dataset\n"
         "from pydicom.sequence import Sequence\n"
         "sys.setrecursionlimit(20000)\n"
         "ds = pydicom.dcmread(sys.argv[1])\n"
         "inner = Dataset(); inner.CodeValue = 'X'\n"
         "for _ in range(int(sys.argv[2]) - 1):\n"
         "    outer = Dataset(); outer.ConceptNameCodeSequence = Sequence([inner]); inner = outer\n"
         "ds.ConceptNameCodeSequence = Sequence([inner])\n"
         "ds.save_as(sys.argv[3])\n";
  int rc = RunBounded(
      "/usr/bin/python3 " + script + " " + source + " " + std::to_string(depth) + " " + out, 60);
  return rc == 0 ? out : "";
}

TEST_F(PeerTest, NestingBeyondTheParserLimitIsRefusedAndEchoStillWorks) {
  // Every sequence and every item counts one level of the parser's 256: 128 sequences fit.
  struct Case {
    int depth;
    bool stored;
  };
  const Case cases[] = {{100, true}, {150, false}, {300, false}};
  for (const Case& c : cases) {
    std::string store = folder + "store" + std::to_string(c.depth);
    fs::create_directories(store);
    std::string file = NestedCopy(folder, kEcgFile, c.depth);
    ASSERT_FALSE(file.empty()) << c.depth;
    TestAcceptor acceptor(store);
    std::string out = folder + "storescu.txt";
    int rc = RunBounded("storescu -R 127.0.0.1 " + std::to_string(acceptor.port()) + " " + file, 60,
                        out);
    EXPECT_EQ(rc == 0, c.stored) << c.depth << "\n" << ReadWholeFile(out);
    // The acceptor logs once its side of the association has ended.
    for (int i = 0; i < 100 && acceptor.associations() < 1; ++i) usleep(50000);
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
        << c.depth << "\n"
        << ReadWholeFile(out);
  }
}

// ECG objects of about 100 B, 40 KB and 5 MB built by pydicom (explicit VR little endian); the
// paths in size order.
std::vector<std::string> EcgObjects(const std::string& folder) {
  std::string script = folder + "ecg.py";
  std::ofstream(script)
      << "import sys, pydicom\n"
         "from pydicom.dataset import Dataset, FileMetaDataset\n"
         "from pydicom.sequence import Sequence\n"
         "from pydicom.uid import ExplicitVRLittleEndian\n"
         "for n, size in enumerate([0, 40000, 5000000], 1):\n"
         "    ds = Dataset()\n"
         "    ds.SOPClassUID = '1.2.840.10008.5.1.4.1.1.9.1.1'\n"
         "    ds.SOPInstanceUID = '1.2.826.0.1.3680043.2.1143.9.%d' % n\n"
         "    ds.Modality = 'ECG'\n"
         "    ds.PatientID = 'P%d' % n\n"
         "    if size:\n"
         "        w = Dataset()\n"
         "        w.NumberOfWaveformChannels = 1\n"
         "        w.NumberOfWaveformSamples = size // 2\n"
         "        w.WaveformBitsAllocated = 16\n"
         "        w.WaveformSampleInterpretation = 'SS'\n"
         "        w.WaveformData = bytes(i % 251 for i in range(size))\n"
         "        ds.WaveformSequence = Sequence([w])\n"
         "    ds.file_meta = FileMetaDataset()\n"
         "    ds.file_meta.MediaStorageSOPClassUID = ds.SOPClassUID\n"
         "    ds.file_meta.MediaStorageSOPInstanceUID = ds.SOPInstanceUID\n"
         "    ds.file_meta.TransferSyntaxUID = ExplicitVRLittleEndian\n"
         "    ds.is_little_endian, ds.is_implicit_VR = True, False\n"
         "    ds.save_as(sys.argv[1] + '/ecg%d.dcm' % n, write_like_original=False)\n";
  std::vector<std::string> paths;
  if (RunBounded("/usr/bin/python3 " + script + " " + folder, 120) != 0) return paths;
  for (int n = 1; n <= 3; ++n) paths.push_back(folder + "ecg" + std::to_string(n) + ".dcm");
  return paths;
}

// storescu -> relay -> our acceptor. storescu sends PDUs within the 16384 we announce, and our
// answers stay within what storescu announced.
TEST_F(PeerTest, StorescuEcgObjectsOfThreeSizesStayWithinTheAnnouncedLimits) {
  std::vector<std::string> files = EcgObjects(folder);
  ASSERT_EQ(files.size(), 3u);
  struct Case {
    uint32_t storescuPdu;
    uint32_t largestToStorescu;
  };
  const Case cases[] = {{4096, 4096}, {131072, 16384}};
  for (const Case& c : cases) {
    std::string store = folder + "store" + std::to_string(c.storescuPdu);
    fs::create_directories(store);
    TestAcceptor acceptor(store);
    PduRelay relay(acceptor.port());
    std::string out = folder + "storescu.txt";
    int rc = RunBounded("storescu -R --max-pdu " + std::to_string(c.storescuPdu) + " 127.0.0.1 " +
                            std::to_string(relay.port()) + " " + files[0] + " " + files[1] + " " +
                            files[2],
                        120, out);
    ASSERT_EQ(rc, 0) << c.storescuPdu << "\n" << ReadWholeFile(out);
    EXPECT_EQ(acceptor.stores(), 3);
    for (int n = 1; n <= 3; ++n) {
      std::string received = store + "/1.2.826.0.1.3680043.2.1143.9." + std::to_string(n) + ".dcm";
      EXPECT_TRUE(SameDataSet(files[size_t(n - 1)], received)) << n;
    }
    EXPECT_LE(relay.largestToTarget(), 16384u) << c.storescuPdu;
    EXPECT_LE(relay.largestFromTarget(), c.largestToStorescu) << c.storescuPdu;
    EXPECT_GT(relay.pdataPdusToTarget(), 5000000 / 16384) << c.storescuPdu;
  }
}

// A proposal of explicit VR big endian only is answered with every context rejected.
TEST_F(PeerTest, BigEndianOnlyProposalIsRejected) {
  std::string config = folder + "big.cfg";
  std::ofstream(config) << "[[TransferSyntaxes]]\n[BigOnly]\nTransferSyntax1 = BigEndianExplicit\n"
                           "[[PresentationContexts]]\n[EcgBig]\n"
                           "PresentationContext1 = TwelveLeadECGWaveformStorage\\BigOnly\n"
                           "[[Profiles]]\n[Big]\nPresentationContexts = EcgBig\n";
  std::string store = folder + "store";
  fs::create_directories(store);
  TestAcceptor acceptor(store);
  std::string out = folder + "storescu.txt";
  int rc = RunBounded("storescu -xf " + config + " Big 127.0.0.1 " +
                          std::to_string(acceptor.port()) + " " + kEcgFile,
                      30, out);
  EXPECT_NE(rc, 0);
  EXPECT_EQ(acceptor.stores(), 0);
  EXPECT_NE(Log().find("WARNING, no Valid Presentation Contexts"), std::string::npos);
  EXPECT_NE(Log().find("INFO, Abstract Syntax: " + kEcgClass), std::string::npos);
  EXPECT_EQ(RunBounded("echoscu 127.0.0.1 " + std::to_string(acceptor.port()), 30, out), 0)
      << ReadWholeFile(out);
}

// CT files compressed by dcmtk are proposed in their own transfer syntax, accepted in it (the
// storescu debug log names it) and stored unchanged.
TEST_F(PeerTest, CompressedImagesAreAcceptedInTheirOwnTransferSyntax) {
  const std::string ct = std::string(PYDICOM_TEST_FILES) + "/CT_small.dcm";
  std::string config = folder + "rle.cfg";
  std::ofstream(config) << "[[TransferSyntaxes]]\n[Rle]\nTransferSyntax1 = RLELossless\n"
                           "[[PresentationContexts]]\n[CtRle]\n"
                           "PresentationContext1 = CTImageStorage\\Rle\n"
                           "[[Profiles]]\n[Rle]\nPresentationContexts = CtRle\n";
  struct Case {
    const char* tool;
    std::string options;
    const char* acceptedName;
    const char* uid;
  };
  const Case cases[] = {
      {"dcmcjpeg", "-xs", "=JPEGLossless:Non-hierarchical-1stOrderPrediction",
       "1.2.840.10008.1.2.4.70"},
      {"dcmcrle", "-xf " + config + " Rle", "=RLELossless", "1.2.840.10008.1.2.5"},
  };
  for (const Case& c : cases) {
    std::string file = folder + c.tool + ".dcm";
    ASSERT_EQ(RunBounded(std::string(c.tool) + " " + ct + " " + file, 60), 0) << c.tool;
    std::string store = folder + "store-" + c.tool;
    fs::create_directories(store);
    TestAcceptor acceptor(store);
    std::string out = folder + "storescu.txt";
    int rc = RunBounded(
        "storescu -d " + c.options + " 127.0.0.1 " + std::to_string(acceptor.port()) + " " + file,
        60, out);
    std::string log = ReadWholeFile(out);
    ASSERT_EQ(rc, 0) << c.tool << "\n" << log;
    EXPECT_NE(log.find(std::string("Accepted Transfer Syntax: ") + c.acceptedName),
              std::string::npos)
        << c.tool << "\n"
        << log;
    std::vector<fs::path> received;
    for (const auto& entry : fs::directory_iterator(store)) received.push_back(entry.path());
    ASSERT_EQ(received.size(), 1u) << c.tool;
    std::string syntax = folder + "syntax.txt";
    RunBounded(
        "/usr/bin/python3 -c \"import sys, pydicom; "
        "print(pydicom.dcmread(sys.argv[1]).file_meta.TransferSyntaxUID)\" " +
            received[0].string(),
        30, syntax);
    EXPECT_EQ(ReadWholeFile(syntax), std::string(c.uid) + "\n") << c.tool;
    EXPECT_TRUE(SameDataSet(file, received[0].string())) << c.tool;
  }
}

// Our requestor: one association to `port` proposing `sopClass` in explicit VR little endian
// first (storescp selects it), opened through the requestor library.
bool OpenTo(PDU_Service& pdu, int port, const std::string& sopClass) {
  return OpenAssociation(pdu, "127.0.0.1", std::to_string(port), "TREVALIND", "STORESCP", sopClass,
                         std::string(ts::kExplicitLE), "", 30);
}

TEST_F(PeerTest, RequestorEchoesAndStoresToStorescp) {
  std::string store = folder + "scp";
  fs::create_directories(store);
  int port = FreeLoopbackPort();
  pid_t scp = StartProcess({"timeout", "120", "storescp", "-od", store, std::to_string(port)},
                           folder + "storescp.txt");
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
  ASSERT_EQ(received.size(), 1u) << ReadWholeFile(folder + "storescp.txt");
  EXPECT_TRUE(SameDataSet(kEcgFile, received[0].string()));
}

// Our requestor -> relay -> storescp -d --max-pdu N: every P-DATA PDU is exactly as large as
// storescp allows, and storescp reports neither an error nor a warning.
TEST_F(PeerTest, RequestorSendsWithinStorescpsLimit) {
  std::vector<std::string> files = EcgObjects(folder);
  ASSERT_EQ(files.size(), 3u);
  for (uint32_t limit : {4096u, 16384u}) {
    std::string store = folder + "scp" + std::to_string(limit);
    fs::create_directories(store);
    int port = FreeLoopbackPort();
    std::string scpOut = folder + "storescp" + std::to_string(limit) + ".txt";
    pid_t scp = StartProcess({"timeout", "120", "storescp", "-d", "--max-pdu",
                              std::to_string(limit), "-od", store, std::to_string(port)},
                             scpOut);
    ASSERT_TRUE(WaitForListener(port, 10000));
    PduRelay relay(port);
    {
      PDU_Service pdu;
      ASSERT_TRUE(OpenTo(pdu, relay.port(), kEcgClass));
      DcmObj dataSet;
      ASSERT_TRUE(dataSet.Read(files[2]));
      ASSERT_TRUE(CStore::WriteRQ(&pdu, &dataSet, kEcgClass));
      EXPECT_EQ(CStore::ReadRSP(&pdu), 0);
      pdu.Close();
    }
    StopProcess(scp);
    EXPECT_EQ(relay.largestToTarget(), limit);
    std::string log = ReadWholeFile(scpOut);
    for (const char* marker : {"\nE: ", "\nW: "})
      EXPECT_EQ(("\n" + log).find(marker), std::string::npos) << limit << "\n" << log;
    std::vector<fs::path> received;
    for (const auto& entry : fs::directory_iterator(store)) received.push_back(entry.path());
    ASSERT_EQ(received.size(), 1u) << log;
    EXPECT_TRUE(SameDataSet(files[2], received[0].string()));
  }
}

}  // namespace
