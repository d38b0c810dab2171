// Study file lists and deletion of studies and series with their files and folders.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <functional>

#include "db/ObjectsDB.h"
#include "db/Register.h"
#include "db/SQLdb.h"
#include "db/SeriesDB.h"
#include "db/StoreNames.h"
#include "db/StudyDB.h"
#include "db/StudyFiles.h"
#include "dicom/DcmObj.h"
#include "dicom/util/Log.h"
#include "platform/Files.h"
#include "tests/db/DbTestSupport.h"

namespace {

class DeleteTest : public DbTest {
 protected:
  void SetUp() override {
    DbTest::SetUp();
    CreateStudyDatabase();
    outside = folder + "outside/";
    mkdir(outside.c_str(), 0755);
    WriteTextFile(outside + "keep.dcm", "outside");
  }
  // Writes the object's file where the store puts it and registers it; returns the file.
  std::string Store(const std::string& study, const std::string& series, const std::string& sop,
                    const std::vector<Field>& extra = {}) {
    DcmObj object;
    MakeObject(object, study, series, sop, extra);
    SQLdb db("ecg", kOpenReadWrite);
    StoreFolders folders;
    EXPECT_TRUE(ChooseStoreFolders(db, object, "20240105", folders));
    EXPECT_TRUE(Files().CreateDirectories(StoreSeriesFolder(folders)));
    const std::string file = StoreFilePath(folders, sop);
    WriteTextFile(file, sop);
    EXPECT_TRUE(
        RegisterDB(db, object, folders.studyDate, folders.studyFolder, folders.seriesFolder));
    return file;
  }
  bool DeleteStudy(const std::string& uid, const std::string& patientID) {
    SQLdb db("ecg", kOpenReadWrite);
    StudyDB study;
    study.StudyInstanceUID = uid;
    study.PatientID = patientID;
    return study.Delete(db);
  }
  std::string Parent(const std::string& path) { return path.substr(0, path.rfind('/')); }
  std::string outside;
};

TEST_F(DeleteTest, StudyFilesListTheFirstObjectOfEachSeriesInNumericOrder) {
  const std::string ten = Store("1.4.1", "1.4.1.1", "1.4.1.1.1", {{0x0020, 0x0011, "10"}});
  Store("1.4.1", "1.4.1.1", "1.4.1.1.2", {{0x0020, 0x0011, "10"}, {0x0008, 0x0032, "120000"}});
  const std::string nine =
      Store("1.4.1", "1.4.1.2", "1.4.1.2.1", {{0x0020, 0x0011, "9"}, {0x0008, 0x0032, "90000"}});
  Store("1.4.1", "1.4.1.2", "1.4.1.2.2", {{0x0020, 0x0011, "9"}, {0x0008, 0x0032, "100000"}});
  const std::string none = Store("1.4.1", "1.4.1.3", "1.4.1.3.1", {{0x0020, 0x0011, ""}});
  {
    SQLdb db("ecg", kOpenReadWrite);  // the first object of series 10 sorts first by time
    ASSERT_EQ(db.Exec("UPDATE Objects SET AcquisitionTime='080000' WHERE SOPInstanceUID=?",
                      {"1.4.1.1.1"}),
              0);
  }
  std::vector<std::string> files;
  EXPECT_TRUE(GetStudyFiles(files, "1.4.1"));
  EXPECT_EQ(files, (std::vector<std::string>{none, nine, ten}));
  std::vector<std::string> unknown;
  EXPECT_TRUE(GetStudyFiles(unknown, "1.4.404"));
  EXPECT_TRUE(unknown.empty());
}

TEST_F(DeleteTest, DeletingAStudyRemovesFilesFoldersAndRows) {
  const std::string a = Store("1.4.2", "1.4.2.1", "1.4.2.1.1");
  const std::string b = Store("1.4.2", "1.4.2.2", "1.4.2.2.1", {{0x0020, 0x0011, "2"}});
  TakeLog();
  EXPECT_TRUE(DeleteStudy("1.4.2", "PID1"));
  EXPECT_EQ(TakeLog(),
            (std::vector<std::string>{"WARNING, Deleting Study for , StudyDate: 20240105",
                                      "INFO, Series folder deleted: 1.4.2.1",
                                      "INFO, Series folder deleted: 1.4.2.2",
                                      "INFO, Study folder deleted: 1.4.2"}));
  EXPECT_FALSE(FileExists(a));
  EXPECT_FALSE(FileExists(b));
  EXPECT_FALSE(FileExists(folder + "imagebox/20240105"));
  EXPECT_TRUE(FileExists(folder + "imagebox"));
  EXPECT_EQ(Sqlite("SELECT (SELECT COUNT(*) FROM Study) + (SELECT COUNT(*) FROM Series) + "
                   "(SELECT COUNT(*) FROM Objects)"),
            std::vector<std::string>{"0"});
}

// Series folder names collide ("1.2.3" + "4" and "1.2.34" give one CRC), so deleting every
// .dcm of a folder deleted the other series' files while its rows stayed.
TEST_F(DeleteTest, DeletingASeriesTakesOnlyItsOwnFiles) {
  const std::string mine = Store("1.4.3", "1.2.3", "1.4.3.1.1", {{0x0020, 0x0011, "4"}});
  const std::string theirs = Store("1.4.3", "1.2.34", "1.4.3.2.1", {{0x0020, 0x0011, ""}});
  ASSERT_EQ(Parent(mine), Parent(theirs));
  SQLdb db("ecg", kOpenReadWrite);
  SeriesDB series;
  series.SeriesInstanceUID = "1.2.3";
  series.StudyInstanceUID = "1.4.3";
  series.SeriesPath = Sqlite("SELECT SeriesPath FROM Series WHERE SeriesInstanceUID='1.2.3'").at(0);
  EXPECT_TRUE(series.Delete(db));
  EXPECT_FALSE(FileExists(mine));
  EXPECT_TRUE(FileExists(theirs));
  EXPECT_EQ(Sqlite("SELECT SeriesInstanceUID FROM Series"), std::vector<std::string>{"1.2.34"});
  EXPECT_EQ(Sqlite("SELECT SOPInstanceUID FROM Objects"), std::vector<std::string>{"1.4.3.2.1"});
}

// What is not the study's kept its folder, and the folder kept the Study row for good: the
// browser listed a study without series that no Delete could remove. Now the row goes once the
// study's own series and files are gone; the folder stays with the rest in it. The study folder
// is a CRC of StudyInstanceUID + StudyID, so "1.4.4.60" with StudyID "1" shares it with
// "1.4.4.601" without one.
TEST_F(DeleteTest, WhatIsNotTheStudysStaysAndTheStudyRowGoes) {
  // Each stranger is put beside the study's file; it gives the path that must stay.
  struct Case {
    const char* name;
    std::function<std::string(const std::string& file)> addStranger;
  };
  const Case cases[] = {
      {"a stray file",
       [](const std::string& file) {
         WriteTextFile(file + ".txt", "stray");
         return file + ".txt";
       }},
      {"a link",
       [this](const std::string& file) {
         EXPECT_EQ(symlink((outside + "keep.dcm").c_str(), (file + ".lnk").c_str()), 0);
         return file + ".lnk";
       }},
      {"a colliding study",
       [this](const std::string& file) {
         const std::string theirs = Store("1.4.4.601", "1.4.4.601.1", "1.4.4.601.1.1");
         EXPECT_EQ(Parent(Parent(theirs)), Parent(Parent(file)));
         return theirs;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Shell("rm -rf '" + folder + "imagebox/'*");
    Sqlite("DELETE FROM Study; DELETE FROM Series; DELETE FROM Objects;");
    const std::string file =
        Store("1.4.4.60", "1.4.4.60.1", "1.4.4.60.1.1", {{0x0020, 0x0010, "1"}});
    const std::string stranger = c.addStranger(file);
    EXPECT_TRUE(DeleteStudy("1.4.4.60", "PID1"));
    EXPECT_TRUE(LogHas("WARNING, Study folder kept, it holds what is not this study's: " +
                       Parent(Parent(file)) + "/"));
    EXPECT_FALSE(FileExists(file));
    EXPECT_TRUE(FileExists(stranger));
    EXPECT_TRUE(FileExists(outside + "keep.dcm"));
    EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Study WHERE StudyInstanceUID='1.4.4.60'"),
              std::vector<std::string>{"0"});
    EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Series WHERE StudyInstanceUID='1.4.4.60'"),
              std::vector<std::string>{"0"});
  }
  // The colliding study, the last case, kept its rows and its file; it goes in its turn, and
  // with it the shared folders.
  EXPECT_EQ(Sqlite("SELECT SOPInstanceUID FROM Objects"),
            std::vector<std::string>{"1.4.4.601.1.1"});
  EXPECT_TRUE(DeleteStudy("1.4.4.601", "PID1"));
  EXPECT_FALSE(FileExists(folder + "imagebox/20240105"));
  EXPECT_EQ(Sqlite("SELECT (SELECT COUNT(*) FROM Study) + (SELECT COUNT(*) FROM Series) + "
                   "(SELECT COUNT(*) FROM Objects)"),
            std::vector<std::string>{"0"});
}

TEST_F(DeleteTest, LinksAreNeverFollowedOutOfTheStore) {
  // An object file that is a link: the link goes, its target stays.
  const std::string linked = Store("1.4.5", "1.4.5.1", "1.4.5.1.1");
  std::remove(linked.c_str());
  ASSERT_EQ(symlink((outside + "keep.dcm").c_str(), linked.c_str()), 0);
  // A series whose recorded folder is a link to a folder outside the store.
  const std::string moved = Store("1.4.5", "1.4.5.2", "1.4.5.2.1", {{0x0020, 0x0011, "2"}});
  const std::string movedFolder = Parent(moved);
  WriteTextFile(outside + "1.4.5.2.1.dcm", "outside twin");
  Shell("rm -rf '" + movedFolder + "'");
  ASSERT_EQ(symlink(outside.c_str(), movedFolder.c_str()), 0);

  DeleteStudy("1.4.5", "PID1");
  EXPECT_FALSE(FileExists(linked));
  EXPECT_TRUE(FileExists(outside + "keep.dcm"));
  EXPECT_TRUE(FileExists(outside + "1.4.5.2.1.dcm"));
  EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Series"), std::vector<std::string>{"0"});
}

// The grid shows a PatientID "A;B" as "A:B"; a Study row deleted by both values stayed for good.
TEST_F(DeleteTest, TheStudyRowGoesByItsUidAlone) {
  Store("1.4.6", "1.4.6.1", "1.4.6.1.1", {{0x0010, 0x0020, "A;B"}});
  EXPECT_TRUE(DeleteStudy("1.4.6", "A:B"));
  EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Study"), std::vector<std::string>{"0"});
}

TEST_F(DeleteTest, RowsWithoutFoldersAreDeletedWithoutTouchingTheStore) {
  const std::string rootFile = folder + "imagebox/1.4.7.1.1.dcm";
  WriteTextFile(rootFile, "at the root");
  ASSERT_EQ(Sqlite("INSERT INTO Study (StudyInstanceUID, StudyPath, PatientID) VALUES "
                   "('1.4.7', '', 'P'); INSERT INTO Series (SeriesInstanceUID, SeriesPath, "
                   "StudyInstanceUID) VALUES ('1.4.7.1', '', '1.4.7'); INSERT INTO Objects "
                   "(SOPInstanceUID, SeriesInstanceUID, StudyInstanceUID) VALUES ('1.4.7.1.1', "
                   "'1.4.7.1', '1.4.7');")
                .size(),
            0u);
  EXPECT_TRUE(DeleteStudy("1.4.7", "P"));
  EXPECT_TRUE(FileExists(rootFile));
  EXPECT_TRUE(FileExists(folder + "imagebox"));
  EXPECT_EQ(Sqlite("SELECT (SELECT COUNT(*) FROM Study) + (SELECT COUNT(*) FROM Series) + "
                   "(SELECT COUNT(*) FROM Objects)"),
            std::vector<std::string>{"0"});
}

TEST_F(DeleteTest, SeriesWithoutObjectsListNoFile) {
  const std::string file = Store("1.4.8", "1.4.8.1", "1.4.8.1.1");
  Store("1.4.8", "1.4.8.2", "1.4.8.2.1", {{0x0020, 0x0011, "2"}});
  {
    SQLdb db("ecg", kOpenReadWrite);
    ASSERT_TRUE(ObjectsDB::Delete(db, "1.4.8.2.1"));
  }
  std::vector<std::string> files;
  EXPECT_TRUE(GetStudyFiles(files, "1.4.8"));
  EXPECT_EQ(files, std::vector<std::string>{file});
}

// Refuses to unlink object files, as a read-only medium or a permission would.
class RefusingUnlink : public FileSystem {
 public:
  int Unlink(const std::string& path) override {
    return path.size() > 4 && path.compare(path.size() - 4, 4, ".dcm") == 0
               ? EACCES
               : FileSystem::Unlink(path);
  }
};

TEST_F(DeleteTest, AFileThatCannotBeDeletedIsLoggedByNameWithItsCode) {
  const std::string file = Store("1.4.9", "1.4.9.1", "1.4.9.1.1");
  RefusingUnlink refusing;
  SetFiles(&refusing);
  const bool deleted = DeleteStudy("1.4.9", "PID1");
  SetFiles(nullptr);
  EXPECT_FALSE(deleted);  // the series folder still holds the file, so the study folder stays
  const auto log = TakeLog();
  EXPECT_NE(std::find(log.begin(), log.end(), "Error deleting: 1.4.9.1.1.dcm, 0000000D"),
            log.end());
  EXPECT_TRUE(FileExists(file));
  EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Series"), std::vector<std::string>{"0"});
  EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Study"), std::vector<std::string>{"1"});
}

TEST_F(DeleteTest, AtLevelZeroOnlyTheWarningIsLogged) {
  Store("1.4.9", "1.4.9.1", "1.4.9.1.1");
  TakeLog();
  LogLevel = 0;
  EXPECT_TRUE(DeleteStudy("1.4.9", "PID1"));
  EXPECT_EQ(TakeLog(),
            std::vector<std::string>{"WARNING, Deleting Study for , StudyDate: 20240105"});
}

TEST_F(DeleteTest, AFailedSeriesQueryDeletesNothing) {
  const std::string file = Store("1.4.10", "1.4.10.1", "1.4.10.1.1");
  const std::string studyFolder = Parent(Parent(file)) + "/";
  {
    SQLdb db("ecg", kOpenReadWrite);
    ASSERT_EQ(db.Exec("ALTER TABLE Series RENAME TO Kept"), 0);
  }
  TakeLog();
  EXPECT_FALSE(DeleteStudy("1.4.10", "PID1"));
  EXPECT_EQ(TakeLog(),
            (std::vector<std::string>{
                "WARNING, Deleting Study for , StudyDate: 20240105",
                "ERROR, SQLdb::Query, sqlite3_prepare_v2, no such table: Series",
                "ERROR, StudyDB::Delete, Path: " + studyFolder + ", no such table: Series"}));
  EXPECT_TRUE(FileExists(file));
  EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Study"), std::vector<std::string>{"1"});
  EXPECT_EQ(Sqlite("SELECT COUNT(*) FROM Objects"), std::vector<std::string>{"1"});
}

TEST_F(DeleteTest, RefusalsLeaveEverything) {
  SQLdb db("ecg", kOpenReadWrite);
  StudyDB study;
  EXPECT_FALSE(study.Delete(db));
  EXPECT_TRUE(LogHas("ERROR, both parameters are empty"));
  SeriesDB series;
  EXPECT_FALSE(series.Delete(db));
  EXPECT_TRUE(LogHas("ERROR, SeriesInstanceUID is empty"));
  EXPECT_FALSE(DeleteStudy("1.4.404", "P"));
  EXPECT_TRUE(LogHas("WARNING, no series for deleting"));
}

}  // namespace
