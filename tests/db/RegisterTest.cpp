// Registration into the Study, Series and Objects tables, rows read back with the sqlite3
// command-line shell as an independent reader.
#include <algorithm>
#include <atomic>
#include <thread>
#include <utility>

#include "db/LocalQuery.h"
#include "db/ObjectsDB.h"
#include "db/Register.h"
#include "db/SQLdb.h"
#include "db/SeriesDB.h"
#include "db/StoreNames.h"
#include "db/StudyDB.h"
#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"
#include "dicom/util/TextUtil.h"
#include "tests/db/DbTestSupport.h"

namespace {

class RegisterTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    CreateStudyDatabase();
  }
  bool Register(const DcmObj& object) {
    return RegisterinDB("PEER", object, "20240105", MakeStudyFolderName(object),
                        MakeSeriesFolderName(object));
  }
  std::string Tables() {
    std::string names;
    for (const auto& name :
         Sqlite("SELECT name FROM sqlite_master WHERE type='table' ORDER BY name"))
      names += name + " ";
    return names;
  }
};

TEST_F(RegisterTest, AnObjectRegisteredTwiceHasOneRowPerTable) {
  DcmObj object;
  MakeObject(object, "1.2.3", "1.2.3.1", "1.2.3.1.1", {{0x0020, 0x0013, "12"}});
  ASSERT_TRUE(Register(object));
  EXPECT_EQ(TakeLog(), std::vector<std::string>{"INFO, StudyDB::Insert, DOE JOHN, PID1, 20240105"});
  ASSERT_TRUE(Register(object));
  EXPECT_TRUE(TakeLog().empty());
  EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Study"), std::vector<std::string>{"1"});
  EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Series"), std::vector<std::string>{"1"});
  EXPECT_EQ(Sqlite("SELECT ImageNumber, typeof(ImageNumber), BackupStatus, KeyObject FROM Objects"),
            std::vector<std::string>{"12|integer|0|N"});
  EXPECT_EQ(Sqlite("SELECT SeriesPath FROM Series"),
            std::vector<std::string>{"20240105/" + MakeStudyFolderName(object) + "/" +
                                     MakeSeriesFolderName(object)});
  EXPECT_EQ(Sqlite("SELECT StudyPath FROM Study"),
            std::vector<std::string>{MakeStudyFolderName(object)});
}

TEST_F(RegisterTest, LaterModalitiesAreMergedOnce) {
  struct Case {
    std::string first;
    std::vector<std::string> later;
    std::string stored;
  } cases[] = {{"ECG", {"HD"}, "ECG-HD"},
               {"ECG", {"HD", "ECG", "EC", "HD"}, "ECG-HD"},
               {"", {"ECG"}, "-ECG"},
               {"ECG", {"ecg"}, "ECG-ecg"},
               // bytes, not UTF-8 characters: "\x80X" lies inside "\xC3\x80X"
               {"\xC3\x80X", {"\x80X"}, "\xC3\x80X"}};
  int n = 0;
  for (const Case& c : cases) {
    const std::string study = "1.2.9." + std::to_string(++n);
    DcmObj first;
    MakeObject(first, study, study + ".1", study + ".1.1", {{0x0008, 0x0060, c.first}});
    ASSERT_TRUE(Register(first));
    int k = 0;
    for (const std::string& modality : c.later) {
      DcmObj later;
      MakeObject(later, study, study + ".1", study + ".1." + std::to_string(++k + 1),
                 {{0x0008, 0x0061, modality}});
      ASSERT_TRUE(Register(later));
    }
    EXPECT_EQ(Sqlite("SELECT StudyModality FROM Study WHERE StudyInstanceUID='" + study + "'"),
              std::vector<std::string>{c.stored})
        << c.first;
  }
}

// A merge that cannot be written is logged with the UPDATE it ran, the merged list in place,
// and the object still registers; a modality already listed runs no UPDATE at all.
TEST_F(RegisterTest, AFailedMergeIsLoggedAndTheObjectStillRegisters) {
  DcmObj first;
  MakeObject(first, "1.2.11", "1.2.11.1", "1.2.11.1.1");
  ASSERT_TRUE(Register(first));
  ASSERT_TRUE(Sqlite("CREATE TRIGGER frozen BEFORE UPDATE ON Study BEGIN SELECT "
                     "RAISE(ABORT, 'study rows are frozen'); END;")
                  .empty());
  struct Case {
    std::string modality;
    std::vector<std::string> log;
  } cases[] = {
      {"HD",
       {"ERROR, SQldb::Exec, command: UPDATE Study SET StudyModality='ECG-HD' WHERE "
        "StudyInstanceUID='1.2.11', study rows are frozen",
        "ERROR, updating Modality, study rows are frozen"}},
      {"EC", {}},
  };
  int k = 1;
  for (const Case& c : cases) {
    DcmObj later;
    MakeObject(later, "1.2.11", "1.2.11.1", "1.2.11.1." + std::to_string(++k),
               {{0x0008, 0x0061, c.modality}});
    TakeLog();
    EXPECT_TRUE(Register(later)) << c.modality;
    EXPECT_EQ(TakeLog(), c.log) << c.modality;
  }
  EXPECT_EQ(Sqlite("SELECT StudyModality FROM Study"), std::vector<std::string>{"ECG"});
  EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Objects"), std::vector<std::string>{"3"});
}

// Every registration stores a name in one form, whatever path the object took: each "^" it
// carries a blank, trimmed, then each "," a "^" and each "'" a blank.
TEST_F(RegisterTest, PatientNamesAreStoredInOneForm) {
  const struct {
    const char* sent;
    const char* stored;
  } kCases[] = {
      {"O'Neil", "O Neil"},
      {"SCAN^ONE", "SCAN ONE"},
      {"DOE^JOHN^^^", "DOE JOHN"},
      {"DOE,JOHN", "DOE^JOHN"},
      {"^", ""},
      {"  SMITH^ANNA ", "SMITH ANNA"},
  };
  int n = 0;
  for (const auto& c : kCases) {
    const std::string study = "1.2.4." + std::to_string(++n);
    DcmObj object;
    MakeObject(object, study, study + ".1", study + ".1.1", {{0x0010, 0x0010, c.sent}});
    ASSERT_TRUE(Register(object)) << c.sent;
    EXPECT_EQ(Sqlite("SELECT PatientName FROM Study WHERE StudyInstanceUID='" + study + "'"),
              std::vector<std::string>{c.stored})
        << c.sent;
  }
}

// A "'" in a key used to break the look-up, so every later object of the study counted as new;
// now the look-up finds the row stored with a blank in its place.
TEST_F(RegisterTest, AQuotedUidIsFoundAsStored) {
  for (const char* sop : {"1.2.10.1.1", "1.2.10.1.2"}) {
    DcmObj object;
    MakeObject(object, "1.2'10", "1.2'10.1", sop, {{0x0008, 0x0061, "HD"}});
    ASSERT_TRUE(Register(object)) << sop;
  }
  for (const auto& line : TakeLog()) EXPECT_EQ(line.find("ERROR"), std::string::npos) << line;
  EXPECT_EQ(Sqlite("SELECT StudyInstanceUID, StudyModality FROM Study"),
            std::vector<std::string>{"1.2 10|HD"});
  EXPECT_EQ(Sqlite("SELECT SeriesInstanceUID, StudyInstanceUID FROM Series"),
            std::vector<std::string>{"1.2 10.1|1.2 10"});
  EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Objects WHERE StudyInstanceUID='1.2 10'"),
            std::vector<std::string>{"2"});
}

// The existence look-up must turn "'" into a blank as the insert stored it: otherwise a study
// with a quoted UID counts as new for every later object, whose modality is then never merged.
TEST_F(RegisterTest, AQuotedStudyUidMergesLaterModalities) {
  const std::pair<const char*, uint16_t> objects[] = {{"ECG", 0x0060}, {"HD", 0x0061}};
  int n = 0;
  for (const auto& [modality, element] : objects) {
    DcmObj object;
    MakeObject(object, "1.2'11", "1.2'11.1", "1.2.11.1." + std::to_string(++n),
               {{0x0008, element, modality}});
    ASSERT_TRUE(Register(object)) << modality;
  }
  EXPECT_EQ(Sqlite("SELECT StudyInstanceUID, StudyModality FROM Study"),
            std::vector<std::string>{"1.2 11|ECG-HD"});
}

// The merge UPDATE used to paste the received modality into a statement that ran several
// statements, so a second object of a known study could drop tables or attach files.
TEST_F(RegisterTest, HostileValuesNeverRunAsStatements) {
  DcmObj first;
  MakeObject(first, "1.2.5", "1.2.5.1", "1.2.5.1.1");
  ASSERT_TRUE(Register(first));
  const std::string attached = folder + "attached.db";
  const std::string hostile[] = {"X'; DROP TABLE Objects; --",
                                 "X'; ATTACH DATABASE '" + attached + "' AS a; --"};
  int k = 1;
  for (const std::string& value : hostile) {
    DcmObj later;
    MakeObject(later, "1.2.5", "1.2.5.1", "1.2.5.1." + std::to_string(++k),
               {{0x0008, 0x0061, value}});
    EXPECT_TRUE(Register(later));
  }
  DcmObj quotedUid;
  MakeObject(quotedUid, "x'; DROP TABLE Series; --", "1.2.5.2", "1.2.5.2.1");
  EXPECT_TRUE(Register(quotedUid));
  EXPECT_EQ(Tables(), "Objects Series Study ");
  EXPECT_FALSE(FileExists(attached));
  EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Objects"), std::vector<std::string>{"4"});
  EXPECT_EQ(Sqlite("SELECT StudyModality FROM Study WHERE StudyInstanceUID='1.2.5'"),
            std::vector<std::string>{"ECG-X ; DROP TABLE Objects; ---X ; ATTACH DATABASE  " +
                                     attached + "  AS a; --"});
}

// A registration is one transaction: a failed Series insert takes the Study row back with it,
// and the next registration of the object inserts all three rows.
TEST_F(RegisterTest, AFailedSeriesInsertIsMendedByTheNextRegistration) {
  {
    SQLdb db("ecg", kOpenReadWrite);
    ASSERT_EQ(db.Exec("DROP TABLE Series"), 0);
  }
  DcmObj object;
  MakeObject(object, "1.2.6", "1.2.6.1", "1.2.6.1.1");
  TakeLog();
  EXPECT_FALSE(Register(object));
  // Each layer adds its own line: the connection's, the look-up's, the insert's two (the
  // engine's message, then the statement with its values in place), the registration's.
  const std::string insert =
      "INSERT OR IGNORE INTO Series (SeriesInstanceUID, SeriesNumber, SeriesDate, SeriesTime, "
      "SeriesDescription, Modality, InstitutionName, Manufacturer, ModelName, BodyPartExamined, "
      "ProtocolName, SeriesPath, StudyInstanceUID) VALUES ('1.2.6.1', '1', '', '', '', 'ECG', "
      "'', '', '', '', '', '20240105/" +
      MakeStudyFolderName(object) + "/" + MakeSeriesFolderName(object) + "', '1.2.6')";
  EXPECT_EQ(TakeLog(), (std::vector<std::string>{
                           "INFO, StudyDB::Insert, DOE JOHN, PID1, 20240105",
                           "ERROR, SQLdb::Query, sqlite3_prepare_v2, no such table: Series",
                           "ERROR, dbLocate for: 1.2.6.1, no such table: Series",
                           "ERROR, SQldb::Exec, command: " + insert + ", no such table: Series",
                           "ERROR, SeriesDB::Insert, no such table: Series",
                           "ERROR, SeriesDB::Insert, " + insert,
                           "ERROR, RegisterDB:series.Insert no such table: Series"}));
  EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Study"), std::vector<std::string>{"0"});
  {
    SQLdb db("ecg", kOpenReadWrite);
    SeriesDB series;
    ASSERT_TRUE(series.CreateTable(db));
  }
  EXPECT_TRUE(Register(object));
  EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Study"), std::vector<std::string>{"1"});
  EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Series"), std::vector<std::string>{"1"});
  EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Objects"), std::vector<std::string>{"1"});
}

// An object keeps one identity: its SOP Instance UID comes again only under its study, series
// and Patient ID, and its study only under its Patient ID; values are compared as registration
// stores them (trimmed, a quote as a blank), so a padded or quoted copy of the same value is
// the same identity and a blank inside a UID is not.
TEST_F(RegisterTest, IdentityOfKnownObjectsStudiesAndSeries) {
  DcmObj first;
  MakeObject(first, "1.9.1", "1.9.1.1", "1.9.1.1.1", {{0x0010, 0x0020, "PID'1"}});
  ASSERT_TRUE(Register(first));
  const std::string sameSop =
      "ERROR, SOPInstanceUID already stored for another study, series or patient: 1.9.1.1.1, "
      "stored study 1.9.1, series 1.9.1.1, patient PID 1; received ";
  const std::string sameStudy = "ERROR, StudyInstanceUID already stored for another patient: ";
  const struct {
    const char* what;
    std::string study, series, sop, patient;
    IdentityCheck expected;
    std::string line;
  } cases[] = {
      {"a re-send", "1.9.1", "1.9.1.1", "1.9.1.1.1", "PID'1", IdentityCheck::Known, ""},
      {"padded, quote as stored", " 1.9.1 ", "1.9.1.1", "1.9.1.1.1", " PID 1 ",
       IdentityCheck::Known, ""},
      {"another patient", "1.9.1", "1.9.1.1", "1.9.1.1.1", "PID2", IdentityCheck::Conflicting,
       sameSop + "study 1.9.1, series 1.9.1.1, patient PID2"},
      {"another study", "1.9.2", "1.9.2.1", "1.9.1.1.1", "PID'1", IdentityCheck::Conflicting,
       sameSop + "study 1.9.2, series 1.9.2.1, patient PID 1"},
      {"another series", "1.9.1", "1.9.1.2", "1.9.1.1.1", "PID'1", IdentityCheck::Conflicting,
       sameSop + "study 1.9.1, series 1.9.1.2, patient PID 1"},
      {"a blank inside the study", "1.9 .1", "1.9.1.1", "1.9.1.1.1", "PID'1",
       IdentityCheck::Conflicting, sameSop + "study 1.9 .1, series 1.9.1.1, patient PID 1"},
      {"a new object of the series", "1.9.1", "1.9.1.1", "1.9.1.1.2", "PID 1", IdentityCheck::New,
       ""},
      {"a new object of the study, another patient", "1.9.1", "1.9.1.3", "1.9.1.3.1", "PID2",
       IdentityCheck::Conflicting,
       sameStudy + "1.9.1, stored patient PID 1; received patient PID2"},
      {"a new object of the series in another study", "1.9.4", "1.9.1.1", "1.9.4.1.1", "PID'1",
       IdentityCheck::Conflicting,
       "ERROR, SeriesInstanceUID already stored for another study: 1.9.1.1, stored study 1.9.1; "
       "received study 1.9.4"},
      {"a new study", "1.9.5", "1.9.5.1", "1.9.5.1.1", "PID2", IdentityCheck::New, ""},
  };
  SQLdb db("ecg", kOpenReadWrite);
  TakeLog();
  for (const auto& c : cases) {
    DcmObj object;
    MakeObject(object, c.study, c.series, c.sop, {{0x0010, 0x0020, c.patient}});
    EXPECT_EQ(CheckIdentity(db, object), c.expected) << c.what;
    const std::vector<std::string> lines = TakeLog();
    EXPECT_EQ(lines, c.line.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.line})
        << c.what;
  }
}

TEST_F(RegisterTest, AFailedOpeningReleasesTheLock) {
  std::remove(dbPath.c_str());
  DcmObj object;
  MakeObject(object, "1.2.7", "1.2.7.1", "1.2.7.1.1");
  EXPECT_FALSE(Register(object));
  EXPECT_TRUE(LogHas("ERROR, Couldn't open database"));
  ASSERT_TRUE(RegisterBusy.try_lock());
  RegisterBusy.unlock();
}

// An association keeps its connection from one object to the next; one whose opening failed is
// not kept, so the next object opens the database again and registers.
TEST_F(RegisterTest, AnAssociationOpensAgainAfterAFailedOpening) {
  RegistrationScope association;
  const std::string away = dbPath + ".away";
  ASSERT_EQ(std::rename(dbPath.c_str(), away.c_str()), 0);
  DcmObj first, second;
  MakeObject(first, "1.2.7", "1.2.7.1", "1.2.7.1.1");
  MakeObject(second, "1.2.7", "1.2.7.1", "1.2.7.1.2");
  EXPECT_FALSE(Register(first));
  EXPECT_TRUE(LogHas("ERROR, Couldn't open database"));
  ASSERT_EQ(std::rename(away.c_str(), dbPath.c_str()), 0);
  EXPECT_TRUE(Register(second));
  EXPECT_TRUE(Register(first));
  EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Objects"), std::vector<std::string>{"2"});
}

TEST_F(RegisterTest, CreatingTheTablesTwiceFails) {
  SQLdb db("ecg", kOpenReadWrite);
  StudyDB study;
  EXPECT_FALSE(study.CreateTable(db));
  EXPECT_EQ(db.errorText, "table Study already exists");
  TakeLog();
  SeriesDB series;  // the indexes are not tried after a failed table
  EXPECT_FALSE(series.CreateTable(db));
  ObjectsDB objects;
  EXPECT_FALSE(objects.CreateTable(db));
  for (const auto& line : TakeLog()) EXPECT_EQ(line.find("Index"), std::string::npos) << line;
}

TEST_F(RegisterTest, AFailedIndexLeavesTheTableCreated) {
  std::remove(dbPath.c_str());
  SQLdb db("ecg", kOpenCreate);
  ASSERT_EQ(db.Exec("CREATE TABLE series_index (a); CREATE TABLE se_object_index (a)"), 0);
  TakeLog();
  SeriesDB series;
  EXPECT_TRUE(series.CreateTable(db));
  ObjectsDB objects;
  EXPECT_TRUE(objects.CreateTable(db));
  const auto log = TakeLog();
  for (const char* index : {"series_index", "se_object_index"}) {
    const std::string line =
        std::string("ERROR creating Index ") + index + "there is already a table named " + index;
    EXPECT_NE(std::find(log.begin(), log.end(), line), log.end()) << index;
  }
  for (const auto& line : log) EXPECT_EQ(line.find("st_object_index"), std::string::npos) << line;
  EXPECT_EQ(Sqlite("SELECT name FROM sqlite_master WHERE type='index' AND sql IS NOT NULL"),
            std::vector<std::string>{"st_object_index"});
}

TEST_F(RegisterTest, ObjectsDeleteRemovesOneRow) {
  DcmObj a, b;
  MakeObject(a, "1.2.8", "1.2.8.1", "1.2.8.1.1");
  MakeObject(b, "1.2.8", "1.2.8.1", "1.2.8.1.2");
  ASSERT_TRUE(Register(a));
  ASSERT_TRUE(Register(b));
  SQLdb db("ecg", kOpenReadWrite);
  EXPECT_TRUE(ObjectsDB::Delete(db, "1.2.8.1.1"));
  EXPECT_EQ(Sqlite("SELECT SOPInstanceUID FROM Objects"), std::vector<std::string>{"1.2.8.1.2"});
}

// A later object with another AccessionNumber, StudyID or SeriesNumber used to go into another
// folder that deletion and retrieval never found.
TEST_F(RegisterTest, LaterObjectsUseTheRecordedFolders) {
  DcmObj first;
  MakeObject(first, "1.3.1", "1.3.1.1", "1.3.1.1.1");
  const std::string studyFolder = MakeStudyFolderName(first);
  const std::string seriesFolder = MakeSeriesFolderName(first);
  ASSERT_TRUE(Register(first));

  SQLdb db("ecg", kOpenReadWrite);
  struct Case {
    const char* name;
    std::vector<Field> changes;
    std::string series;
    std::string expectedSeriesFolder;
  } cases[] = {
      {"other accession and series number",
       {{0x0008, 0x0050, "ACC9"}, {0x0020, 0x0011, "7"}},
       "1.3.1.1",
       seriesFolder},
      {"new series of the study", {{0x0008, 0x0050, "ACC9"}}, "1.3.1.2", ""},
  };
  for (const Case& c : cases) {
    DcmObj later;
    MakeObject(later, "1.3.1", c.series, c.series + ".9", c.changes);
    StoreFolders folders;
    ASSERT_TRUE(ChooseStoreFolders(db, later, "20991231", folders)) << c.name;
    EXPECT_EQ(folders.studyDate, "20240105") << c.name;
    EXPECT_EQ(folders.studyFolder, studyFolder) << c.name;
    EXPECT_EQ(folders.seriesFolder,
              c.expectedSeriesFolder.empty() ? MakeSeriesFolderName(later) : c.expectedSeriesFolder)
        << c.name;
  }
  DcmObj fresh;
  MakeObject(fresh, "1.3.2", "1.3.2.1", "1.3.2.1.1");
  StoreFolders folders;
  ASSERT_TRUE(ChooseStoreFolders(db, fresh, "20240106", folders));
  EXPECT_EQ(folders.studyDate, "20240106");
  EXPECT_EQ(folders.studyFolder, MakeStudyFolderName(fresh));
  EXPECT_EQ(StoreFilePath(folders, "1.3.2.1.1"), folder + "imagebox/20240106/" +
                                                     folders.studyFolder + "/" +
                                                     folders.seriesFolder + "/1.3.2.1.1.dcm");
  EXPECT_FALSE(ChooseStoreFolders(db, fresh, "..", folders));
  DcmObj traversal;  // a file name that climbs out of its series folder
  MakeObject(traversal, "1.3.1", "1.3.1.1", "../../1.3.1/1.3.1.1/1.3.1.1.1");
  EXPECT_FALSE(ChooseStoreFolders(db, traversal, "20240106", folders));
}

// Every column of the three rows, for sample files of several kinds and encodings (an ECG, a
// CT, a big-endian MR, structured reports with nested sequences, an RT plan), against the rows
// a Python reader computes from the same files with pydicom and zlib.
TEST_F(RegisterTest, RowsOfSampleFilesMatchAnIndependentReading) {
  const char* names[] = {"waveform_ecg.dcm", "CT_small.dcm", "MR_small_bigendian.dcm",
                         "test-SR.dcm",      "rtplan.dcm",   "reportsi.dcm"};
  std::string paths;
  {
    SQLdb db("ecg", kOpenReadWrite);
    for (const char* name : names) {
      const std::string path = std::string(PYDICOM_TEST_FILES) + "/" + name;
      DcmObj object;
      ASSERT_TRUE(object.Read(path)) << name;
      std::string date = object.GetString(0x0008, 0x0020);
      if (date.empty()) date = "20240105";  // as both writers supply a missing date
      StoreFolders folders;
      ASSERT_TRUE(ChooseStoreFolders(db, object, date, folders)) << name;
      ASSERT_TRUE(
          RegisterDB(db, object, folders.studyDate, folders.studyFolder, folders.seriesFolder))
          << name;
      paths += " '" + path + "'";
    }
  }
  EXPECT_EQ(RunPython("expected_rows.py '" + dbPath + "' 20240105" + paths), 0);
}

// Eight threads each register ten objects of their own series of `study`, each thread with its
// own modality "M<thread>" and its own kept connection, as eight associations would.
void RegisterFromEightThreads(const std::string& study) {
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([t, study] {
      RegistrationScope association;
      for (int i = 0; i < 10; ++i) {
        DcmObj object;
        const std::string series = study + "." + std::to_string(t + 1);
        MakeObject(object, study, series, series + "." + std::to_string(i + 1),
                   {{0x0008, 0x0061, "M" + std::to_string(t)}});
        EXPECT_TRUE(RegisterinDB("PEER", object, "20240105", MakeStudyFolderName(object),
                                 MakeSeriesFolderName(object)));
      }
    });
  for (auto& thread : threads) thread.join();
}

// Associations registering one study at once: the look-up and insert sequences never
// interleave, so the study has one row and every modality merge survives.
TEST_F(RegisterTest, ParallelRegistrationsOfOneStudyLoseNothing) {
  RegisterFromEightThreads("1.6.1");
  EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Study"), std::vector<std::string>{"1"});
  EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Series"), std::vector<std::string>{"8"});
  EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Objects"), std::vector<std::string>{"80"});
  const std::string modalities = Sqlite("SELECT StudyModality FROM Study").at(0);
  for (int t = 0; t < 8; ++t)
    EXPECT_NE(modalities.find("M" + std::to_string(t)), std::string::npos) << modalities;
}

// Queries on read-only connections while eight threads register: every query and every
// registration succeeds (SQLite's locking and the busy waits arbitrate), and the rows come out
// whole.
TEST_F(RegisterTest, QueriesRunAlongsideRegistrations) {
  std::atomic<bool> registering{true};
  std::atomic<int> failedQueries{0};
  std::atomic<int> queries{0};
  std::vector<std::thread> readers;
  for (int r = 0; r < 2; ++r)
    readers.emplace_back([&] {
      while (registering) {
        DcmObj identifier;
        identifier.Add(new DcmTag(0x0010, 0x0020, std::string("PID1")));
        identifier.Add(new DcmTag(0x0008, 0x0061, std::string()));
        identifier.Add(new DcmTag(0x0020, 0x000D, std::string()));
        std::vector<std::string> rows;
        std::string columns;
        int count = 0;
        if (!QueryLocalDatabase(identifier, rows, columns, count, "STUDY")) ++failedQueries;
        for (const auto& row : rows)
          if (GetField(3, ";", row) != "1.6.2") ++failedQueries;
        ++queries;
      }
    });
  RegisterFromEightThreads("1.6.2");
  registering = false;
  for (auto& thread : readers) thread.join();
  EXPECT_GT(queries.load(), 0);
  EXPECT_EQ(failedQueries.load(), 0);
  EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Study"), std::vector<std::string>{"1"});
  EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Objects"), std::vector<std::string>{"80"});
  const std::string modalities = Sqlite("SELECT StudyModality FROM Study").at(0);
  for (int t = 0; t < 8; ++t)
    EXPECT_NE(modalities.find("M" + std::to_string(t)), std::string::npos) << modalities;
}

}  // namespace
