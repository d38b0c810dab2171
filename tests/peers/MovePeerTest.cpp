// movescu asking the server to send to a storescp named in remotes.txt.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/peers/PeerFixture.h"

namespace {
constexpr const char* kStudy = "1.2.826.0.1.3680043.8.498.7.1";
constexpr const char* kSeriesA = "1.2.826.0.1.3680043.8.498.7.1.1";
constexpr const char* kImageStudy = "1.2.826.0.1.3680043.8.498.7.6";
constexpr const char* kRleStudy = "1.2.826.0.1.3680043.8.498.7.10";

class MovePeer : public PeerFixture {
 protected:
  void SetUp() override {
    PeerFixture::SetUp();
    if (HasFatalFailure()) return;
    for (const char* file : {"ecg_12lead.dcm", "ecg_12lead_b.dcm", "ecg_general.dcm",
                             "ecg_series_b.dcm", "ecg_series_b_2.dcm"}) {
      ASSERT_EQ(StoreFiles(Fixture(file)).exitCode, 0);
    }
    ASSERT_EQ(StoreFiles(Fixture("ct_jpeg_lossless.dcm"), "-xs ").exitCode, 0);
    ASSERT_EQ(StoreFiles(Fixture("ct_rle.dcm"), "-xr ").exitCode, 0);
    received_ = Folder() + "received";
    std::filesystem::create_directories(received_);
    scpPort_ = FreeLoopbackPort();
    silentPort_ = FreeLoopbackPort();
    WriteRemotes("1|ARCHIVE1|127.0.0.3|1\n2|ARCHIVE1|127.0.0.2|" + std::to_string(scpPort_) +
                 "\r\n3|NOWHERE|127.0.0.3|" + std::to_string(silentPort_) + "\n4|SELF|127.0.0.1|" +
                 Port() + "\n");
  }
  void StartStorescp(const std::string& options) {
    PeerFixture::StartStorescp(options, received_, scpPort_);
  }
  ToolResult Move(const std::string& destination, const std::string& keys) {
    return RunTool("movescu -d -S -aem " + destination + Peer() + keys);
  }
  // The stored file of one object of the test study, by the end of its SOP Instance UID.
  std::string StoredFile(const std::string& uidEnd) const {
    for (const std::string& file : StoredFiles()) {
      if (file.size() > uidEnd.size() + 4 &&
          file.compare(file.size() - uidEnd.size() - 4, uidEnd.size(), uidEnd) == 0) {
        return file;
      }
    }
    return {};
  }
  ToolResult MoveStudy(const std::string& destination, const std::string& study = kStudy) {
    return Move(destination, "-k QueryRetrieveLevel=STUDY -k StudyInstanceUID=" + study);
  }
  // Moves a study of one object to a storescp started with `options`; the file it received, or
  // "" (with the failure recorded) when the move did not bring exactly one.
  std::string MoveTheOneObject(const std::string& options, const std::string& study) {
    StartStorescp(options);
    const ToolResult move = MoveStudy("ARCHIVE1", study);
    EXPECT_EQ(DebugValues(move.output, "DIMSE Status").back(), "0x0000") << move.output;
    EXPECT_EQ(DebugValues(move.output, "Completed Suboperations").back(), "1");
    const auto files = Received();
    EXPECT_EQ(files.size(), 1u);
    return files.size() == 1 ? files[0] : "";
  }
  std::vector<std::string> Received() const {
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::directory_iterator(received_)) files.push_back(e.path());
    return files;
  }

  std::string received_;
  int scpPort_ = -1;
  int silentPort_ = -1;
};

// Series A holds two 12-lead objects and a General ECG one, series B two 12-lead objects: one
// association per series and per class, remaining counts n..1 per series, then the counts.
TEST_F(MovePeer, StudyGoesOutSeriesBySeriesWithCounts) {
  StartStorescp("");
  const ToolResult move = MoveStudy("ARCHIVE1");
  const std::vector<std::string> remaining = DebugValues(move.output, "Remaining Suboperations");
  const std::vector<std::string> seriesAFirst = {"3", "2", "1", "2", "1", "0"};
  const std::vector<std::string> seriesBFirst = {"2", "1", "3", "2", "1", "0"};
  EXPECT_TRUE(remaining == seriesAFirst || remaining == seriesBFirst) << move.output;
  EXPECT_EQ(DebugValues(move.output, "DIMSE Status").back(), "0x0000");
  EXPECT_EQ(DebugValues(move.output, "Completed Suboperations").back(), "5");
  EXPECT_EQ(DebugValues(move.output, "Failed Suboperations").back(), "0");
  EXPECT_EQ(DebugValues(move.output, "Warning Suboperations").back(), "0");
  const auto files = Received();
  ASSERT_EQ(files.size(), 5u);
  // The General ECG object went out under its own class, not the series' first one.
  int general = 0;
  for (const std::string& file : files) {
    const std::string dump = RunTool("dcmdump +P 0002,0002 +P 0008,0016 " + file).output;
    if (dump.find("GeneralECGWaveformStorage") == std::string::npos) continue;
    ++general;
    EXPECT_EQ(dump.find("TwelveLead"), std::string::npos) << dump;
  }
  EXPECT_EQ(general, 1);
}

// Our own server as the destination refuses the object whose Patient ID was removed from its
// stored file: the others arrive, the final status says so.
TEST_F(MovePeer, DestinationRefusingOneObjectGivesAWarningStatus) {
  const std::string tampered = StoredFile(".2.9");
  ASSERT_FALSE(tampered.empty());
  ASSERT_EQ(RunTool("dcmodify -nb -ea PatientID " + tampered).exitCode, 0);
  const ToolResult move = MoveStudy("SELF");
  EXPECT_EQ(DebugValues(move.output, "DIMSE Status").back(), "0xb000") << move.output;
  EXPECT_EQ(DebugValues(move.output, "Completed Suboperations").back(), "4");
  EXPECT_EQ(DebugValues(move.output, "Failed Suboperations").back(), "1");
  EXPECT_EQ(DebugValues(move.output, "Remaining Suboperations").size(), 5u);  // 4 pending, final
  EXPECT_NE(LogText().find("ERROR, PatientID is empty for DOE JOHN"), std::string::npos);
  EXPECT_EQ(EcgRows("SELECT SOPInstanceUID FROM Objects").size(), 7u);
  ExpectRowsMatchFiles();
}

// A file gone from the store fails its sub-operation only; the rest of its series moves.
TEST_F(MovePeer, MissingFileFailsOnlyItsObject) {
  const std::string missing = StoredFile(".2.1");
  ASSERT_FALSE(missing.empty());
  std::filesystem::remove(missing);
  StartStorescp("");
  const ToolResult move = MoveStudy("ARCHIVE1");
  EXPECT_EQ(DebugValues(move.output, "DIMSE Status").back(), "0xb000") << move.output;
  EXPECT_EQ(DebugValues(move.output, "Completed Suboperations").back(), "4");
  EXPECT_EQ(DebugValues(move.output, "Failed Suboperations").back(), "1");
  EXPECT_NE(LogText().find("ERROR, Couldn't read file: " + missing), std::string::npos);
  EXPECT_EQ(Received().size(), 4u);
}

// A recorded series folder that would lead out of the store is not followed, even where a
// readable copy of the object waits outside: that series fails, the other one moves.
TEST_F(MovePeer, RecordedSeriesPathOutsideTheStoreIsNotFollowed) {
  const std::string outside = Folder() + "outside/";
  std::filesystem::create_directories(outside);
  for (const char* uidEnd : {".2.3", ".2.9"}) {
    const std::string file = StoredFile(uidEnd);
    ASSERT_FALSE(file.empty());
    std::filesystem::copy_file(file, outside + std::filesystem::path(file).filename().string());
  }
  ASSERT_EQ(RunTool("sqlite3 " + Folder() +
                    "database/ecg.db \"UPDATE Series SET "
                    "SeriesPath='../outside/' WHERE SeriesInstanceUID='" +
                    std::string(kStudy) + ".2'\"")
                .exitCode,
            0);
  StartStorescp("");
  const ToolResult move = MoveStudy("ARCHIVE1");
  EXPECT_EQ(DebugValues(move.output, "DIMSE Status").back(), "0xb000") << move.output;
  EXPECT_EQ(DebugValues(move.output, "Completed Suboperations").back(), "3");
  EXPECT_EQ(DebugValues(move.output, "Failed Suboperations").back(), "2");
  EXPECT_EQ(Received().size(), 3u);
}

// Without its study database the local query fails: 0xC000 with zero counts, and the
// association ends.
TEST_F(MovePeer, FailedLocalQueryIsUnableToProcess) {
  std::filesystem::rename(Folder() + "database/ecg.db", Folder() + "database/ecg.db.away");
  const ToolResult move = MoveStudy("ARCHIVE1");
  EXPECT_EQ(DebugValues(move.output, "DIMSE Status").back(), "0xc000") << move.output;
  EXPECT_EQ(DebugValues(move.output, "Remaining Suboperations").back(), "0");
  EXPECT_EQ(DebugValues(move.output, "Completed Suboperations").back(), "0");
  EXPECT_EQ(DebugValues(move.output, "Failed Suboperations").back(), "0");
  EXPECT_NE(LogText().find("ERROR, MoveSCP, Query failed!!"), std::string::npos);
  // The loop's line follows the final response the peer already has.
  ASSERT_TRUE(WaitForConnectedClients(10000));
  EXPECT_NE(LogText().find("ERROR: Move RQ: Failed! Socket: "), std::string::npos);
  std::filesystem::rename(Folder() + "database/ecg.db.away", Folder() + "database/ecg.db");
  EXPECT_TRUE(Echo());
}

TEST_F(MovePeer, CompressedImageIsDecompressedForAnUncompressedDestination) {
  const std::string file = MoveTheOneObject("", kImageStudy);
  ASSERT_FALSE(file.empty());
  const std::string dump = RunTool("dcmdump " + file).output;
  EXPECT_EQ(dump.find("JPEGLossless"), std::string::npos) << dump;
  EXPECT_NE(dump.find("(7fe0,0010) OW"), std::string::npos) << dump;
}

TEST_F(MovePeer, CompressedImageStaysCompressedWhenAccepted) {
  const std::string file = MoveTheOneObject("+xa", kImageStudy);
  ASSERT_FALSE(file.empty());
  EXPECT_NE(RunTool("dcmdump " + file).output.find("JPEGLossless:Non-hierarchical-1stOrder"),
            std::string::npos);
}

// An object stored in RLE, which our requestor cannot select from an acceptance: the
// sub-association proposes implicit VR little endian alone, even to a destination that would
// accept RLE, and the object goes out decoded.
TEST_F(MovePeer, RleObjectGoesOutDecodedEvenWhereRleWouldBeAccepted) {
  ASSERT_NE(LogText().find("INFO, Transfer Syntax: 1.2.840.10008.1.2.5"), std::string::npos);
  const std::string file = MoveTheOneObject("+xa", kRleStudy);
  ASSERT_FALSE(file.empty());
  const std::string dump = RunTool("dcmdump " + file).output;
  EXPECT_NE(dump.find("LittleEndianImplicit"), std::string::npos) << dump;
  EXPECT_NE(RunTool("dcmdump +P 7fe0,0010 " + file).output.find("OW"), std::string::npos);
}

struct RefusedMove {
  const char* destination;
  std::string keys;
  const char* status;
  const char* failed;
};

TEST_F(MovePeer, RefusalsAndFailuresCarryTheirStatus) {
  const std::string image = std::string("-k QueryRetrieveLevel=IMAGE -k StudyInstanceUID=") +
                            kStudy + " -k SeriesInstanceUID=" + kSeriesA;
  const RefusedMove cases[] = {
      {"archive1", std::string("-k QueryRetrieveLevel=STUDY -k StudyInstanceUID=") + kStudy,
       "0xa801", "0"},
      {"UNLISTED", std::string("-k QueryRetrieveLevel=STUDY -k StudyInstanceUID=") + kStudy,
       "0xa801", "0"},
      {"NOWHERE", std::string("-k QueryRetrieveLevel=STUDY -k StudyInstanceUID=") + kStudy,
       "0xa702", "5"},
      {"ARCHIVE1", image + " -k SOPInstanceUID=../../../etc/x", "0xa900", "0"},
      {"ARCHIVE1", image + " -k \"SOPInstanceUID=1' OR '1'='1\"", "0xa900", "0"},
      {"ARCHIVE1", image + " -k SOPInstanceUID=1.2.3.4", "0xa702", "1"},
      {"ARCHIVE1", "-k QueryRetrieveLevel=SERIES", "0xa900", "0"},
      {"ARCHIVE1", "-k QueryRetrieveLevel=PATIENT", "0xc000", "0"},
  };
  StartStorescp("");
  for (const RefusedMove& c : cases) {
    const ToolResult move = Move(c.destination, c.keys);
    const auto statuses = DebugValues(move.output, "DIMSE Status");
    ASSERT_FALSE(statuses.empty()) << c.destination << " " << c.keys << "\n" << move.output;
    EXPECT_EQ(statuses.back(), c.status) << c.destination << " " << c.keys;
    const auto failed = DebugValues(move.output, "Failed Suboperations");
    ASSERT_FALSE(failed.empty()) << move.output;
    EXPECT_EQ(failed.back(), c.failed) << c.destination << " " << c.keys;
  }
  EXPECT_TRUE(Received().empty());
  EXPECT_TRUE(Echo());
}

// The server refused the hemodynamic class, so a 12-lead recording written in it could neither
// be sent to the node nor moved into it. It is now taken, found and moved like an ECG; the
// cardiac electrophysiology class stays refused.
TEST_F(MovePeer, HemodynamicRecordingIsStoredFoundAndMoved) {
  constexpr const char* kHdStudy = "1.2.826.0.1.3680043.8.498.7.30";
  const ToolResult refused = StoreFiles(Fixture("eps_12lead.dcm"));
  EXPECT_NE(refused.exitCode, 0) << refused.output;
  EXPECT_TRUE(EcgRows("SELECT * FROM Study WHERE PatientID='P031'").empty());
  const ToolResult stored = StoreFiles(Fixture("hd_12lead.dcm"));
  ASSERT_EQ(stored.exitCode, 0) << stored.output;
  const std::string inStudy = " WHERE StudyInstanceUID='" + std::string(kHdStudy) + "'";
  EXPECT_EQ(EcgRows("SELECT Modality FROM Series" + inStudy), std::vector<std::string>{"HD;"});
  EXPECT_EQ(EcgRows("SELECT SOPClassUID FROM Objects" + inStudy),
            std::vector<std::string>{"1.2.840.10008.5.1.4.1.1.9.2.1;"});
  ExpectRowsMatchFiles();
  const ToolResult find = RunTool("findscu -d -S" + Peer() +
                                  "-k QueryRetrieveLevel=STUDY -k ModalitiesInStudy "
                                  "-k PatientID=P030 -k StudyInstanceUID");
  const auto statuses = DebugValues(find.output, "DIMSE Status");
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "0xff00"), 1) << find.output;
  EXPECT_NE(find.output.find(kHdStudy), std::string::npos) << find.output;
  EXPECT_NE(find.output.find("[HD]"), std::string::npos) << find.output;
  const std::string file = MoveTheOneObject("", kHdStudy);
  ASSERT_FALSE(file.empty());
  EXPECT_NE(RunTool("dcmdump +P 0008,0016 " + file).output.find("HemodynamicWaveformStorage"),
            std::string::npos);
  const ToolResult same = RunTool("/usr/bin/python3 " TREVALIND_SOURCE_DIR
                                  "/tests/peers/same_except_name_and_date.py " +
                                  Fixture("hd_12lead.dcm") + " " + file);
  EXPECT_EQ(same.exitCode, 0) << same.output;
}

// A key holding a character the store cannot hold compared its "?" with every other such
// character, so a move by the Greek patient's name sent the Cyrillic patient's study too. Such
// a key moves nothing now; the patient is still moved by Patient ID.
TEST_F(MovePeer, KeyTheStoreCannotHoldMovesNothing) {
  ASSERT_EQ(
      StoreFiles(Fixture("ecg_greek_utf8.dcm") + " " + Fixture("ecg_cyrillic_utf8.dcm")).exitCode,
      0);
  StartStorescp("");
  const struct {
    const char* keys;
    size_t moved;
  } cases[] = {
      {"-k \"SpecificCharacterSet=ISO_IR 192\" -k \"PatientName=Ελλ*\"", 0},
      {"-k \"SpecificCharacterSet=ISO_IR 192\" -k \"PatientName=Ива*\"", 0},
      {"-k PatientID=P025", 1},
  };
  for (const auto& c : cases) {
    for (const std::string& file : Received()) std::filesystem::remove(file);
    const ToolResult move =
        Move("ARCHIVE1", "-k QueryRetrieveLevel=STUDY -k StudyInstanceUID " + std::string(c.keys));
    const auto statuses = DebugValues(move.output, "DIMSE Status");
    ASSERT_FALSE(statuses.empty()) << c.keys << "\n" << move.output;
    EXPECT_EQ(statuses.back(), "0x0000") << c.keys << "\n" << move.output;
    EXPECT_EQ(Received().size(), c.moved) << c.keys;
  }
}

TEST_F(MovePeer, MissingDestinationListIsReported) {
  std::filesystem::remove(Folder() + "remotes.txt");
  const ToolResult move =
      Move("ARCHIVE1", std::string("-k QueryRetrieveLevel=STUDY -k StudyInstanceUID=") + kStudy);
  EXPECT_EQ(DebugValues(move.output, "DIMSE Status").back(), "0xa801");
  EXPECT_NE(LogText().find("ERROR, file " + Folder() + "remotes.txt does not exists!!"),
            std::string::npos);
}
}  // namespace
