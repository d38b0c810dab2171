// findscu -W with dcmtk's example worklist queries against a vesmora.db filled by sqlite3.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/peers/PeerFixture.h"

namespace {
constexpr const char* kCreateWorklist =
    "CREATE TABLE Worklist (AccessionNumber VARCHAR(16) PRIMARY KEY,PatientName VARCHAR(64),"
    "PatientID VARCHAR(64),PatientBD VARCHAR(8),PatientSex VARCHAR(16),ContrastAllergies "
    "VARCHAR(64),StudyInstanceUID VARCHAR(64),ReqPhysician VARCHAR(64),ReqProcedureDescription "
    "VARCHAR(64),StationAET VARCHAR(16),SPSDescription VARCHAR(64),SPSLocation VARCHAR(64),"
    "Modality VARCHAR(64),PerfPhysician VARCHAR(64),PreMedication VARCHAR(64),SPSID VARCHAR(16),"
    "ReqContrast VARCHAR(64),StartDate VARCHAR(8),StartTime VARCHAR(16),StationName VARCHAR(16),"
    "ReqProcedureID VARCHAR(16),ReqProcedurePriority VARCHAR(16));";

// Columns: accession, name, ID, birth date, sex, allergies, study UID, physician, description,
// station AE, step description, location, modality, performing physician, premedication,
// step ID, contrast, start date, start time, station name, procedure ID, priority.
constexpr const char* kRows =
    "INSERT INTO Worklist VALUES('A1','SMITH^ANN','W1','19700101','F','','1.2.3.1','DR^X',"
    "'Rest ECG','AA2','Rest','Room "
    "1','ECG','DR^Y','','S1','','20240105','130000','A2','R1','HIGH');"
    "INSERT INTO Worklist VALUES('A2','JONES^BOB','W2','19800202','M','','1.2.3.2','DR^X',"
    "'Stress','AA4','Stress','Room 2','DD','DR^Y','','S2','','20240110','083000','A2','R2','LOW');"
    "INSERT INTO Worklist VALUES('A3','','W3','','','','1.2.3.3','','','AA2','','','ECG','','',"
    "'S3','','','','','R3','');";

class WorklistPeer : public PeerFixture {
 protected:
  void CreateWorklist(bool withRows) {
    const std::string statements = std::string(kCreateWorklist) + (withRows ? kRows : "");
    const ToolResult made =
        RunTool("sqlite3 " + Folder() + "database/vesmora.db \"" + statements + "\"");
    ASSERT_EQ(made.exitCode, 0) << made.output;
  }
  // The statuses of one query made from a dcmtk example.
  std::vector<std::string> Query(const std::string& example, std::string* output = nullptr) {
    const std::string query = Folder() + example + ".dcm";
    RunTool("dump2dcm /usr/share/doc/dcmtk/examples/wlistqry/" + example + ".dump " + query);
    const ToolResult find = RunTool("findscu -d -W" + Peer() + query);
    if (output) *output = find.output;
    return DebugValues(find.output, "DIMSE Status");
  }
};

size_t Pending(const std::vector<std::string>& statuses) {
  return std::count(statuses.begin(), statuses.end(), "0xff00");
}

TEST_F(WorklistPeer, ExampleQueriesMatchTheirRows) {
  CreateWorklist(true);
  const struct {
    const char* example;
    size_t matches;
  } cases[] = {
      {"wlistqry0", 3},                     // no key with a value
      {"wlistqry3", 3},  {"wlistqry4", 1},  // Modality DD
      {"wlistqry6", 2},                     // station AA2
      {"wlistqry2", 1},   // station AA2 and station name A2 (an empty name never matches)
      {"wlistqry12", 1},  // station AA4, station name A2
      {"wlistqry5", 2},   // start time from 120000 on; an empty time always matches
  };
  for (const auto& c : cases) {
    const auto statuses = Query(c.example);
    ASSERT_FALSE(statuses.empty()) << c.example;
    EXPECT_EQ(statuses.back(), "0x0000") << c.example;
    EXPECT_EQ(Pending(statuses), c.matches) << c.example;
  }
  std::string output;
  Query("wlistqry4", &output);
  EXPECT_NE(output.find("JONES^BOB"), std::string::npos) << output;
  EXPECT_EQ(output.find("SMITH^ANN"), std::string::npos);
  EXPECT_TRUE(Echo());
}

TEST_F(WorklistPeer, EveryExampleGetsAFinalSuccess) {
  CreateWorklist(true);
  for (int i = 0; i <= 12; ++i) {
    const std::string example = "wlistqry" + std::to_string(i);
    const auto statuses = Query(example);
    ASSERT_FALSE(statuses.empty()) << example;
    EXPECT_EQ(statuses.back(), "0x0000") << example;
  }
  EXPECT_TRUE(Echo());
}

TEST_F(WorklistPeer, EmptyOrMissingWorklistAnswersNoMatches) {
  auto statuses = Query("wlistqry0");
  ASSERT_EQ(statuses.size(), 1u);
  EXPECT_EQ(statuses[0], "0x0000");
  EXPECT_NE(LogText().find("ERROR, Couldn't open Vesmora database"), std::string::npos);
  CreateWorklist(false);
  statuses = Query("wlistqry0");
  ASSERT_EQ(statuses.size(), 1u);
  EXPECT_EQ(statuses[0], "0x0000");
}
// Worklist keys were compared as the bytes the peer sent, so a peer writing the UTF-8 its query
// declares never matched a name beyond ASCII. Keys are converted from the declaration now, those
// inside the Scheduled Procedure Step Sequence too; an undeclared key is its bytes as ever.
TEST_F(WorklistPeer, KeysAreConvertedFromTheQuerysCharacterSet) {
  CreateWorklist(true);
  // PatientName M\xDCLLER^ANNA and location S\xDCD, in the worklist's Latin-1.
  const ToolResult added = RunTool(
      "sqlite3 " + Folder() +
      "database/vesmora.db \"INSERT INTO Worklist VALUES('A4',CAST(X'4DDC4C4C45525E414E4E41' AS "
      "TEXT),'W4','','F','','1.2.3.4','','','AA2','',CAST(X'53DC44' AS TEXT),'ECG','','','S4',"
      "'','','','','R4','');"
      // Two names that the worklist's encoding cannot hold, written with a "?" for each letter.
      "INSERT INTO Worklist VALUES('A5','?????????^????\?','W5','','F','','1.2.3.5','','',"
      "'AA2','','??\?','ECG','','','S5','','','','','R5','');"
      "INSERT INTO Worklist VALUES('A6','???????^????\?','W6','','F','','1.2.3.6','','',"
      "'AA2','','','ECG','','','S6','','','','','R6','');\"");
  ASSERT_EQ(added.exitCode, 0) << added.output;
  const struct {
    std::string keys;
    size_t matches;
  } cases[] = {
      {"-k \"SpecificCharacterSet=ISO_IR 192\" -k \"PatientName=MÜLLER*\"", 1},
      {"-k \"SpecificCharacterSet=ISO_IR 192\" -k \"PatientName=Müller^Anna\"", 1},
      {"-k \"SpecificCharacterSet=ISO_IR 100\" -k \"PatientName=M\xDCLLER*\"", 1},
      {"-k \"PatientName=M\xDCLLER*\"", 1},
      {"-k \"PatientName=MÜLLER*\"", 0},
      {"-k \"SpecificCharacterSet=ISO_IR 192\" -k PatientName "
       "-k \"ScheduledProcedureStepSequence[0].ScheduledProcedureStepLocation=SÜD\"",
       1},
      // A key the worklist's encoding cannot hold would compare its "?" with every "?" of
      // the table: it matches no row, inside the sequence too. A typed "?" is a character.
      {"-k \"SpecificCharacterSet=ISO_IR 192\" -k \"PatientName=Ελλ*\"", 0},
      {"-k \"SpecificCharacterSet=ISO_IR 192\" -k \"PatientName=Ива*\"", 0},
      {"-k \"SpecificCharacterSet=ISO_IR 192\" -k PatientName "
       "-k \"ScheduledProcedureStepSequence[0].ScheduledProcedureStepLocation=Σ*\"",
       0},
      {"-k \"SpecificCharacterSet=ISO_IR 100\" -k \"PatientName=M\x85*\"", 0},
      {"-k \"PatientName=???*\"", 2},
  };
  for (const auto& c : cases) {
    const ToolResult find = RunTool("findscu -d -W" + Peer() + c.keys);
    const auto statuses = DebugValues(find.output, "DIMSE Status");
    ASSERT_FALSE(statuses.empty()) << c.keys << "\n" << find.output;
    EXPECT_EQ(statuses.back(), "0x0000") << c.keys;
    EXPECT_EQ(Pending(statuses), c.matches) << c.keys << "\n" << find.output;
  }
  EXPECT_NE(LogText().find("WARNING, Worklist key Patient's Name holds a character the "
                           "database cannot hold; no match"),
            std::string::npos);
}

// Worklist answers carried the worklist's Latin-1 bytes without saying so, so a peer read
// "MÜLLER" as "Mller" or worse. An answer that holds such bytes declares ISO_IR 100 now, and
// pydicom, an independent reader, decodes the name the row holds.
TEST_F(WorklistPeer, AnswersDeclareTheirCharacterSet) {
  CreateWorklist(true);
  const ToolResult added =
      RunTool("sqlite3 " + Folder() +
              "database/vesmora.db \"INSERT INTO Worklist VALUES('A4',CAST(X'"
              "4DFC6C6C65725E4AF67267' AS TEXT),'W4','','M','','1.2.3.4','','','AA9','','',"
              "'ECG','','','S4','','','','','R4','');\"");
  ASSERT_EQ(added.exitCode, 0) << added.output;
  const std::string answers = Folder() + "answers/";
  std::filesystem::create_directories(answers);
  const struct {
    const char* keys;
    const char* name;     // as pydicom decodes it
    const char* charset;  // (0008,0005) of the answer; "-" for none
  } cases[] = {
      {"-k \"PatientName=M*\"", "Müller^Jörg", "ISO_IR 100"},
      {"-k \"SpecificCharacterSet=ISO_IR 192\" -k \"PatientName=MÜLLER*\"", "Müller^Jörg",
       "ISO_IR 100"},
      {"-k \"PatientName=SMITH*\"", "SMITH^ANN", "-"},  // pure ASCII declares nothing
  };
  for (const auto& c : cases) {
    std::filesystem::remove_all(answers);
    std::filesystem::create_directories(answers);
    const ToolResult find = RunTool("findscu -X -od " + answers + " -W" + Peer() + c.keys);
    ASSERT_EQ(find.exitCode, 0) << c.keys << "\n" << find.output;
    const ToolResult read =
        RunTool("/usr/bin/python3 -c \"import pydicom; d = pydicom.dcmread('" + answers +
                "rsp0001.dcm'); print(d.PatientName); print(d.get('SpecificCharacterSet', '-'))\"");
    EXPECT_EQ(read.output, std::string(c.name) + "\n" + c.charset + "\n") << c.keys;
  }
}

// Keys inside nested sequences are matched level by level, down to a bound: a query nested
// deeper than that matches no row instead of recursing on.
TEST_F(WorklistPeer, NestedKeysMatchDownToABound) {
  CreateWorklist(true);
  const struct {
    const char* query;
    size_t matches;
  } cases[] = {{"wl_nested_20.dcm", 2}, {"wl_nested_40.dcm", 0}};
  for (const auto& c : cases) {
    const ToolResult find = RunTool("findscu -d -W" + Peer() + Fixture(c.query));
    const auto statuses = DebugValues(find.output, "DIMSE Status");
    ASSERT_FALSE(statuses.empty()) << c.query << "\n" << find.output;
    EXPECT_EQ(statuses.back(), "0x0000") << c.query;
    EXPECT_EQ(Pending(statuses), c.matches) << c.query;
  }
  EXPECT_TRUE(Echo());
}
}  // namespace
