// findscu -S at STUDY, SERIES and IMAGE level against the objects stored by storescu.
#include <gtest/gtest.h>

#include <algorithm>

#include "db/Register.h"
#include "db/SQLdb.h"
#include "db/StoreNames.h"
#include "db/StudyInfo.h"
#include "dicom/DcmObj.h"
#include "dicom/Tags.h"
#include "net/PDU_Service.h"
#include "net/client/ClientOperations.h"
#include "net/server/rules/CommandTable.h"
#include "tests/peers/PeerFixture.h"

namespace {
constexpr const char* kStudy = "1.2.826.0.1.3680043.8.498.7.1";
constexpr const char* kSeriesA = "1.2.826.0.1.3680043.8.498.7.1.1";
constexpr const char* kQuoteStudy = "1.2.826.0.1.3680043.8.498.7.7";

class FindPeer : public PeerFixture {
 protected:
  void SetUp() override {
    PeerFixture::SetUp();
    if (HasFatalFailure()) return;
    for (const char* file :
         {"ecg_12lead.dcm", "ecg_12lead_b.dcm", "ecg_series_b.dcm", "ecg_quote_name.dcm"}) {
      ASSERT_EQ(StoreFiles(Fixture(file)).exitCode, 0);
    }
    ASSERT_EQ(StoreFiles(Fixture("ct_jpeg_lossless.dcm"), "-xs ").exitCode, 0);
  }
  ToolResult Find(const std::string& keys) { return RunTool("findscu -d -S" + Peer() + keys); }
};

struct FindCase {
  std::string keys;
  size_t matches;
  const char* finalStatus;
  const char* expectedText;  // in the output, or null
};

TEST_F(FindPeer, KeysAtThreeLevels) {
  const std::string study = "-k QueryRetrieveLevel=STUDY -k StudyInstanceUID ";
  const FindCase cases[] = {
      {study + "-k \"PatientName=DOE*\"", 1, "0x0000", kStudy},
      {study + "-k \"PatientName=doe*\"", 1, "0x0000", nullptr},
      {study + "-k PatientName", 3, "0x0000", nullptr},
      {study + "-k StudyDate=20240103-", 1, "0x0000", "1.2.826.0.1.3680043.8.498.7.6"},
      {study + "-k StudyDate=20240101-20240102", 2, "0x0000", kStudy},
      {study + "-k \"StudyDate=20240101 - 20240102\"", 2, "0x0000", kStudy},
      {study + "-k StudyDate=-20231231", 0, "0x0000", nullptr},
      // A quote is a value, not SQL: nothing matches instead of everything.
      {study + "-k \"PatientName=x' OR '1'='1\"", 0, "0x0000", nullptr},
      // A quote stands for the blank stored in its place.
      {study + "-k \"PatientName=O'NEIL*\"", 1, "0x0000", kQuoteStudy},
      {"-k QueryRetrieveLevel=SERIES -k SeriesInstanceUID -k StudyInstanceUID=" +
           std::string(kStudy),
       2, "0x0000", kSeriesA},
      {"-k QueryRetrieveLevel=IMAGE -k SOPInstanceUID -k StudyInstanceUID=" + std::string(kStudy) +
           " -k SeriesInstanceUID=" + kSeriesA,
       2, "0x0000", "1.2.826.0.1.3680043.8.498.7.2.2"},
      {"-k QueryRetrieveLevel=study -k StudyInstanceUID", 0, "0xc000", nullptr},
  };
  for (const FindCase& c : cases) {
    const ToolResult find = Find(c.keys);
    const auto statuses = DebugValues(find.output, "DIMSE Status");
    ASSERT_FALSE(statuses.empty()) << c.keys << "\n" << find.output;
    EXPECT_EQ(statuses.back(), c.finalStatus) << c.keys;
    EXPECT_EQ(static_cast<size_t>(std::count(statuses.begin(), statuses.end(), "0xff00")),
              c.matches)
        << c.keys << "\n"
        << find.output;
    if (c.expectedText) {
      EXPECT_NE(find.output.find(c.expectedText), std::string::npos) << c.keys;
    }
  }
  EXPECT_TRUE(Echo());
}

// Registers a file the way the folder import does: the object as read, through RegisterDB on a
// connection of its own, without the association threads' lock.
void RegisterAsImported(const std::string& path) {
  DcmObj object;
  ASSERT_TRUE(object.Read(path));
  SQLdb db("ecg", kOpenReadWrite);
  ASSERT_TRUE(db.isOpen);
  ASSERT_TRUE(RegisterDB(db, object, object.GetString(tag::kStudyDate), MakeStudyFolderName(object),
                         MakeSeriesFolderName(object)));
}

// Stored names have their carets turned into blanks, but Patient Name keys were matched as sent,
// so a name searched exactly as DICOM writes it found nothing. Two more paths gave an empty
// answer for a patient in the store: a key in the UTF-8 its identifier declares was compared as
// its bytes, and an imported name kept its carets, so the caret key that finds a received copy
// missed it.
TEST_F(FindPeer, PatientNameKeysMatchAsNamesAreStored) {
  ASSERT_EQ(StoreFiles(Fixture("ecg_smith.dcm") + " " + Fixture("ecg_jones.dcm") + " " +
                       Fixture("ecg_mueller_utf8.dcm") + " " + Fixture("ecg_mueller_latin1.dcm") +
                       " " + Fixture("ecg_greek_utf8.dcm") + " " + Fixture("ecg_cyrillic_utf8.dcm"))
                .exitCode,
            0);
  ASSERT_NO_FATAL_FAILURE(RegisterAsImported(Fixture("ecg_scan_one.dcm")));
  const std::string smith = "1.2.826.0.1.3680043.8.498.7.20";
  const std::string jones = "1.2.826.0.1.3680043.8.498.7.21";
  const std::string muellerUtf8 = "1.2.826.0.1.3680043.8.498.7.22";
  const std::string muellerLatin1 = "1.2.826.0.1.3680043.8.498.7.23";
  const std::string scan = "1.2.826.0.1.3680043.8.498.7.24";
  const std::string greek = "1.2.826.0.1.3680043.8.498.7.25";
  const std::string cyrillic = "1.2.826.0.1.3680043.8.498.7.26";
  // The imported name looks like a received one.
  EXPECT_EQ(EcgRows("SELECT PatientName FROM Study WHERE StudyInstanceUID='" + scan + "'"),
            std::vector<std::string>{"SCAN ONE;"});
  struct NameCase {
    const char* key;
    std::vector<std::string> studies;  // in the order of `all` below
    const char* declared = nullptr;    // the identifier's (0008,0005), if any
  };
  const NameCase cases[] = {
      {"SMITH^ANNA", {smith}},
      {"SMITH ANNA", {smith}},
      {"SMITH^ANNA^^", {smith}},
      {"SMITH^ANNA  ", {smith}},
      {"^SMITH^ANNA", {smith}},
      {"SMITH^*", {smith}},
      {"SM*^ANNA", {smith}},
      {"JONES^ANNA", {jones}},  // stored from JONES^ANNA^^
      {"*^ANNA", {jones, smith}},
      {"SMITH^ANN?", {}},  // "?" is an ordinary character
      {"SMITH^ANNA^X", {}},
      // Both copies of the patient, whichever set each was sent in.
      {"MÜLLER*", {muellerUtf8, muellerLatin1}, "ISO_IR 192"},
      {"MÜLLER^JÖRG", {muellerUtf8, muellerLatin1}, "ISO_IR 192"},
      {"M\xDCLLER^J\xD6RG", {muellerUtf8, muellerLatin1}, "ISO_IR 100"},
      {"M\xDCLLER*", {muellerUtf8, muellerLatin1}},  // undeclared: its bytes, as ever
      {"MÜLLER*", {}},                               // undeclared UTF-8 bytes stay bytes
      {"SCAN^ONE", {scan}},
      {"SCAN^*", {scan}},
      {"SCAN ONE", {scan}},
      // The store holds each character Latin-1 lacks as "?", so these keys would find every
      // name that begins with as many such characters: they find no one, not even their own.
      {"Ελλ*", {}, "ISO_IR 192"},
      {"Ива*", {}, "ISO_IR 192"},
      {"Ελληνίδου^Ελένη", {}, "ISO_IR 192"},
      {"M\x85*", {}, "ISO_IR 100"},  // a C1 control, which the store cannot hold either
      {"???*", {greek, cyrillic}},   // typed "?" stays an ordinary character
  };
  const std::string all[] = {jones, smith, muellerUtf8, muellerLatin1, scan, greek, cyrillic};
  for (const NameCase& c : cases) {
    const std::string charset =
        c.declared ? "-k \"SpecificCharacterSet=" + std::string(c.declared) + "\" " : "";
    const ToolResult find = Find("-k QueryRetrieveLevel=STUDY -k StudyInstanceUID " + charset +
                                 "-k \"PatientName=" + c.key + "\"");
    const auto statuses = DebugValues(find.output, "DIMSE Status");
    ASSERT_FALSE(statuses.empty()) << c.key << "\n" << find.output;
    EXPECT_EQ(statuses.back(), "0x0000") << c.key;
    std::vector<std::string> found;
    for (const std::string& uid : all)
      if (find.output.find("[" + uid + "]") != std::string::npos) found.push_back(uid);
    EXPECT_EQ(found, c.studies) << c.key << "\n" << find.output;
    EXPECT_EQ(static_cast<size_t>(std::count(statuses.begin(), statuses.end(), "0xff00")),
              c.studies.size())
        << c.key;
  }
}

// A node with a Users row searches only the studies its row allows, and every response carries
// the row's key; a node without a row searches unrestricted.
TEST_F(FindPeer, UsersRowNarrowsStudySearches) {
  const ToolResult made = RunTool(
      "sqlite3 " + Folder() +
      "database/vesmora.db \"CREATE TABLE Users (UserName VARCHAR(64) "
      "PRIMARY KEY, PassWord VARCHAR(64), Rights INTEGER, TransSyntax INTEGER, PhysicianName "
      "VARCHAR(128), InstitutionName VARCHAR(128), StudyDescription VARCHAR(128), StudyModality "
      "VARCHAR(128)); INSERT INTO Users VALUES ('CTUSER', '', 1, 0, '', '', '', 'CT');\"");
  ASSERT_EQ(made.exitCode, 0) << made.output;
  const std::string keys = "-k QueryRetrieveLevel=STUDY -k StudyInstanceUID";
  const ToolResult narrowed = RunTool("findscu -d -S -aet CTUSER" + Peer() + keys);
  auto statuses = DebugValues(narrowed.output, "DIMSE Status");
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "0xff00"), 1) << narrowed.output;
  EXPECT_NE(narrowed.output.find("(0008,0061) CS [CT]"), std::string::npos) << narrowed.output;
  EXPECT_NE(narrowed.output.find("1.2.826.0.1.3680043.8.498.7.6"), std::string::npos);
  const ToolResult open = RunTool("findscu -d -S -aet NOBODY" + Peer() + keys);
  statuses = DebugValues(open.output, "DIMSE Status");
  EXPECT_EQ(std::count(statuses.begin(), statuses.end(), "0xff00"), 3) << open.output;

  // The calling title is looked up without the blanks around it.
  PDU_Service pdu;
  ASSERT_TRUE(
      OpenAssociation(pdu, "127.0.0.1", Port(), " CTUSER ", "TREVALIND", kStudyRootFindClass, 30));
  QueryRecords records;
  records.studies.push_back(std::make_unique<StudyInfo>());
  ASSERT_TRUE(WriteFindRQ(pdu, records, kStudyRootFindClass, "STUDY"));
  int status = 0;
  do {
    status = ReadFindRSP(pdu, records, "STUDY");
  } while (status == 0xFF00);
  pdu.Close();
  EXPECT_EQ(status, 0);
  ASSERT_EQ(records.studies.size(), 1u);
  EXPECT_EQ(records.studies[0]->StudyModality, "CT");
}

TEST_F(FindPeer, RequestWithoutLevelGetsNoAnswerAndTheServerStaysUp) {
  const ToolResult find = Find("-k StudyInstanceUID");
  EXPECT_TRUE(DebugValues(find.output, "DIMSE Status").empty()) << find.output;
  EXPECT_NE(LogText().find("ERROR, QueryLevel length=0"), std::string::npos);
  EXPECT_TRUE(Echo());
}

TEST_F(FindPeer, CancelIsReadAfterTheFinalResponse) {
  const ToolResult find =
      RunTool("findscu -S --cancel 1" + Peer() + "-k QueryRetrieveLevel=STUDY -k PatientName");
  (void)find;
  EXPECT_TRUE(Echo());
}
}  // namespace
