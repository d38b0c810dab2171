// echoscu and storescu against the server.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>

#include "db/SQLdb.h"
#include "db/StudyDB.h"
#include "tests/peers/PeerFixture.h"
#include "tests/support/StoreKeyCases.h"

namespace {
class EchoPeer : public PeerFixture {};

TEST_F(EchoPeer, OptionsOfEchoscuAreServed) {
  const struct {
    const char* options;
    const char* expected;  // in echoscu's output
    int times;
  } cases[] = {
      {"--repeat 3", "Received Echo Response (Success)", 3},
      {"-pdu 4096 -d", "Their Max PDU Receive Size:  16384", 1},
      {"--abort", "Aborting Association", 1},
      {"--propose-pc 128", "Received Echo Response (Success)", 1},
      {"--propose-ts 38", "Received Echo Response (Success)", 1},
  };
  for (const auto& c : cases) {
    const ToolResult echo = RunTool(std::string("echoscu -v ") + c.options + Peer());
    EXPECT_EQ(echo.exitCode, 0) << c.options << "\n" << echo.output;
    int found = 0;
    for (size_t at = echo.output.find(c.expected); at != std::string::npos;
         at = echo.output.find(c.expected, at + 1)) {
      ++found;
    }
    EXPECT_EQ(found, c.times) << c.options << "\n" << echo.output;
  }
  EXPECT_TRUE(Echo());
}

TEST_F(EchoPeer, PatientRootFindIsRefusedAndTheServerStaysUp) {
  const ToolResult find = RunTool("findscu -P -k QueryRetrieveLevel=PATIENT" + Peer());
  EXPECT_NE(find.exitCode, 0) << find.output;
  EXPECT_NE(find.output.find("No Acceptable Presentation Contexts"), std::string::npos)
      << find.output;
  // The line follows the answer the peer already has: wait for the association's end.
  ASSERT_TRUE(WaitForConnectedClients(10000));
  EXPECT_NE(LogText().find("ERROR: Association Failed! Socket: "), std::string::npos);
  EXPECT_TRUE(Echo());
}

class StorePeer : public PeerFixture {};

// The "Error" lines dciodvfy reports for a file. Left out: our implementation version name,
// which is written with its terminating NUL on purpose, and the summary line that every value
// error repeats (each one also has a line of its own).
std::set<std::string> IodErrors(const std::string& file) {
  std::set<std::string> errors;
  std::istringstream lines(RunTool("dciodvfy " + file).output);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("Error", 0) != 0 || line.find("(0x0002,0x0013)") != std::string::npos ||
        line.find("contains invalid data values") != std::string::npos) {
      continue;
    }
    errors.insert(line);
  }
  return errors;
}

struct StoreCase {
  const char* file;
  const char* response;  // storescu's reading of the status
  bool stored;
};

const StoreCase kStoreCases[] = {
    {"ecg_12lead.dcm", "Received Store Response (Success)", true},
    {"ecg_no_patient_id.dcm", "Received Store Response (Refused: OutOfResources)", false},
    {"ecg_no_study_date.dcm", "Received Store Response (Success)", true},
    {"ecg_traversal_date.dcm", "Received Store Response (Refused: OutOfResources)", false},
    {"ecg_traversal_uid.dcm", "Received Store Response (Refused: OutOfResources)", false},
    {"ecg_sql.dcm", "Received Store Response (Success)", true},
    {"ecg_crlf_name.dcm", "Received Store Response (Refused: OutOfResources)", false},
};

TEST_F(StorePeer, StatusesRowsAndFiles) {
  for (const StoreCase& c : kStoreCases) {
    const ToolResult store = StoreFiles(Fixture(c.file));
    EXPECT_NE(store.output.find(c.response), std::string::npos) << c.file << "\n" << store.output;
  }
  // Refused objects left nothing behind, inside the store or outside it.
  EXPECT_FALSE(std::filesystem::exists(root_ / "x"));
  EXPECT_FALSE(std::filesystem::exists(root_.parent_path() / "x"));
  EXPECT_EQ(EcgRows("SELECT SOPInstanceUID FROM Objects").size(), 3u);
  ExpectRowsMatchFiles();
  // The modality of the hostile object was a value, not a statement.
  EXPECT_EQ(EcgRows("SELECT name FROM sqlite_master WHERE name='Series'").size(), 1u);
  // Peer text reaches the log on one line.
  EXPECT_NE(LogText().find("ERROR, PatientID is empty for EVIL..10:00:00, forged"),
            std::string::npos);
  EXPECT_NE(LogText().find("ERROR, Status=0xA700"), std::string::npos);
  EXPECT_TRUE(Echo());
}

// Objects whose key values the database records other than they name the store (a quote or a
// ";" in the Study Date), that name a hidden file (a SOP Instance UID of dots) or that have no
// Study or Series Instance UID were acknowledged and filed where no row of theirs points. Each
// is refused with 0xA700 now; the old date forms and real devices' UIDs are still kept. A known
// SOP Instance UID sent again under another study, series or Patient ID, and a new object of a
// known study under another Patient ID, were acknowledged too, leaving rows and files that
// told different patients or studies; each is refused with 0xC000, and the first object is
// still found, moved and deleted whole.
TEST_F(StorePeer, HostileAndMissingKeyValuesAreRefusedOrKeptWhole) {
  const std::string folder = Folder() + "keys";
  const std::vector<StoreKeyCase> cases = MakeStoreKeyCases(folder);
  ASSERT_EQ(cases.size(), 27u);
  for (const StoreKeyCase& c : cases) {
    const ToolResult store = StoreFiles(c.File(folder));
    EXPECT_NE(store.output.find("Received Store Response (" + c.peerResponse + ")"),
              std::string::npos)
        << c.name << "\n"
        << store.output;
  }
  ExpectEachKeptAtItsRowsPath(Folder(), cases, LogText());
  EXPECT_NE(LogText().find("ERROR, Status=0xC000"), std::string::npos);
  const auto firstCase = std::find_if(cases.begin(), cases.end(),
                                      [](const auto& c) { return c.name == "identity_first"; });
  ASSERT_NE(firstCase, cases.end());
  const StoreKeyCase& first = *firstCase;
  const std::vector<std::string> stored = StoredFiles();
  const auto firstAt = std::find_if(stored.begin(), stored.end(), [&](const std::string& file) {
    return std::filesystem::path(file).filename() == first.sopInstanceUid + ".dcm";
  });
  ASSERT_NE(firstAt, stored.end());
  const std::string firstFile = *firstAt;
  // The unchanged re-send was written again at the first one's place.
  EXPECT_NE(RunTool("dcmdump +P ContentTime " + firstFile).output.find("[235959]"),
            std::string::npos);

  const ToolResult find = RunTool(
      "findscu -d -S -k QueryRetrieveLevel=IMAGE -k StudyInstanceUID=" + first.studyInstanceUid +
      " -k SeriesInstanceUID=" + first.seriesInstanceUid + " -k SOPInstanceUID" + Peer());
  EXPECT_NE(find.output.find(first.sopInstanceUid), std::string::npos) << find.output;
  const std::string received = Folder() + "received";
  std::filesystem::create_directories(received);
  const int scpPort = FreeLoopbackPort();
  WriteRemotes("1|ARCHIVE1|127.0.0.2|" + std::to_string(scpPort) + "\n");
  StartStorescp("", received, scpPort);
  const ToolResult move =
      RunTool("movescu -S -aem ARCHIVE1 -k QueryRetrieveLevel=STUDY -k StudyInstanceUID=" +
              first.studyInstanceUid + Peer());
  EXPECT_EQ(move.exitCode, 0) << move.output;
  EXPECT_EQ(CommandLines("timeout 60 /usr/bin/python3 " TREVALIND_SOURCE_DIR
                         "/tests/support/stored_identities.py '" +
                         received + "' | cut -d'|' -f2-"),
            std::set<std::string>{first.sopInstanceUid + "|" + first.studyInstanceUid + "|" +
                                  first.seriesInstanceUid + "|" + first.patientId});
  SQLdb db("ecg", kOpenReadWrite);
  StudyDB study;
  study.StudyInstanceUID = first.studyInstanceUid;
  study.PatientID = first.patientId;
  EXPECT_TRUE(study.Delete(db));
  EXPECT_FALSE(std::filesystem::exists(firstFile));
  EXPECT_TRUE(EcgRows("SELECT SOPInstanceUID FROM Objects WHERE SOPInstanceUID='" +
                      first.sopInstanceUid + "'")
                  .empty());
  EXPECT_TRUE(Echo());
}

TEST_F(StorePeer, StoredFileIsTheObjectWithItsNameCleaned) {
  ASSERT_EQ(StoreFiles(Fixture("ecg_12lead.dcm")).exitCode, 0);
  const auto files = StoredFiles();
  ASSERT_EQ(files.size(), 1u);
  const std::string stored = files[0];
  EXPECT_EQ(stored.rfind(Store() + "20240102/", 0), 0u) << stored;
  EXPECT_NE(stored.find("/1.2.826.0.1.3680043.8.498.7.2.1.dcm"), std::string::npos) << stored;
  const ToolResult dump = RunTool("dcmdump " + stored);
  EXPECT_NE(dump.output.find("[DOE JOHN]"), std::string::npos) << dump.output;
  EXPECT_EQ(RunTool("dcmftest " + stored).exitCode, 0);
  const std::set<std::string> inputErrors = IodErrors(Fixture("ecg_12lead.dcm"));
  for (const std::string& error : IodErrors(stored)) {
    EXPECT_TRUE(inputErrors.count(error)) << "not in the input: " << error;
  }
  const ToolResult same = RunTool("/usr/bin/python3 " TREVALIND_SOURCE_DIR
                                  "/tests/peers/same_except_name_and_date.py " +
                                  Fixture("ecg_12lead.dcm") + " " + stored);
  EXPECT_EQ(same.exitCode, 0) << same.output;
}

TEST_F(StorePeer, MissingStudyDateBecomesToday) {
  ASSERT_EQ(StoreFiles(Fixture("ecg_no_study_date.dcm")).exitCode, 0);
  const auto files = StoredFiles();
  ASSERT_EQ(files.size(), 1u);
  const ToolResult dump = RunTool("dcmdump +P StudyDate " + files[0]);
  const std::string date = files[0].substr(Store().size(), 8);
  EXPECT_NE(dump.output.find("[" + date + "]"), std::string::npos) << dump.output;
  EXPECT_EQ(RunTool("date +%Y%m%d").output.substr(0, 8), date);
}

TEST_F(StorePeer, JpegLosslessIsStoredAsItArrived) {
  const ToolResult store = StoreFiles(Fixture("ct_jpeg_lossless.dcm"), "-xs ");
  ASSERT_NE(store.output.find("(Success)"), std::string::npos) << store.output;
  const auto files = StoredFiles();
  ASSERT_EQ(files.size(), 1u);
  EXPECT_NE(RunTool("dcmdump " + files[0]).output.find("JPEGLossless:Non-hierarchical-1stOrder"),
            std::string::npos);
}

TEST_F(StorePeer, StoringTwiceKeepsOneFileAndOneRow) {
  for (int i = 0; i < 2; ++i) {
    EXPECT_NE(StoreFiles(Fixture("ecg_12lead.dcm")).output.find("(Success)"), std::string::npos);
  }
  EXPECT_EQ(StoredFiles().size(), 1u);
  ExpectRowsMatchFiles();
}

TEST_F(StorePeer, ParallelStoresKeepRowsAndFilesTogether) {
  std::string command;
  for (int p = 0; p < 8; ++p) {
    std::string files;
    for (int i = 1 + p * 6; i <= 6 + p * 6; ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "bulk/bulk_%02d.dcm", i);
      files += Fixture(name) + " ";
    }
    // Every process also sends the first object, so stores of one UID race as well.
    command += "(storescu" + Peer() + files + Fixture("bulk/bulk_01.dcm") + ") & ";
  }
  RunTool("sh -c '" + command + "wait'");
  EXPECT_EQ(EcgRows("SELECT SOPInstanceUID FROM Objects").size(), 48u);
  ExpectRowsMatchFiles();
  EXPECT_TRUE(Echo());
}
}  // namespace
