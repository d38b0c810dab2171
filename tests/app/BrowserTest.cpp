// The study browser as the program runs it: created with the other windows in a temporary
// folder, started by its posted start-up event, and driven through its real widgets.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/BrowserState.h"
#include "app/Clock.h"
#include "app/Gridfunctions.h"
#include "app/ServerLink.h"
#include "app/TFindForm.h"
#include "app/TQSsetup.h"
#include "dicom/util/Log.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/SlowPeer.h"

namespace {

class Browser : public testing::Test {
 protected:
  void SetUp() override {
    SetTodayForTests([] { return QDate(2024, 3, 1); });
    folder.Write("trevalind.cfg", ConfigRecord(port, "KORVA", 1));
  }
  void TearDown() override { SetTodayForTests({}); }
  void Start(const std::string& commandLine = "") {
    browser = std::make_unique<RunningBrowser>(folder.path(), commandLine);
  }
  QStringList MemoLines() const {
    return FindForm->Memo1->toPlainText().split('\n', Qt::SkipEmptyParts);
  }
  // Adds Study rows straight into the database the browser created.
  void AddStudies(const std::vector<std::string>& values) {
    std::string sql;
    for (const std::string& v : values)
      sql +=
          "INSERT INTO Study (StudyInstanceUID, PatientName, PatientID, AccessionNumber, "
          "StudyDate) VALUES (" +
          v + ");";
    ASSERT_EQ(Shell("sqlite3 '" + folder.path() + "database/ecg.db' \"" + sql + "\""), 0);
  }
  QStringList Column(int column) const {
    QStringList cells;
    for (int row = 1; row < FindForm->StringGrid1->RowCount(); ++row)
      cells << FindForm->StringGrid1->Cell(column, row);
    return cells;
  }
  void ClickGrid(int x, int y, Qt::MouseButton button = Qt::LeftButton) {
    QTest::mouseClick(FindForm->StringGrid1->viewport(), button, {}, QPoint(x, y));
  }
  TempFolder folder;
  RecordingUi ui;
  const std::string port = FreePort();
  std::unique_ptr<RunningBrowser> browser;
};

TEST_F(Browser, FirstStartCreatesFoldersTablesAndMemoLines) {
  Start();
  EXPECT_EQ(FindForm->windowTitle(), "Trevalind ECG 1.6");
  LogWrite("INFO, first line");  // the log is named by the day of start-up
  EXPECT_TRUE(folder.Exists("logs/20240301_ecg.log"));
  EXPECT_TRUE(folder.Exists("database/ecg.db"));
  EXPECT_EQ(Shell("test -d '" + folder.path() + "imagebox'"), 0);
  EXPECT_EQ(MemoLines(), (QStringList{"Study Table created.", "Series Table created.",
                                      "Object Table created."}));
  EXPECT_EQ(FindForm->StringGrid1->RowCount(), 2);  // the header and one empty row
  EXPECT_EQ(FindForm->StringGrid1->Cell(12, 0), "Study Instance UID");
  EXPECT_EQ(FindForm->Edit3->text(), "20240301");
  EXPECT_FALSE(FindForm->Edit3->isEnabled());
  EXPECT_EQ(RemoteHost, "127.0.0.1");
  EXPECT_EQ(RemotePort, port);
  EXPECT_EQ(std::to_string(DicomServerPort()), port);
  EXPECT_TRUE(FindForm->Button11->isEnabled());
  EXPECT_FALSE(FindForm->Button10->isEnabled());
  browser.reset();
  Start();  // a second start creates nothing
  EXPECT_TRUE(MemoLines().isEmpty());
}

// The three creations run even when the database cannot be opened; each reports the open's error.
TEST_F(Browser, UnopenableDatabaseReportsTheOpenErrorThreeTimes) {
  folder.Write("database", "a file where the folder belongs");
  Start();
  const QStringList lines = MemoLines();
  ASSERT_EQ(lines.size(), 3);
  EXPECT_FALSE(lines[0].isEmpty());
  EXPECT_NE(lines[0], "Study Table created.");
  EXPECT_EQ(lines[1], lines[0]);
  EXPECT_EQ(lines[2], lines[0]);
  EXPECT_EQ(FindForm->StringGrid1->RowCount(), 2);
  // The local list that start-up asks for cannot open the database either.
  EXPECT_NE(folder.Read("logs/20240301_ecg.log").find("ERROR, Couldn't open database"),
            std::string::npos);
}

// A 0-byte database file is taken as existing: no tables are made.
TEST_F(Browser, EmptyDatabaseFileGetsNoTables) {
  ASSERT_EQ(Shell("mkdir '" + folder.path() + "database' && touch '" + folder.path() +
                  "database/ecg.db'"),
            0);
  Start();
  EXPECT_TRUE(MemoLines().isEmpty());
  EXPECT_EQ(folder.Read("database/ecg.db"), "");
}

// The server thread's failed listen reaches the user as a box shown on the GUI thread; the
// browser goes on without a server.
TEST_F(Browser, PortInUseIsReportedInABoxFromTheGuiThread) {
  SlowPeer holder(0, 0, 0);  // anything listening on the configured port
  folder.Write("trevalind.cfg", ConfigRecord(holder.port(), "KORVA", 1));
  Start();
  for (int i = 0; i < 100 && ui.messages.isEmpty(); ++i) QTest::qWait(20);
  EXPECT_EQ(ui.messages, QStringList{QString::fromStdString("ERROR: Couldn't initialize port: " +
                                                            holder.port())});
  EXPECT_EQ(DicomServerPort(), -1);
  EXPECT_TRUE(FindForm->Button11->isEnabled());
}

// Items the server grid does not back (none selected, or beyond its rows) change nothing.
TEST_F(Browser, SelectionWithoutAServerRowIsIgnored) {
  Start();  // no remote.txt: the server grid has its header and one empty row
  FindForm->ComboBox1->addItem("EMPTY");
  FindForm->ComboBox1->addItem("GHOST");
  for (int index : {-1, 2}) {
    FindForm->ComboBox1->setCurrentIndex(index);
    FindForm->ComboBox1Change();
    EXPECT_EQ(RemoteHost, "127.0.0.1") << index;
    EXPECT_TRUE(FindForm->Button11->isEnabled()) << index;
    EXPECT_FALSE(FindForm->Button10->isEnabled()) << index;
  }
}

TEST_F(Browser, EndRunsTheShutDown) {
  Start();
  QTest::mouseClick(FindForm->Button1, Qt::LeftButton);
  EXPECT_TRUE(browser->exited);
}

TEST_F(Browser, DateButtonsTickBothBoxesAndCrossMonthEnds) {
  Start();
  QTest::mouseClick(FindForm->Button7, Qt::LeftButton);
  EXPECT_TRUE(FindForm->CheckBox1->isChecked());
  EXPECT_TRUE(FindForm->Edit3->isEnabled());
  EXPECT_TRUE(FindForm->Edit4->isEnabled());
  EXPECT_EQ(FindForm->Edit3->text(), "20240229");
  EXPECT_EQ(FindForm->Edit4->text(), "20240301");
  SetTodayForTests([] { return QDate(2025, 1, 1); });
  QTest::mouseClick(FindForm->Button7, Qt::LeftButton);
  EXPECT_EQ(FindForm->Edit3->text(), "20241231");
  QTest::mouseClick(FindForm->Button6, Qt::LeftButton);
  EXPECT_EQ(FindForm->Edit3->text(), "20250101");
  FindForm->CheckBox1->setChecked(false);
  EXPECT_FALSE(FindForm->Edit3->isEnabled());
}

TEST_F(Browser, LocalListSortsCaseInsensitivelyAndBoxesTravelWithRows) {
  Start();
  AddStudies({"'1.1','adams','P3','A1','20240103'", "'1.2','Baker','P1','A2','20240101'",
              "'1.3','ADAMS','P2','A3','20240102'"});
  FindForm->ComboBox1Change();
  const QStringList names = Column(0);
  ASSERT_EQ(names.size(), 3);
  EXPECT_EQ(names[2], "Baker");  // the query's byte order would put it between the two
  EXPECT_EQ(names[0].toUpper(), "ADAMS");
  ClickGrid(8, 40);  // row 1's box
  const QString checkedUid = FindForm->StringGrid1->Cell(12, 1);
  EXPECT_TRUE(IsCellChecked(*FindForm->StringGrid1, 0, 1));
  ClickGrid(8, 40, Qt::RightButton);  // any button toggles
  EXPECT_FALSE(IsCellChecked(*FindForm->StringGrid1, 0, 1));
  ClickGrid(8, 40);
  // Header clicks on a border or at x = 0 sort nothing; inside a title they sort by it.
  for (int x : {0, 250, 251}) {
    ClickGrid(x, 10);
    EXPECT_EQ(Column(0), names) << x;
  }
  ClickGrid(252, 10);
  EXPECT_EQ(Column(1), (QStringList{"P1", "P2", "P3"}));
  ClickGrid(252, 10);  // a second click gives the same order
  EXPECT_EQ(Column(1), (QStringList{"P1", "P2", "P3"}));
  for (int row = 1; row <= 3; ++row)
    EXPECT_EQ(IsCellChecked(*FindForm->StringGrid1, 0, row),
              FindForm->StringGrid1->Cell(12, row) == checkedUid);
  ClickGrid(10, 30 + 2 * 25);  // below the header: no sort
  EXPECT_EQ(Column(1), (QStringList{"P1", "P2", "P3"}));
}

TEST_F(Browser, DoubleClickOpensTheLocalStudyAndNotTheHeader) {
  Start();
  AddStudies({"'1.2.3','Doe','P1','A1','20240101'"});
  FindForm->ComboBox1Change();
  QTest::mouseDClick(FindForm->StringGrid1->viewport(), Qt::LeftButton, {}, QPoint(100, 10));
  EXPECT_TRUE(browser->ecgWindowShowings.empty());
  QTest::mouseDClick(FindForm->StringGrid1->viewport(), Qt::LeftButton, {}, QPoint(100, 35));
  EXPECT_EQ(browser->ecgWindowShowings.size(), 1u);
}

// Delete Study asks first: anything but OK leaves the study and its box; OK deletes it and
// reloads the list. "Move Study" with "Local" selected opens nothing and reports nothing.
TEST_F(Browser, DeleteStudyOnlyAfterOkAndMoveStudyIgnoresLocal) {
  Start();
  AddStudies({"'1.2.3','Doe','P1','A1','20240101'"});
  FindForm->ComboBox1Change();
  SetCellChecked(*FindForm->StringGrid1, 0, 1, 1);
  const QStringList before = MemoLines();
  FindForm->Button10Click();
  EXPECT_EQ(MemoLines(), before);
  ui.confirmAnswer = false;
  QTest::mouseClick(FindForm->Button11, Qt::LeftButton);
  EXPECT_EQ(ui.questions, QStringList{"WARNING|Are you sure you want to delete those studies?"});
  EXPECT_EQ(FindForm->StringGrid1->Cell(12, 1), "1.2.3");
  EXPECT_TRUE(IsCellChecked(*FindForm->StringGrid1, 0, 1));
  ui.confirmAnswer = true;
  QTest::mouseClick(FindForm->Button11, Qt::LeftButton);
  EXPECT_EQ(FindForm->StringGrid1->RowCount(), 2);
  EXPECT_EQ(FindForm->StringGrid1->Cell(12, 1), "");
  EXPECT_FALSE(CellHasCheckBox(*FindForm->StringGrid1, 0, 1));
}

// The browser deleted by Study Instance UID alone and left the record's name empty, so the log
// read "WARNING, Deleting Study for , StudyDate: ...": each checked study's line names the
// patient of its row and its date, and an unchecked study is neither logged nor deleted.
TEST_F(Browser, DeleteLogLineNamesThePatientAndDateOfEachCheckedStudy) {
  Start();
  ASSERT_EQ(Shell("sqlite3 '" + folder.path() +
                  "database/ecg.db' \"INSERT INTO Study (StudyInstanceUID, PatientName, "
                  "PatientID, StudyDate, StudyPath) VALUES "
                  "('1.1', 'Roe^Richard', 'P1', '20231231', '20231231/0A1B2C3D'), "
                  "('1.2', 'Doe^Jane', 'P2', '20240105', '20240105/4E5F6A7B'), "
                  "('1.3', 'Poe^Edgar', 'P3', '20240220', '20240220/8C9DAEBF')\""),
            0);
  FindForm->ComboBox1Change();
  ASSERT_EQ(Column(0), (QStringList{"Doe^Jane", "Poe^Edgar", "Roe^Richard"}));
  for (int row : {1, 3}) {
    const GridRect box = CheckBoxRect(FindForm->StringGrid1->CellRect(0, row));
    ClickGrid(box.left + 4, box.top + 6);
  }
  QTest::mouseClick(FindForm->Button11, Qt::LeftButton);
  QStringList deleting;
  for (const QString& line :
       QString::fromStdString(folder.Read("logs/20240301_ecg.log")).split('\n'))
    if (line.contains("Deleting Study")) deleting << line.mid(line.indexOf("WARNING"));
  EXPECT_EQ(deleting,
            (QStringList{"WARNING, Deleting Study for Doe^Jane, StudyDate: 20240105",
                         "WARNING, Deleting Study for Roe^Richard, StudyDate: 20231231"}));
  EXPECT_EQ(Column(12), QStringList{"1.3"});
}

TEST_F(Browser, ChoosingARemoteNodeEmptiesRowOneWithItsBox) {
  folder.Write("remote.txt", "PEER            ,127.0.0.1,1\r\n");
  Start();
  AddStudies({"'1.2.3','Doe','P1','A1','20240101'"});
  FindForm->ComboBox1Change();
  SetCellChecked(*FindForm->StringGrid1, 0, 1, 1);
  ASSERT_EQ(FindForm->ComboBox1->count(), 2);
  FindForm->ComboBox1->setCurrentIndex(1);
  FindForm->ComboBox1Change();
  EXPECT_EQ(RemoteAETitle, "PEER            ");
  EXPECT_EQ(FindForm->StringGrid1->RowCount(), 2);
  EXPECT_EQ(FindForm->StringGrid1->Cell(12, 1), "");
  EXPECT_EQ(FindForm->StringGrid1->Object(0, 1), 0u);
  EXPECT_FALSE(FindForm->Button11->isEnabled());
  EXPECT_TRUE(FindForm->Button10->isEnabled());
}

TEST_F(Browser, SetupRebuildsTheServerListWithoutApplyingIt) {
  Start();
  QTimer::singleShot(0, [] {
    QSsetup->Edit1->setText("ADDED");
    QSsetup->Edit2->setText("10.0.0.9");
    QSsetup->Edit7->setText("104");
    QSsetup->Button3Click();
    QTest::mouseClick(QSsetup->BitBtn2, Qt::LeftButton);  // Cancel keeps the grid edits
  });
  QTest::mouseClick(FindForm->Button2, Qt::LeftButton);
  ASSERT_EQ(FindForm->ComboBox1->count(), 2);
  EXPECT_EQ(FindForm->ComboBox1->itemText(1), "ADDED");
  EXPECT_EQ(FindForm->ComboBox1->currentIndex(), 0);
  EXPECT_FALSE(folder.Exists("remote.txt"));
}

struct AccessionCase {
  const char* what;
  const char* commandLine;
  const char* openedUid;  // "" when not found
};

class AccessionMode : public Browser, public testing::WithParamInterface<AccessionCase> {};

TEST_P(AccessionMode, OpensTheFirstExactMatchOrSaysNotFound) {
  // A first run creates the database, then the studies go in and the mode runs.
  Start();
  AddStudies({"'1.10','Zed','P1','ACC7','20240101'", "'1.20','Abel','P2','ACC7','20240101'",
              "'1.30','Moe','P3','ACC9','20240101'"});
  std::string sql;  // one series with one object each, so the file names tell the studies apart
  for (const std::string uid : {"1.10", "1.20", "1.30"})
    sql += "INSERT INTO Series (SeriesInstanceUID, StudyInstanceUID, SeriesPath) VALUES ('" + uid +
           ".5', '" + uid +
           "', 'x'); INSERT INTO Objects (SOPInstanceUID, SeriesInstanceUID, "
           "StudyInstanceUID) VALUES ('" +
           uid + ".7', '" + uid + ".5', '" + uid + "');";
  ASSERT_EQ(Shell("sqlite3 '" + folder.path() + "database/ecg.db' \"" + sql + "\""), 0);
  browser.reset();
  Start(GetParam().commandLine);
  EXPECT_TRUE(browser->exited);
  EXPECT_FALSE(FindForm->isVisible());
  if (std::string(GetParam().openedUid).empty()) {
    EXPECT_TRUE(browser->ecgWindowShowings.empty());
    EXPECT_EQ(ui.messages, QStringList{QString("Accession Number: ") + GetParam().commandLine +
                                       ", wasn't found"});
  } else {
    ASSERT_EQ(browser->ecgWindowShowings.size(), 1u);
    const std::string expected = std::string("/") + GetParam().openedUid + ".7.dcm";
    ASSERT_EQ(browser->ecgWindowShowings[0].size(), 1u);
    const std::string& opened = browser->ecgWindowShowings[0][0];
    EXPECT_EQ(opened.substr(opened.size() - std::min(opened.size(), expected.size())), expected);
    EXPECT_TRUE(ui.messages.isEmpty());
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, AccessionMode,
                         testing::Values(AccessionCase{"match", "ACC9", "1.30"},
                                         AccessionCase{"two_matches", "ACC7", "1.20"},
                                         AccessionCase{"lower_case", "acc9", ""},
                                         AccessionCase{"not_found", "NOPE", ""}),
                         [](const auto& info) { return std::string(info.param.what); });

}  // namespace
