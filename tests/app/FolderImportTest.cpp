// "Scan Folder" through the browser's button and the real folder chooser, on a tree built by
// pydicom from its sample files (see make_import_tree.py).
#include <gtest/gtest.h>

#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "app/Clock.h"
#include "app/Gridfunctions.h"
#include "app/TFindForm.h"
#include "app/TForm2.h"
#include "platform/Files.h"
#include "tests/app/AppTestSupport.h"
#include "tests/support/BoundedRun.h"
#include "tests/support/FlushFailingFiles.h"
#include "tests/support/StoreKeyCases.h"

namespace {

class FolderImport : public testing::Test {
 protected:
  void SetUp() override {
    SetTodayForTests([] { return QDate(2024, 3, 1); });
    // The program runs from exe/, so its configuration (and a free port) must be there.
    std::filesystem::create_directories(folder.path() + "exe");
    folder.Write("exe/trevalind.cfg", ConfigRecord(port, "KORVA", 1));
    tree = folder.path() + "tree";
    ASSERT_EQ(Shell("/usr/bin/python3 -W ignore " TREVALIND_SOURCE_DIR
                    "/tests/app/make_import_tree.py '" +
                    tree + "'"),
              0);
    browser = std::make_unique<RunningBrowser>(folder.path() + "exe/");
  }
  void TearDown() override {
    browser.reset();
    SetTodayForTests({});
  }
  // Scan Folder with `choice` confirmed (or cancelled) in the chooser.
  void ScanFolder(const std::string& choice, bool confirm = true) {
    QTimer::singleShot(0, [choice, confirm] {
      Form2->setDirectory(choice);
      QTest::mouseClick(confirm ? Form2->Button1 : Form2->Button2, Qt::LeftButton);
    });
    QTest::mouseClick(FindForm->Button9, Qt::LeftButton);
  }
  std::string Sql(const std::string& statement) {
    const std::string out = folder.path() + "sql.out";
    Shell("sqlite3 '" + folder.path() + "exe/database/ecg.db' \"" + statement + "\" > '" + out +
          "'");
    return folder.Read("sql.out");
  }
  std::string Log() { return folder.Read("exe/logs/20240301_ecg.log"); }
  bool AllSixEnabled() {
    for (QPushButton* b : {FindForm->Button2, FindForm->Button4, FindForm->Button6,
                           FindForm->Button9, FindForm->Button10, FindForm->Button11})
      if (!b->isEnabled()) return false;
    return true;
  }
  TempFolder folder;
  RecordingUi ui;
  const std::string port = FreePort();
  std::string tree;
  std::unique_ptr<RunningBrowser> browser;
};

TEST_F(FolderImport, ImportsEcgAndHdFilesOfTheWholeTreeAndNothingElse) {
  ScanFolder(tree);
  EXPECT_TRUE(AllSixEnabled());
  // ecg.dcm, the dot-file, nodate.dcm and semi.dcm; not CT, DICOMDIR, "ecg", the escaping UID.
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM Objects"), "4\n");
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM Study"), "4\n");
  EXPECT_EQ(FindForm->StringGrid1->RowCount(), 5);
  const std::string log = Log();
  EXPECT_NE(log.find("INFO, Scanning " + tree + "/sub"), std::string::npos) << log;
  EXPECT_EQ(log.find("INFO, Scanning " + tree + "/sub/loop"), std::string::npos) << log;
  EXPECT_EQ(log.find("INFO, Scanning " + tree + "\n"), std::string::npos) << log;  // the root
  EXPECT_NE(log.find("WARNING, Added StudyDate to No^Date"), std::string::npos) << log;
  EXPECT_NE(log.find("evil.dcm"), std::string::npos) << log;
  // A file named like a DICOMDIR is still read first: a broken one gets the read's error line.
  EXPECT_NE(log.find("ERROR: DcmObj::Read, " + tree + "/sub/DicomDir"), std::string::npos) << log;
  // The file without a date lands under today's folder; nothing escapes the store.
  EXPECT_EQ(Shell("ls '" + folder.path() +
                  "exe/imagebox/20240301/'*/*/1.2.826.0.1.3680043.8.498.3.1.dcm"),
            0);
  EXPECT_NE(Shell("ls '" + folder.path() + "exe/'*evil* 2>/dev/null"), 0);
  EXPECT_NE(Shell("find '" + folder.path() + "' -name 'evil*' | grep -v tree | grep -q ."), 0);
  // Every registered object has its file, and pydicom reads it back.
  const std::string paths =
      Sql("SELECT SeriesPath || '/' || SOPInstanceUID || '.dcm' FROM Objects "
          "JOIN Series USING (SeriesInstanceUID)");
  size_t start = 0, files = 0;
  while (start < paths.size()) {
    const size_t end = paths.find('\n', start);
    const std::string path = folder.path() + "exe/imagebox/" + paths.substr(start, end - start);
    EXPECT_EQ(Shell("/usr/bin/python3 -c \"import pydicom; pydicom.dcmread('" + path + "')\""), 0)
        << path;
    ++files;
    start = end + 1;
  }
  EXPECT_EQ(files, 4u);
}

// The folder import filed objects with hostile or missing key values where no row of theirs
// points, as the C-STORE service did: each is skipped with a line naming its file now, and the
// old date forms and real devices' UIDs are still imported. Objects that would give a known
// SOP Instance UID or study another identity are skipped with the C-STORE service's line.
TEST_F(FolderImport, HostileAndMissingKeyValuesAreSkippedOrKeptWhole) {
  const std::string keys = folder.path() + "keys";
  const std::vector<StoreKeyCase> cases = MakeStoreKeyCases(keys);
  ASSERT_EQ(cases.size(), 27u);
  // The re-sends are imported after the objects they name.
  const std::string resends = folder.path() + "resends";
  std::filesystem::rename(keys + "/resend", resends);
  ScanFolder(keys);
  ScanFolder(resends);
  const std::string log = Log();
  for (const StoreKeyCase& c : cases) {
    const std::string file = (c.resend ? resends : keys) + "/" + c.name + ".dcm";
    EXPECT_EQ(log.find("file skipped: " + file) == std::string::npos,
              c.kept || !c.refusalLine.empty())
        << c.name << "\n"
        << log;
  }
  ExpectEachKeptAtItsRowsPath(folder.path() + "exe/", cases, log);
}

// "Abort!" ends the folder being read; the folder above it goes on with its next entry.
TEST_F(FolderImport, AbortInASubFolderEndsOnlyThatFolder) {
  const std::string root = folder.path() + "two";
  for (const char* sub : {"A 3 1", "B 3 101"})
    ASSERT_EQ(
        Shell("/usr/bin/python3 -W ignore " TREVALIND_SOURCE_DIR "/tests/app/make_many_ecgs.py '" +
              root + "'/" + sub),
        0);
  // The root holds only the two folders, so the first object comes from whichever is first.
  ClickWhen abort([this] { return Sql("SELECT COUNT(*) FROM Objects") == "1\n"; },
                  FindForm->Button5);
  ScanFolder(root);
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM Objects"), "4\n");
  const std::string log = Log();
  EXPECT_NE(log.find("INFO, Scanning " + root + "/A"), std::string::npos) << log;
  EXPECT_NE(log.find("INFO, Scanning " + root + "/B"), std::string::npos) << log;
  EXPECT_TRUE(AllSixEnabled());
  EXPECT_EQ(FindForm->StringGrid1->RowCount(), 2);  // one study
}

// "End" stays usable during the import and runs the shut-down from inside it.
TEST_F(FolderImport, EndDuringAnImportShutsDown) {
  ClickWhen end([this] { return Sql("SELECT COUNT(*) FROM Objects") == "1\n"; }, FindForm->Button1);
  ScanFolder(tree);
  EXPECT_TRUE(browser->exited);
}

TEST_F(FolderImport, ReimportRegistersNothingNew) {
  ScanFolder(tree);
  ScanFolder(tree);
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM Objects"), "4\n");
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM Series"), "4\n");
}

TEST_F(FolderImport, CancelImportsNothingAndEnablesTheButtons) {
  ScanFolder(tree, false);
  EXPECT_TRUE(AllSixEnabled());
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM Objects"), "0\n");
}

TEST_F(FolderImport, UnopenableDatabaseIsReportedAndTheButtonsComeBack) {
  ASSERT_EQ(Shell("rm '" + folder.path() + "exe/database/ecg.db'"), 0);
  ScanFolder(tree);
  EXPECT_EQ(ui.messages, QStringList{"ERROR, Couldn't open database"});
  EXPECT_TRUE(AllSixEnabled());
  EXPECT_FALSE(folder.Exists("exe/database/ecg.db"));  // read-write, never created here
}

// A file that cannot be written is logged, and the Objects row just registered for it goes:
// no row may point at a missing file. The study and series rows stay.
TEST_F(FolderImport, UnwritableFileIsLoggedAndItsNewObjectsRowUndone) {
  ScanFolder(tree);
  const std::string first =
      Sql("SELECT SeriesPath || '|' || SOPInstanceUID FROM Objects JOIN Series "
          "USING (SeriesInstanceUID) ORDER BY SOPInstanceUID LIMIT 1");
  const std::string seriesPath = first.substr(0, first.find('|'));
  const std::string uid = first.substr(first.find('|') + 1, first.size() - first.find('|') - 2);
  const std::string seriesFolder = folder.path() + "exe/imagebox/" + seriesPath;
  // The object is forgotten and its series folder becomes a plain file, so no write can land.
  Sql("DELETE FROM Objects WHERE SOPInstanceUID = '" + uid + "'");
  ASSERT_EQ(Shell("rm -r '" + seriesFolder + "' && touch '" + seriesFolder + "'"), 0);
  ScanFolder(tree);
  const std::string log = Log();
  EXPECT_NE(log.find("ERROR: couldn't save file: " + seriesFolder + "/" + uid + ".dcm"),
            std::string::npos)
      << log;
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM Objects WHERE SOPInstanceUID = '" + uid + "'"), "0\n");
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM Objects"), "3\n");
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM Series"), "4\n");
  EXPECT_TRUE(AllSixEnabled());
}

// Files used to be imported without being forced to the disk, so a power loss could take away
// what the list showed. A failed flush, of a file or of its folder, now skips the file like any
// file that cannot be written: none of its rows and none of its files stay.
TEST_F(FolderImport, FailedFlushSkipsTheFileAndKeepsNothing) {
  for (const bool fileFlush : {true, false}) {
    FlushFailingFiles files;
    files.failFileFlush = fileFlush;
    files.failEveryFolderFlush = !fileFlush;
    SetFiles(&files);
    ScanFolder(tree);
    SetFiles(nullptr);
    for (const char* table : {"Study", "Series", "Objects"})
      EXPECT_EQ(Sql(std::string("SELECT COUNT(*) FROM ") + table), "0\n") << fileFlush << table;
    EXPECT_NE(Shell("find '" + folder.path() + "exe/imagebox' -type f | grep -q ."), 0)
        << fileFlush;
    EXPECT_NE(Log().find("ERROR: couldn't save file: " + folder.path() + "exe/imagebox/"),
              std::string::npos)
        << fileFlush;
    EXPECT_TRUE(AllSixEnabled());
  }
}

// The grid shows ";" in a Patient ID as ":"; the study row must still go by its UID.
TEST_F(FolderImport, DeleteStudyRemovesTheStudyWithASemicolonInItsPatientId) {
  ScanFolder(tree);
  StringGrid& grid = *FindForm->StringGrid1;
  int semi = -1;
  for (int row = 1; row < grid.RowCount(); ++row)
    if (grid.Cell(0, row) == "Semi Colon") semi = row;
  ASSERT_GT(semi, 0);
  EXPECT_EQ(grid.Cell(1, semi), "A:B");
  SetCellChecked(grid, 0, semi, 1);
  QTest::mouseClick(FindForm->Button11, Qt::LeftButton);
  EXPECT_EQ(ui.questions, QStringList{"WARNING|Are you sure you want to delete those studies?"});
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM Study WHERE PatientName = 'Semi Colon'"), "0\n");
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM Objects"), "3\n");
  EXPECT_EQ(grid.RowCount(), 4);
}

// Imported names were registered as read, so the list showed "Hidden^Heart" where a received
// copy shows "Hidden Heart", and the caret key that finds a received study missed the imported
// one. The imported file itself keeps the name as it was read.
TEST_F(FolderImport, ImportedNamesLookAndMatchLikeReceivedOnes) {
  ScanFolder(tree);
  StringGrid& grid = *FindForm->StringGrid1;
  QStringList names;
  for (int row = 1; row < grid.RowCount(); ++row) names << grid.Cell(0, row);
  EXPECT_TRUE(names.contains("Hidden Heart")) << names.join("|").toStdString();
  EXPECT_TRUE(names.filter("^").isEmpty()) << names.join("|").toStdString();
  const std::string output =
      RunCaptured(
          "findscu -S -v -aec KORVA 127.0.0.1 " + port +
              " -k QueryRetrieveLevel=STUDY -k StudyInstanceUID -k 'PatientName=Hidden^Heart'",
          60)
          .output;
  EXPECT_NE(output.find("1.2.826.0.1.3680043.8.498.1.2"), std::string::npos) << output;
  EXPECT_NE(output.find("Hidden Heart"), std::string::npos) << output;
  const std::string dumped =
      RunCaptured(
          "dcmdump '" + folder.path() + "exe/imagebox/'*/*/*/1.2.826.0.1.3680043.8.498.1.1.dcm", 60)
          .output;
  EXPECT_NE(dumped.find("[Hidden^Heart]"), std::string::npos) << dumped;
}

TEST_F(FolderImport, DoubleClickHandsTheStudyFilesToTheEcgWindow) {
  ScanFolder(tree);
  StringGrid& grid = *FindForm->StringGrid1;
  const GridRect rect = grid.CellRect(1, 1);
  QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, QPoint(rect.left + 5, rect.top + 5));
  ASSERT_EQ(browser->ecgWindowShowings.size(), 1u);
  ASSERT_EQ(browser->ecgWindowShowings[0].size(), 1u);
  EXPECT_NE(browser->ecgWindowShowings[0][0].find("/exe/imagebox/"), std::string::npos);
}

}  // namespace
