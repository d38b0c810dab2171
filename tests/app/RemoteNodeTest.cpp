// Search and retrieve against dcmtk's dcmqrscp configured as a remote node that knows our AE
// title, and the local store searched through the program's own server.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include "app/BrowserState.h"
#include "app/Clock.h"
#include "app/Gridfunctions.h"
#include "app/TFindForm.h"
#include "db/StudyInfo.h"
#include "tests/app/AppTestSupport.h"

namespace {

class RemoteNode : public testing::Test {
 protected:
  void SetUp() override {
    SetTodayForTests([] { return QDate(2024, 3, 1); });
    folder.Write("trevalind.cfg", ConfigRecord(ourPort, "KORVA", 1));
  }
  void TearDown() override {
    browser.reset();
    if (folder.Exists("peer.pid")) Shell("kill $(cat '" + folder.path() + "peer.pid') 2>/dev/null");
    SetTodayForTests({});
  }
  // dcmqrscp as PEERQR on its own port, loaded with ECG, HD and CT; it knows KORVA.
  void StartPeer() {
    const std::string store = folder.path() + "peer";
    ASSERT_EQ(
        Shell("/usr/bin/python3 -W ignore " TREVALIND_SOURCE_DIR "/tests/app/make_peer_store.py '" +
              store + "'"),
        0);
    folder.Write("peer.cfg", "NetworkTCPPort = " + peerPort +
                                 "\nMaxPDUSize = 16384\nMaxAssociations = 16\n"
                                 "HostTable BEGIN\nkorva = (KORVA, 127.0.0.1, " +
                                 ourPort +
                                 ")\nHostTable END\nVendorTable BEGIN\nVendorTable END\n"
                                 "AETable BEGIN\nPEERQR " +
                                 store + " RW (20, 64mb) ANY\nAETable END\n");
    // The index keeps file names as given, and the peer runs in another folder: absolute ones.
    ASSERT_EQ(Shell("cd '" + store +
                    "' && dcmqridx \"$PWD\" \"$PWD/ecg.dcm\" \"$PWD/hd.dcm\" "
                    "\"$PWD/ct.dcm\""),
              0);
    ASSERT_EQ(Shell("cd '" + folder.path() + "' && (timeout 120 dcmqrscp -v -c peer.cfg " +
                    peerPort + " > peer.log 2>&1 & echo $! > peer.pid)"),
              0);
    WaitForPeer("PEERQR");
  }
  // Orthanc as ORTHANCQR, DICOM only, loaded with the same three objects (or `files` of the
  // peer store) over C-STORE; it knows KORVA and logs the query keys.
  void StartOrthanc(const std::string& files = "ecg.dcm hd.dcm ct.dcm") {
    const std::string store = folder.path() + "peer";
    ASSERT_EQ(
        Shell("/usr/bin/python3 -W ignore " TREVALIND_SOURCE_DIR "/tests/app/make_peer_store.py '" +
              store + "'"),
        0);
    folder.Write("orthanc.json",
                 "{\"Name\": \"PEER\", \"StorageDirectory\": \"" + folder.path() +
                     "orthanc\", \"IndexDirectory\": \"" + folder.path() +
                     "orthanc\", \"DicomAet\": \"ORTHANCQR\", \"DicomPort\": " + peerPort +
                     ", \"HttpServerEnabled\": false, "
                     "\"DeidentifyLogs\": false, \"Plugins\": [], "
                     "\"DicomModalities\": {\"korva\": [\"KORVA\", "
                     "\"127.0.0.1\", " +
                     ourPort + "]}}");
    ASSERT_EQ(Shell("cd '" + folder.path() +
                    "' && (timeout 120 Orthanc --verbose orthanc.json "
                    "> peer.log 2>&1 & echo $! > peer.pid)"),
              0);
    WaitForPeer("ORTHANCQR");
    ASSERT_EQ(
        Shell("cd '" + store + "' && storescu -aec ORTHANCQR 127.0.0.1 " + peerPort + " " + files),
        0);
  }
  // Bounded wait until the peer answers an echo.
  void WaitForPeer(const std::string& aeTitle) {
    for (int i = 0; i < 100; ++i) {
      if (Shell("echoscu -aec " + aeTitle + " 127.0.0.1 " + peerPort + " 2>/dev/null") == 0) return;
      QTest::qWait(100);
    }
    FAIL() << "the peer did not start";
  }
  void StartBrowserWithPeer(const std::string& aeTitle = "PEERQR") {
    folder.Write("remote.txt", aeTitle + ",127.0.0.1," + peerPort + "\r\n");
    browser = std::make_unique<RunningBrowser>(folder.path());
    FindForm->ComboBox1->setCurrentIndex(1);
    FindForm->ComboBox1Change();
    FindForm->Memo1->clear();  // the table creation lines
  }
  QStringList Memo() const {
    return FindForm->Memo1->toPlainText().split('\n', Qt::SkipEmptyParts);
  }
  std::string Sql(const std::string& statement) {
    Shell("sqlite3 '" + folder.path() + "database/ecg.db' \"" + statement + "\" > '" +
          folder.path() + "sql.out'");
    return folder.Read("sql.out");
  }
  TempFolder folder;
  RecordingUi ui;
  const std::string ourPort = FreePort();
  const std::string peerPort = FreePort();
  std::unique_ptr<RunningBrowser> browser;
};

// dcmqrscp never answers Modalities in Study, and a study was listed only when the value was
// exactly ECG or HD, so "found 3 studies" came with an empty grid: without the key nothing says
// a study holds no ECG, so every study it finds is listed (the CT image's too).
TEST_F(RemoteNode, SearchListsEveryStudyOfANodeThatLeavesModalitiesOut) {
  StartPeer();
  StartBrowserWithPeer();
  QTest::mouseClick(FindForm->Button4, Qt::LeftButton);
  EXPECT_EQ(ui.questions, QStringList{"WARNING|Have no filters\r\nSearch can take very long"});
  EXPECT_EQ(Memo(), QStringList{"Study Query OK!, found 3 studies"});
  ASSERT_EQ(FindForm->StringGrid1->RowCount(), 4);
  for (int row = 1; row <= 3; ++row) EXPECT_EQ(FindForm->StringGrid1->Cell(7, row), "") << row;
  const std::string log = folder.Read("peer.log");
  EXPECT_NE(log.find("Find SCP Response 4 [status: Success]"), std::string::npos) << log;
}

TEST_F(RemoteNode, SearchWithCancelOnTheWarningTouchesNothing) {
  StartBrowserWithPeer();
  ui.confirmAnswer = false;
  FindForm->StringGrid1->SetCell(0, 1, "kept");
  QTest::mouseClick(FindForm->Button4, Qt::LeftButton);
  EXPECT_EQ(FindForm->StringGrid1->Cell(0, 1), "kept");
  EXPECT_TRUE(Memo().isEmpty());
}

TEST_F(RemoteNode, SearchOfAMissingNodeFails) {
  StartBrowserWithPeer();  // no peer listens
  FindForm->Edit1->setText("642341");
  QTest::mouseClick(FindForm->Button4, Qt::LeftButton);
  EXPECT_EQ(Memo(), QStringList{"ERROR: Study Query Failed!"});
  QTest::mouseClick(FindForm->Button3, Qt::LeftButton);
  EXPECT_EQ(Memo().last(), "Echo Failed!: PEERQR");
}

// An empty key would match every study of the node: the empty row after choosing a node (its
// box left over from the local list) and a double click on it must send no C-MOVE.
TEST_F(RemoteNode, EmptyRemoteRowSendsNoMove) {
  StartPeer();
  StartBrowserWithPeer();
  StringGrid& grid = *FindForm->StringGrid1;
  QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, QPoint(100, 35));
  EXPECT_TRUE(Memo().filter("Move").isEmpty());
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM Objects"), "0\n");
}

// Two checked rows, put in as a search would: each is retrieved into our own store through our
// C-STORE service.
TEST_F(RemoteNode, MoveStudyRetrievesEveryCheckedRowToOurOwnStore) {
  StartPeer();
  StartBrowserWithPeer();
  StringGrid& grid = *FindForm->StringGrid1;
  grid.SetRowCount(3);
  const char* uids[] = {"1.3.76.13.65829.2.20130125082826.1072139.2",
                        "1.2.826.0.1.3680043.8.498.77.2"};
  for (int row = 1; row <= 2; ++row) {
    StudyInfo study;
    study.StudyInstanceUID = uids[row - 1];
    FillStudyRow(grid, study, row);
    const GridRect box = CheckBoxRect(grid.CellRect(0, row));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, QPoint(box.left + 2, box.top + 4));
    ASSERT_TRUE(IsCellChecked(grid, 0, row));
  }
  QTest::mouseClick(FindForm->Button10, Qt::LeftButton);
  EXPECT_EQ(Memo().filter("Move"), (QStringList{"Move Ok!", "Move Ok!"}))
      << Memo().join("|").toStdString();
  EXPECT_FALSE(IsCellChecked(grid, 0, 1));
  EXPECT_FALSE(IsCellChecked(grid, 0, 2));
  // The sub-operations ran on our own server's association threads; give them a moment.
  for (int i = 0; i < 50 && Sql("SELECT COUNT(*) FROM Objects") != "2\n"; ++i) QTest::qWait(100);
  EXPECT_EQ(Sql("SELECT COUNT(*) FROM Objects"), "2\n");
  EXPECT_EQ(Sql("SELECT StudyInstanceUID FROM Study ORDER BY StudyInstanceUID"),
            std::string(uids[1]) + "\n" + uids[0] + "\n");
  const std::string log = folder.Read("peer.log");
  EXPECT_NE(log.find("Move SCP Response 2 [status: Success]"), std::string::npos) << log;
}

// Orthanc answers Modalities in Study: its ECG and HD studies are shown, the CT study only
// counted; the two shown rows, checked, come home through our own C-STORE service.
TEST_F(RemoteNode, OrthancSearchShowsEcgAndHdAndRetrievesThem) {
  StartOrthanc();
  StartBrowserWithPeer("ORTHANCQR");
  QTest::mouseClick(FindForm->Button4, Qt::LeftButton);
  EXPECT_EQ(Memo(), QStringList{"Study Query OK!, found 3 studies"});
  StringGrid& grid = *FindForm->StringGrid1;
  ASSERT_EQ(grid.RowCount(), 3);
  QStringList modalities{grid.Cell(7, 1), grid.Cell(7, 2)};
  modalities.sort();
  EXPECT_EQ(modalities, (QStringList{"ECG", "HD"}));
  for (int row = 1; row <= 2; ++row) {
    const GridRect box = CheckBoxRect(grid.CellRect(0, row));
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, QPoint(box.left + 2, box.top + 4));
  }
  QTest::mouseClick(FindForm->Button10, Qt::LeftButton);
  EXPECT_EQ(Memo().filter("Move"), (QStringList{"Move Ok!", "Move Ok!"}));
  EXPECT_FALSE(IsCellChecked(grid, 0, 1));
  EXPECT_FALSE(IsCellChecked(grid, 0, 2));
  for (int i = 0; i < 50 && Sql("SELECT COUNT(*) FROM Objects") != "2\n"; ++i) QTest::qWait(100);
  EXPECT_EQ(Sql("SELECT Modality FROM Series ORDER BY Modality"), "ECG\nHD\n");
}

struct ListedStudy {
  const char* uid;
  const char* modalities;  // as the peer answers them
  bool listed;
};

// A study whose Modalities in Study named ECG beside another modality was dropped, since only
// the exact values ECG and HD were listed. Orthanc answers the key from the study's series: a
// study is listed when any of its values is ECG or HD, and hidden when it names only others.
TEST_F(RemoteNode, OrthancSearchListsAStudyWhenAnyOfItsModalitiesIsEcgOrHd) {
  const ListedStudy studies[] = {
      {"1.3.76.13.65829.2.20130125082826.1072139.2", "ECG", true},
      {"1.2.826.0.1.3680043.8.498.77.2", "HD", true},
      {"1.2.826.0.1.3680043.8.498.78.2", "ECG\\SR", true},  // an ECG series and a report
      {"1.3.6.1.4.1.5962.1.2.1.20040119072730.12322", "CT", false}};
  StartOrthanc("ecg.dcm hd.dcm mixed-ecg.dcm mixed-sr.dcm ct.dcm");
  StartBrowserWithPeer("ORTHANCQR");
  QTest::mouseClick(FindForm->Button4, Qt::LeftButton);
  EXPECT_EQ(Memo(), QStringList{"Study Query OK!, found 4 studies"});
  const StringGrid& grid = *FindForm->StringGrid1;
  int listed = 0;
  for (const ListedStudy& study : studies) {
    int row = 1;
    while (row < grid.RowCount() && grid.Cell(12, row) != study.uid) ++row;
    EXPECT_EQ(row < grid.RowCount(), study.listed) << study.modalities;
    if (row < grid.RowCount()) {
      EXPECT_EQ(grid.Cell(7, row), study.modalities);
    }
    listed += study.listed;
  }
  EXPECT_EQ(grid.RowCount(), listed + 1);
}

struct FilterCase {
  const char* what;
  bool orthanc;                       // else dcmqrscp
  const char *patientId, *from, *to;  // null: the box stays unticked
  const char* keyInPeerLog;
  const char* memo;
};

class RemoteFilters : public RemoteNode, public testing::WithParamInterface<FilterCase> {};

// The date keys go out with their blanks, as typed into the browser, and each peer's log shows
// what it made of them; dcmqrscp takes them without an error but matches none of its studies
// (dated 2013 and 2004) by them. A Patient ID
// of one blank is a filter for the browser (no warning), though not for this peer.
TEST_P(RemoteFilters, KeysGoOutAsTypedAndThePeerAnswers) {
  const FilterCase& c = GetParam();
  if (c.orthanc) {
    StartOrthanc();
    StartBrowserWithPeer("ORTHANCQR");
  } else {
    StartPeer();
    StartBrowserWithPeer();
  }
  if (c.patientId) FindForm->Edit1->setText(c.patientId);
  if (c.from) {
    FindForm->CheckBox1->setChecked(true);
    FindForm->Edit3->setText(c.from);
  }
  if (c.to) {
    FindForm->CheckBox2->setChecked(true);
    FindForm->Edit4->setText(c.to);
  }
  QTest::mouseClick(FindForm->Button4, Qt::LeftButton);
  EXPECT_TRUE(ui.questions.isEmpty());
  EXPECT_EQ(Memo(), QStringList{c.memo});
  const std::string log = folder.Read("peer.log");
  EXPECT_NE(log.find(c.keyInPeerLog), std::string::npos) << log;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RemoteFilters,
    testing::Values(
        FilterCase{"from", false, nullptr, "20130101", nullptr, "(0008,0020) DA [20130101 -]",
                   "Study Query OK!, found 0 studies"},
        FilterCase{"to", false, nullptr, nullptr, "20131231", "(0008,0020) DA [- 20131231]",
                   "Study Query OK!, found 0 studies"},
        FilterCase{"from_and_to", false, nullptr, "20130101", "20131231",
                   "(0008,0020) DA [20130101 - 20131231]", "Study Query OK!, found 0 studies"},
        // Two blank bytes go out; the peer reads them as no value, so everything matches.
        FilterCase{"blank_patient_id", false, " ", nullptr, nullptr, "#   2, 0 PatientID",
                   "Study Query OK!, found 3 studies"},
        FilterCase{"patient_id", false, "642341", nullptr, nullptr, "(0010,0020) LO [642341]",
                   "Study Query OK!, found 2 studies"},
        // Orthanc reads "D1 -" as a range from D1 but finds nothing by "- D2" or "D1 - D2".
        FilterCase{"orthanc_from", true, nullptr, "20130101", nullptr, "StudyDate = 20130101 -",
                   "Study Query OK!, found 2 studies"},
        FilterCase{"orthanc_to", true, nullptr, nullptr, "20131231", "StudyDate = - 20131231",
                   "Study Query OK!, found 0 studies"},
        FilterCase{"orthanc_from_and_to", true, nullptr, "20130101", "20131231",
                   "StudyDate = 20130101 - 20131231", "Study Query OK!, found 0 studies"}),
    [](const auto& info) { return std::string(info.param.what); });

// The road of one ECG: sent by storescu, listed locally, opened by a double click.
TEST_F(RemoteNode, StoredEcgIsListedAndADoubleClickOpensItsFile) {
  browser = std::make_unique<RunningBrowser>(folder.path());
  ASSERT_EQ(Shell("storescu -aec KORVA 127.0.0.1 " + ourPort +
                  " " PYDICOM_TEST_FILES "/waveform_ecg.dcm"),
            0);
  FindForm->ComboBox1Change();
  StringGrid& grid = *FindForm->StringGrid1;
  ASSERT_EQ(grid.Cell(9, 1), "03028041970546");
  const GridRect cell = grid.CellRect(1, 1);
  QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, QPoint(cell.left + 5, cell.top + 5));
  ASSERT_EQ(browser->ecgWindowShowings.size(), 1u);
  ASSERT_EQ(browser->ecgWindowShowings[0].size(), 1u);
  const std::string file = browser->ecgWindowShowings[0][0];
  EXPECT_EQ(Shell("/usr/bin/python3 -c \"import pydicom, sys; ds = pydicom.dcmread('" + file +
                  "'); sys.exit(ds.PatientID != '642341' or ds.Modality != 'ECG')\""),
            0)
      << file;
}

TEST_F(RemoteNode, LocalSearchAsksTheProgramsOwnServer) {
  browser = std::make_unique<RunningBrowser>(folder.path());
  ASSERT_EQ(Shell("storescu -aec KORVA 127.0.0.1 " + ourPort +
                  " " PYDICOM_TEST_FILES "/waveform_ecg.dcm"),
            0);
  FindForm->ComboBox1Change();  // reload the local list: the stored study is there
  ASSERT_EQ(FindForm->StringGrid1->RowCount(), 2);
  EXPECT_EQ(FindForm->StringGrid1->Cell(1, 1), "642341");
  EXPECT_EQ(FindForm->StringGrid1->Cell(9, 1), "03028041970546");
  FindForm->Edit1->setText("642341");
  QTest::mouseClick(FindForm->Button4, Qt::LeftButton);
  EXPECT_EQ(Memo().last(), "Study Query OK!, found 1 studies");
  EXPECT_EQ(FindForm->StringGrid1->Cell(1, 1), "642341");
  QTest::mouseClick(FindForm->Button3, Qt::LeftButton);
  EXPECT_EQ(Memo().last(), "Echo OK!: KORVA");
}

// The program's own store joins a study's modalities with "-": an ECG and an HD object of one
// study make "ECG-HD", which its own C-FIND service answers, and the "Local" search lists it.
TEST_F(RemoteNode, LocalSearchListsAStudyOfEcgAndHdObjects) {
  browser = std::make_unique<RunningBrowser>(folder.path());
  const std::string hd = folder.path() + "hd-beside-ecg.dcm";
  ASSERT_EQ(Shell("cp " PYDICOM_TEST_FILES "/waveform_ecg.dcm '" + hd +
                  "' && dcmodify -nb -m '(0008,0060)=HD' -m '(0008,0018)=1.2.826.0.1.3680043.8."
                  "498.79.1' -m '(0020,000e)=1.2.826.0.1.3680043.8.498.79.2' '" +
                  hd + "'"),
            0);
  ASSERT_EQ(Shell("storescu -aec KORVA 127.0.0.1 " + ourPort +
                  " " PYDICOM_TEST_FILES "/waveform_ecg.dcm '" + hd + "'"),
            0);
  FindForm->Edit1->setText("642341");
  QTest::mouseClick(FindForm->Button4, Qt::LeftButton);
  EXPECT_EQ(Memo().last(), "Study Query OK!, found 1 studies");
  ASSERT_EQ(FindForm->StringGrid1->RowCount(), 2);
  EXPECT_EQ(FindForm->StringGrid1->Cell(7, 1), "ECG-HD");
}

}  // namespace
