// Local query translation: key values, conditions, statements (seen in the failure log line),
// results, response identifiers and the user restriction.
#include "db/LocalQuery.h"
#include "db/Register.h"
#include "db/SQLdb.h"
#include "db/StoreNames.h"
#include "db/StudyInfo.h"
#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"
#include "tests/db/DbTestSupport.h"

namespace {

class LocalQueryTest : public DbTest {
 protected:
  void Register(const std::string& study, const std::vector<Field>& extra) {
    DcmObj object;
    MakeObject(object, study, study + ".1", study + ".1.1", extra);
    ASSERT_TRUE(RegisterinDB("PEER", object, "20240105", MakeStudyFolderName(object),
                             MakeSeriesFolderName(object)));
  }
  // The statement a query builds, read from the failure line on a database without tables.
  std::string StatementOf(const DcmObj& identifier, const std::string& level) {
    { SQLdb create("ecg", kOpenCreate); }
    TakeLog();
    std::vector<std::string> rows;
    std::string columns;
    int count = -1;
    EXPECT_FALSE(QueryLocalDatabase(identifier, rows, columns, count, level));
    for (const auto& line : TakeLog())
      if (line.rfind("ERROR, QueryStudyDB, Query=", 0) == 0) return line.substr(27);
    return "(none)";
  }
  std::vector<std::string> Find(const std::vector<Field>& keys, const std::string& level,
                                std::string* columnsOut = nullptr) {
    DcmObj identifier;
    for (const Field& key : keys) identifier.Add(new DcmTag(key.group, key.element, key.value));
    std::vector<std::string> rows;
    std::string columns;
    int count = 0;
    EXPECT_TRUE(QueryLocalDatabase(identifier, rows, columns, count, level));
    if (columnsOut) *columnsOut = columns;
    return rows;
  }
};

DcmTag Raw(const std::string& bytes) {
  return DcmTag(0x0010, 0x0010, static_cast<uint32_t>(bytes.size()), bytes.data(), "PN");
}

TEST_F(LocalQueryTest, DateConditions) {
  struct Case {
    std::string value;
    std::string condition;
  } cases[] = {{"20240105", "StudyDate='20240105'"},
               {"-20240131", "StudyDate <= '20240131'"},
               {"- 20240131", "StudyDate <= '20240131'"},
               {"20240101-", "StudyDate >= '20240101'"},
               {"20240101 -", "StudyDate >= '20240101'"},
               {"20240101-20240131", "(StudyDate >= '20240101') AND (StudyDate <= '20240131')"},
               {"20240101 - 20240131", "(StudyDate >= '20240101') AND (StudyDate <= '20240131')"},
               {"2024'01", "StudyDate='2024''01'"}};
  for (const Case& c : cases) {
    std::string condition;
    SqlValues values;
    ASSERT_TRUE(BuildDateCondition(c.value, "StudyDate", condition, values)) << c.value;
    EXPECT_EQ(StatementText(condition, values), c.condition) << c.value;
  }
  std::string condition = "old";
  SqlValues values;
  EXPECT_FALSE(BuildDateCondition("", "StudyDate", condition, values));
  EXPECT_EQ(condition, "");
}

TEST_F(LocalQueryTest, StudyValuePreparation) {
  struct Case {
    std::string bytes;
    std::string prepared;
  } cases[] = {{"*", ""},
               {"* ", ""},
               {"**", ""},
               {"*DOE*", "%DOE"},
               {"DOE* ", "DOE"},
               {"A1*", "A1"},
               {"A*1", "A%1"},
               {"AB*C", "AB%C"},
               {"2024*", "2024"},
               {" DOE ", "DOE"},
               {"O'Neil*", "O Neil"},
               {"P_D%", "P_D%"},
               {std::string("A1\0*", 4), "A1"},
               {"", ""},
               // Patient Names as DICOM writes them, in the form names are stored.
               {"SMITH^ANNA", "SMITH ANNA"},
               {"SMITH^ANNA^^ ", "SMITH ANNA"},
               {"^SMITH", "SMITH"},
               {"SMITH^* ", "SMITH"},
               {"SM*^ANNA", "SM% ANNA"},
               {"SMITH^ANN?", "SMITH ANN?"}};
  for (const Case& c : cases) EXPECT_EQ(PrepareStudyValue(Raw(c.bytes)), c.prepared) << c.bytes;
  // Only the Patient Name key stands for a stored name.
  const std::string caret = "A^B";
  EXPECT_EQ(PrepareStudyValue(DcmTag(0x0008, 0x0090, 3, caret.data(), "PN")), "A^B");
  EXPECT_EQ(PrepareSeriesValue(Raw("* ")), "*");
  EXPECT_EQ(PrepareImageValue(Raw(std::string("1.2\0", 4))), "1.2");
}

TEST_F(LocalQueryTest, StatementsFollowTheIdentifierKeys) {
  StudyInfo keys;
  keys.StudyDate = "20240101-20240131";
  keys.PatientName = "DOE*";
  DcmObj study;
  keys.WriteDCO(study);
  EXPECT_EQ(StatementOf(study, "STUDY"),
            "SELECT StudyDate, StudyTime, AccessionNumber, StudyModality, InstitutionName, "
            "ReferPhysician, StudyDescription, PatientName, PatientID, PatientBD, PatientSex, "
            "StudyInstanceUID  from Study  WHERE (StudyDate >= '20240101') AND (StudyDate <= "
            "'20240131') AND PatientName LIKE 'DOE%' ORDER BY PatientName");

  DcmObj series;
  series.Add(new DcmTag(0x0008, 0x0060, std::string()));
  series.Add(new DcmTag(0x0020, 0x000D, std::string("1.2.3")));
  series.Add(new DcmTag(0x0020, 0x000E, std::string()));
  series.Add(new DcmTag(0x0020, 0x0011, std::string()));
  EXPECT_EQ(StatementOf(series, "SERIES"),
            "SELECT Modality, StudyInstanceUID, SeriesInstanceUID, SeriesNumber  from Series  "
            "WHERE StudyInstanceUID = '1.2.3'");

  DcmObj image;
  image.Add(new DcmTag(0x0008, 0x0052, std::string("IMAGE")));
  image.Add(new DcmTag(0x0008, 0x0018, std::string("1.2.3.4")));
  image.Add(new DcmTag(0x0008, 0x0060, std::string("ECG")));  // no IMAGE key
  EXPECT_EQ(StatementOf(image, "IMAGE"),
            "SELECT SOPInstanceUID  from Objects  WHERE SOPInstanceUID = '1.2.3.4'");

  DcmObj none;
  EXPECT_EQ(StatementOf(none, "STUDY"), "SELECT   from Study  ORDER BY PatientName");
}

TEST_F(LocalQueryTest, KeysSelectMatchingStudies) {
  CreateStudyDatabase();
  Register("1.5.1", {{0x0010, 0x0010, "DOE^JOHN"}, {0x0008, 0x0050, "A1"}});
  Register("1.5.2", {{0x0010, 0x0010, "O'Neil^Mary"}, {0x0010, 0x0020, "PX2"}});
  Register("1.5.3", {{0x0010, 0x0010, "Roe^Jane"}, {0x0008, 0x0020, "20230301"}});
  struct Case {
    uint16_t group;
    uint16_t element;
    std::string value;
    std::vector<std::string> uids;
  } cases[] = {
      {0x0010, 0x0010, "DOE*", {"1.5.1"}},
      {0x0010, 0x0010, "doe", {"1.5.1"}},  // LIKE folds ASCII case
      {0x0010, 0x0010, "*ane*", {"1.5.3"}},
      {0x0010, 0x0010, "O'Neil*", {"1.5.2"}},
      {0x0010, 0x0010, "*", {"1.5.1", "1.5.2", "1.5.3"}},
      {0x0010, 0x0020, "P_2", {"1.5.2"}},  // "_" stays a wildcard
      {0x0008, 0x0050, "A1*", {"1.5.1"}},
      {0x0008, 0x0050, "A*1", {}},
      {0x0008, 0x0020, "-20231231", {"1.5.3"}},
      {0x0008, 0x0020, "2024*", {}},
      {0x0010, 0x0010, "x' OR '1'='1", {}},
      {0x0020, 0x000D, "1.5.1\\1.5.2", {}},  // a UID list is one text
      {0x0020, 0x000D, "1.5.2", {"1.5.2"}},
      {0x0010,
       0x0010,
       "x' UNION SELECT * FROM (WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x+1 FROM c) "
       "SELECT x FROM c) --",
       {}},
  };
  for (const Case& c : cases) {
    std::string columns;
    const auto rows =
        Find({{c.group, c.element, c.value}, {0x0020, 0x000D, ""}}, "STUDY", &columns);
    std::vector<std::string> uids;
    for (const auto& row : rows) {
      std::string uid;
      GetRowKeyUID(uid, columns, row, 2, "STUDY");
      uids.push_back(uid);
    }
    std::sort(uids.begin(), uids.end());
    EXPECT_EQ(uids, c.uids) << c.value;
  }
  EXPECT_TRUE(Find({{0x0008, 0x0060, "*"}}, "SERIES").empty());  // "*" literal below STUDY
  EXPECT_EQ(Find({{0x0020, 0x000D, "1.5.2"}, {0x0020, 0x000E, ""}}, "SERIES"),
            std::vector<std::string>{"1.5.2;1.5.2.1;"});
  EXPECT_EQ(Find({{0x0020, 0x000E, "1.5.3.1"}, {0x0008, 0x0018, ""}}, "IMAGE"),
            std::vector<std::string>{"1.5.3.1;1.5.3.1.1;"});
}

TEST_F(LocalQueryTest, RepeatedKeysHaveNoLengthLimit) {
  CreateStudyDatabase();
  Register("1.5.4", {});
  DcmObj identifier;
  for (int i = 0; i < 300; ++i) identifier.Add(new DcmTag(0x0010, 0x0020, std::string("PID1")));
  std::vector<std::string> rows;
  std::string columns;
  int count = 0;
  EXPECT_TRUE(QueryLocalDatabase(identifier, rows, columns, count, "STUDY"));
  EXPECT_EQ(count, 300);
  EXPECT_EQ(columns.size(), 300 * std::string("PatientID, ").size() - 1);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].size(), 300 * std::string("PID1;").size());
}

TEST_F(LocalQueryTest, RowsBecomeResponsesInKeyOrderWithTheLevel) {
  const std::string columns =
      "StudyDate, StudyTime, AccessionNumber, StudyModality, InstitutionName, ReferPhysician, "
      "StudyDescription, PatientName, PatientID, PatientBD, PatientSex, StudyInstanceUID ";
  DcmObj response;
  ASSERT_TRUE(RowToDCO(response, columns,
                       "20240105;101010;ACC1;ECG;HOSP;;;DOE JOHN;123;19600101;M;1.2.3;", 12,
                       "STUDY"));
  struct Expected {
    uint16_t group;
    uint16_t element;
    std::string bytes;
  } expected[] = {{0x0008, 0x0020, "20240105"},
                  {0x0008, 0x0030, "101010"},
                  {0x0008, 0x0050, "ACC1"},
                  {0x0008, 0x0052, "STUDY "},
                  {0x0008, 0x0061, "ECG "},
                  {0x0008, 0x0080, "HOSP"},
                  {0x0008, 0x0090, ""},
                  {0x0008, 0x1030, ""},
                  {0x0010, 0x0010, "DOE JOHN"},
                  {0x0010, 0x0020, "123 "},
                  {0x0010, 0x0030, "19600101"},
                  {0x0010, 0x0040, "M "},
                  {0x0020, 0x000D, std::string("1.2.3\0", 6)}};
  ASSERT_EQ(response.Count(), 13);
  for (int i = 0; i < 13; ++i) {
    const DcmTag* tag = response.TagAt(i);
    EXPECT_EQ(tag->group, expected[i].group) << i;
    EXPECT_EQ(tag->element, expected[i].element) << i;
    EXPECT_EQ(std::string(tag->data.begin(), tag->data.end()), expected[i].bytes) << i;
  }
  EXPECT_EQ(response.TagAt(4)->VR(), "CS");  // from the dictionary

  DcmObj image;
  ASSERT_TRUE(RowToDCO(image, "SOPClassUID, SOPInstanceUID ", "1.2;1.2.3;", 2, "IMAGE"));
  ASSERT_EQ(image.Count(), 3);
  EXPECT_EQ(image.TagAt(2)->element, 0x0052);  // no greater tag: last
  EXPECT_EQ(std::string(image.TagAt(1)->data.begin(), image.TagAt(1)->data.end()),
            std::string("1.2.3\0", 6));

  DcmObj named;  // only greater tags: the level goes first
  ASSERT_TRUE(RowToDCO(named, "PatientName, StudyInstanceUID ", "DOE;1.2.3;", 2, "STUDY"));
  ASSERT_EQ(named.Count(), 3);
  EXPECT_EQ(named.TagAt(0)->element, 0x0052);
  EXPECT_EQ(std::string(named.TagAt(0)->data.begin(), named.TagAt(0)->data.end()), "STUDY ");
  EXPECT_EQ(named.TagAt(1)->group, 0x0010);
  EXPECT_EQ(named.TagAt(2)->element, 0x000D);

  // A row of stored text beyond ASCII declares the database's encoding, first of all; an ASCII
  // row declares nothing.
  DcmObj latin;
  ASSERT_TRUE(RowToDCO(latin, "PatientName, StudyInstanceUID ", "M\xDCLLER;1.2.3;", 2, "STUDY"));
  ASSERT_EQ(latin.Count(), 4);
  EXPECT_EQ(latin.TagAt(0)->group, 0x0008);
  EXPECT_EQ(latin.TagAt(0)->element, 0x0005);
  EXPECT_EQ(latin.TagAt(0)->VR(), "CS");
  EXPECT_EQ(latin.GetString(0x0008, 0x0005), "ISO_IR 100");
  EXPECT_EQ(latin.GetString(0x0010, 0x0010), "M\xDCLLER");
  EXPECT_EQ(named.GetString(0x0008, 0x0005), "");

  DcmObj bad;
  EXPECT_FALSE(RowToDCO(bad, "PatientName, Nonsense ", "A;B;", 2, "STUDY"));
  EXPECT_TRUE(LogHas("ERROR, group&element ==0 for DICOMField Nonsense"));
}

TEST_F(LocalQueryTest, RowKeyUids) {
  struct Case {
    std::string columns;
    std::string row;
    int count;
    std::string level;
    std::string uid;
  } cases[] = {{"PatientName, StudyInstanceUID ", "A; 1.2 ;", 2, "STUDY", "1.2"},
               {"PatientName ", "A;", 1, "STUDY", ""},
               {"StudyInstanceUID, SeriesInstanceUID ", "1.2;1.2.3;", 2, "SERIES", "1.2.3"},
               {"SOPInstanceUID ", "1.2.3.4;", 1, "IMAGE", "1.2.3.4"},
               {"StudyInstanceUID ", "1.2;", 1, "IMAGE", ""},
               {"", "", 0, "STUDY", ""}};
  for (const Case& c : cases) {
    std::string uid = "old";
    GetRowKeyUID(uid, c.columns, c.row, c.count, c.level);
    EXPECT_EQ(uid, c.uid) << c.columns;
  }
}

TEST_F(LocalQueryTest, UsersNarrowStudyQueries) {
  DcmObj identifier;
  identifier.Add(new DcmTag(0x0010, 0x0010, std::string()));
  EXPECT_FALSE(ModifyQueryByUser("ECGUSER", identifier));
  EXPECT_TRUE(LogHas("ERROR, ModifyQueryByUser, opening vesmora database"));
  { SQLdb noUsers("vesmora", kOpenCreate); }  // a database without the Users table
  TakeLog();
  EXPECT_FALSE(ModifyQueryByUser("ECGUSER", identifier));
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{
                           "ERROR, SQLdb::Query, sqlite3_prepare_v2, no such table: Users",
                           "ERROR, Querying vesmora db, no such table: Users"}));
  EXPECT_EQ(identifier.Count(), 1);

  ASSERT_EQ(std::system(("/usr/bin/python3 -c \"import sqlite3; c = sqlite3.connect('" + folder +
                         "database/vesmora.db'); c.execute('CREATE TABLE Users (UserName "
                         "VARCHAR(64) PRIMARY KEY, PassWord VARCHAR(64), Rights INTEGER, "
                         "TransSyntax INTEGER, PhysicianName VARCHAR(128), InstitutionName "
                         "VARCHAR(128), StudyDescription VARCHAR(128), StudyModality "
                         "VARCHAR(128))'); c.execute(\\\"INSERT INTO Users VALUES ('ECGUSER', "
                         "'pw', 1, 0, '', 'HOSP ', '', 'ECG')\\\"); c.execute(\\\"INSERT "
                         "INTO Users VALUES ('O NEIL', '', 0, 0, 'DR', '', '', '')\\\"); "
                         "c.commit()\"")
                            .c_str()),
            0);
  DcmObj quoted;  // a "'" is looked up as the blank stored in its place
  EXPECT_TRUE(ModifyQueryByUser("O'NEIL", quoted));
  EXPECT_EQ(quoted.GetString(0x0008, 0x0090), "DR");
  EXPECT_FALSE(ModifyQueryByUser("NOBODY", identifier));
  EXPECT_TRUE(LogHas("WARNING, NOBODY is not in the user database"));
  ASSERT_TRUE(ModifyQueryByUser("ECGUSER", identifier));
  EXPECT_EQ(identifier.GetString(0x0008, 0x0061), "ECG");
  EXPECT_EQ(identifier.GetString(0x0008, 0x0080), "HOSP");
  EXPECT_EQ(identifier.GetString(0x0008, 0x0090), "");
  EXPECT_EQ(StatementOf(identifier, "STUDY"),
            "SELECT StudyModality, InstitutionName, PatientName  from Study  WHERE "
            "StudyModality LIKE '%ECG%' AND InstitutionName LIKE '%HOSP%' ORDER BY PatientName");
}

}  // namespace
