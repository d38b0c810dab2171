// Store folder names against Python's zlib.crc32, and the checks that keep store paths built
// from received values inside the store.
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "db/SQLdb.h"
#include "db/StoreNames.h"
#include "dicom/DcmObj.h"
#include "platform/ExeFolder.h"
#include "tests/db/DbTestSupport.h"

namespace {

class StoreNamesTest : public DbTest {};

std::string Hex(const std::string& bytes) {
  static const char* digits = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

TEST_F(StoreNamesTest, CrcMatchesZlibOverRandomBytes) {
  std::mt19937 random(20240105);
  std::vector<std::string> inputs{"", "123456789", "1.2.34",
                                  "1.2.3"
                                  "4"};
  for (int i = 0; i < 200; ++i) {
    std::string bytes(random() % 80, '\0');
    for (char& c : bytes) c = static_cast<char>(random() & 0xFF);  // includes bytes >= 0x80
    inputs.push_back(bytes);
  }
  const std::string inputFile = folder + "crc-inputs.txt";
  {
    std::ofstream out(inputFile);
    for (const auto& bytes : inputs) out << Hex(bytes) << "\n";
  }
  std::istringstream oracle(ShellOutput(std::string("/usr/bin/python3 ") + DB_TEST_SCRIPTS +
                                        "/crc_oracle.py '" + inputFile + "'"));
  for (const auto& bytes : inputs) {
    std::string expected;
    ASSERT_TRUE(std::getline(oracle, expected));
    EXPECT_EQ(TextCRC32Hex(bytes), expected) << Hex(bytes);
  }
  EXPECT_EQ(TextCRC32Hex("123456789"), "CBF43926");
  EXPECT_EQ(TextCRC32Hex(""), "00000000");
}

TEST_F(StoreNamesTest, ReflectBitsReversesTheLowBits) {
  struct Case {
    uint32_t value;
    int bits;
    uint32_t reflected;
  } cases[] = {{0x01, 8, 0x80},
               {0x80, 8, 0x01},
               {0x1F3, 8, 0xCF},
               {1, 32, 0x80000000u},
               {0x04C11DB7, 32, 0xEDB88320u}};
  for (const Case& c : cases) EXPECT_EQ(CCRC32::ReflectBits(c.value, c.bits), c.reflected);
}

TEST_F(StoreNamesTest, FolderNamesAreTheCrcOfTheTrimmedValuesInOrder) {
  DcmObj object;
  FillDataSet(object, {{0x0020, 0x000D, " 1.2.840.99.1 "},
                       {0x0020, 0x0010, "S7"},
                       {0x0008, 0x0050, "ACC 1 "},
                       {0x0008, 0x0060, "ECG"},
                       {0x0020, 0x000E, "1.2.840.99.1.2"},
                       {0x0020, 0x0011, "12"}});
  std::istringstream oracle(
      ShellOutput("/usr/bin/python3 -c \"import zlib; "
                  "print('%08X' % zlib.crc32(b'1.2.840.99.1S7ACC 1')); "
                  "print('%08X' % zlib.crc32(b'ECG1.2.840.99.1.212'))\""));
  std::string study, series;
  oracle >> study >> series;
  EXPECT_EQ(MakeStudyFolderName(object), study);
  EXPECT_EQ(MakeSeriesFolderName(object), series);
  DcmObj empty;
  EXPECT_EQ(MakeStudyFolderName(empty), "00000000");
}

TEST_F(StoreNamesTest, OnlyDigitsAndDotsNameAFile) {
  struct Case {
    std::string uid;
    bool safe;
  } cases[] = {{"1.2.840.10008.1", true},
               {std::string(64, '1'), true},
               {std::string(65, '1'), false},
               {"", false},
               {"../../1.2/1.3/1.4", false},
               {"1.2/3", false},
               {"1.2\\3", false},
               {std::string("1.2\0", 4), false},
               {"1.2.a", false},
               {"1.2 ", false},
               // Dots alone or at either end named hidden files ("..dcm"); an empty component
               // is no UID either. Leading zeros and long components are what devices send.
               {".", false},
               {".1.2.3", false},
               {"1.2.3.", false},
               {"1..2", false},
               {"1.02.003", true},
               {"1.2." + std::string(60, '9'), true}};
  for (const Case& c : cases) EXPECT_EQ(IsSafeUidFileName(c.uid), c.safe) << c.uid;
}

// A Study Date named the folder as received, while the database stored some values changed (a
// quote as a blank) and read others back changed (";" as ":"), so files and rows parted. Only
// DICOM dates, with the old "." or "-" separated forms, name a folder now.
TEST_F(StoreNamesTest, OnlyADicomDateNamesADateFolder) {
  struct Case {
    std::string date;
    bool safe;
  } cases[] = {{"20240105", true},
               {"2024", true},
               {"2024.01.05", true},
               {"2024-01-05", true},
               {"", false},
               {".", false},
               {"..", false},
               {"a/b", false},
               {"..\\x", false},
               {"..b", false},
               {std::string("2024\0", 5), false},
               {"2024'0105", false},
               {"2024;0105", false},
               {"2024 0105", false},
               {"2024\0010105", false},  // octal: a control byte
               {"2024\3510105", false},  // octal: a byte above 0x7F
               {"2024..01", false},
               {".2024", false},
               {"2024-", false}};
  for (const Case& c : cases) EXPECT_EQ(IsSafeDateFolder(c.date), c.safe) << c.date;
}

// A received object gets a store path only when both its date and its UID are safe; the
// conforming one gets the store layout.
TEST_F(StoreNamesTest, TraversalValuesGetNoStorePath) {
  struct Case {
    std::string date;
    std::string uid;
    bool accepted;
  } cases[] = {
      {"20240102", "1.2.826.0.1.3680043.8.498.1", true},
      {"../../x", "1.2.3", false},
      {"20240102", "../../x", false},
      {"a/b", "1.2.3", false},
      {"a\\b", "1.2.3", false},
      {"..", "1.2.3", false},
      {".", "1.2.3", false},
      {std::string("2024\0x", 6), "1.2.3", false},
      {"20240102", std::string(65, '1'), false},
      {"20240102", "1.2.3a", false},
      {"20240102", "", false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(IsSafeDateFolder(c.date) && IsSafeUidFileName(c.uid), c.accepted)
        << c.date << " / " << c.uid;
  const StoreFolders folders{"20240102", "0A1B2C3D", "4E5F6071"};
  EXPECT_EQ(StoreFilePath(folders, "1.2.3"),
            ExeFolder + "imagebox/20240102/0A1B2C3D/4E5F6071/1.2.3.dcm");
}

TEST_F(StoreNamesTest, RecordedSeriesPathsAreCheckedPerComponent) {
  struct Case {
    std::string path;
    std::string expected;  // "": refused
  } cases[] = {
      {"20240102/0A1B2C3D/4E5F6071/", "20240102/0A1B2C3D/4E5F6071/"},
      {"20240102/0A1B2C3D/4E5F6071", "20240102/0A1B2C3D/4E5F6071/"},
      {"../../../etc/", ""},
      {"20240102/../x/", ""},
      {"/etc/", ""},
      {"a//b/", ""},
      {"", ""},
      {"/", ""},
      {"a\\..\\b/", ""},
      {std::string("a/b\0/c", 7), ""},
  };
  for (const Case& c : cases) EXPECT_EQ(SafeSeriesPath(c.path), c.expected) << c.path;
}

// The look-ups from a UID to its recorded folder. A "'" in a UID is looked up as the blank that
// registration stored in its place, instead of breaking the statement. A recorded path is read
// as stored: through the row text, the ";" of a folder an older store holds came back as ":",
// and later objects, C-MOVE and Delete went to a folder no row named.
TEST_F(StoreNamesTest, LookUpsGiveTheRecordedFolders) {
  CreateStudyDatabase();
  ASSERT_TRUE(Sqlite("INSERT INTO Study (StudyInstanceUID, StudyDate, StudyPath) VALUES "
                     "('1.7.1', '20240105', 'AB12CD34'), ('1.7.2', '20240105', ''), "
                     "('1.7 3', '20240106', '0000FFFF'), ('1.7.5', '2024;01', 'AB12CD35'); "
                     "INSERT INTO Series (SeriesInstanceUID, SeriesPath, StudyInstanceUID) VALUES "
                     "('1.7.1.1', '20240105/AB12CD34/0123ABCD', '1.7.1'), ('1.7.1.2', '', ''), "
                     "('1.7 3.1', '20240106/0000FFFF/00000001', '1.7 3'), "
                     "('1.7.5.1', '2024;01/AB12CD35/00000002', '1.7.5');")
                  .empty());
  struct Case {
    std::string uid;
    std::string studyPath;
    std::string seriesPath;
  } cases[] = {
      {"1.7.1", "20240105/AB12CD34", ""},
      {"1.7.2", "", ""},  // an empty StudyPath names no folder
      {"1.7.404", "", ""},
      {"1.7'3", "20240106/0000FFFF", ""},
      {"1.7.1.1", "", "20240105/AB12CD34/0123ABCD/"},
      {"1.7.1.2", "", "/"},  // an empty SeriesPath gives the lone separator
      {"1.7'3.1", "", "20240106/0000FFFF/00000001/"},
      {"1.7.5", "2024;01/AB12CD35", ""},
      {"1.7.5.1", "", "2024;01/AB12CD35/00000002/"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GetStudyPath("ecg", c.uid), c.studyPath) << c.uid;
    EXPECT_EQ(GetSeriesPath("ecg", c.uid), c.seriesPath) << c.uid;
  }
  // A later object of each recorded series, or a new series of its study, follows the rows.
  for (const std::string series : {"1.7.5.1", "1.7.5.9"}) {
    DcmObj later;
    MakeObject(later, "1.7.5", series, series + ".1");
    SQLdb db("ecg", kOpenReadOnly);
    StoreFolders folders;
    ASSERT_TRUE(ChooseStoreFolders(db, later, "20240107", folders)) << series;
    EXPECT_EQ(folders.studyDate + "/" + folders.studyFolder, "2024;01/AB12CD35") << series;
  }
  EXPECT_TRUE(TakeLog().empty());

  std::remove(dbPath.c_str());
  EXPECT_EQ(GetStudyPath("ecg", "1.7.1"), "");
  EXPECT_EQ(GetSeriesPath("ecg", "1.7.1.1"), "");
  EXPECT_EQ(TakeLog(),
            (std::vector<std::string>{"ERROR, SQLdb(), unable to open database file",
                                      "ERROR, GetStudyPath, couldn't open database: ecg",
                                      "ERROR, SQLdb(), unable to open database file",
                                      "ERROR, GetSeriesPath, couldn't open database: ecg"}));

  { SQLdb empty("ecg", kOpenCreate); }  // a database without the tables: the statements fail
  TakeLog();
  EXPECT_EQ(GetStudyPath("ecg", "1.7.1"), "");
  EXPECT_EQ(GetSeriesPath("ecg", "1.7.1.1"), "");
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{
                           "ERROR, SQLdb::Query, sqlite3_prepare_v2, no such table: Study",
                           "ERROR, GetStudyPath: no such table: Study",
                           "ERROR, SQLdb::Query, sqlite3_prepare_v2, no such table: Series",
                           "ERROR, GetSeriesPath: no such table: Series"}));
}

}  // namespace
