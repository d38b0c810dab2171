// The setup window through its real controls: both files read at creation and written by OK.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "app/ScpConfig.h"
#include "app/TQSsetup.h"
#include "platform/ExeFolder.h"
#include "tests/app/AppTestSupport.h"

namespace {

class SetupWindow : public testing::Test {
 protected:
  void Create() {
    ExeFolder = folder.path();
    ScpConfig = ScpConfigRecord{};
    window = std::make_unique<TQSsetup>();
  }
  void Click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  void SetEdits(const QString& ae, const QString& ip, const QString& port) {
    window->Edit1->setText(ae);
    window->Edit2->setText(ip);
    window->Edit7->setText(port);
  }
  void SelectRow(int row) {
    const GridRect rect = window->StringGrid2->CellRect(0, row);
    QTest::mouseClick(window->StringGrid2->viewport(), Qt::LeftButton, {},
                      QPoint(rect.left + 30, rect.top + 5));
  }
  TempFolder folder;
  RecordingUi ui;
  std::unique_ptr<TQSsetup> window;
};

TEST_F(SetupWindow, FirstStartShowsDefaultsAndWritesNothingUntilOk) {
  Create();
  window->show();
  EXPECT_EQ(window->Edit3->text(), "104");
  EXPECT_EQ(window->Edit4->text(), "KORVA");
  EXPECT_EQ(window->ComboBox1->currentIndex(), 0);
  EXPECT_EQ(window->StringGrid2->RowCount(), 2);
  EXPECT_FALSE(folder.Exists("trevalind.cfg"));
  Click(window->BitBtn1);
  EXPECT_EQ(folder.Read("trevalind.cfg"), ConfigRecord("104", "KORVA", 0));
  // The empty placeholder row is written as a blank AE title.
  EXPECT_EQ(folder.Read("remote.txt"), std::string(16, ' ') + ",,\r\n");
  EXPECT_FALSE(window->isVisible());
}

TEST_F(SetupWindow, StoredLevelOutsideTheListGivesMinusOneOnUntouchedOk) {
  folder.Write("trevalind.cfg", ConfigRecord("11112", "STATION", 7));
  Create();
  EXPECT_EQ(window->Edit3->text(), "11112");
  EXPECT_EQ(window->Edit4->text(), "STATION");
  EXPECT_EQ(window->ComboBox1->currentIndex(), -1);
  EXPECT_EQ(ScpConfig.logLevel, 7);
  Click(window->BitBtn1);
  EXPECT_EQ(folder.Read("trevalind.cfg"), ConfigRecord("11112", "STATION", -1));
}

TEST_F(SetupWindow, EditedValuesRoundTripThroughBothFiles) {
  folder.Write("remote.txt", "ABCDE           ,10.1.1.1,104\r\nLONELY\n");
  Create();
  ASSERT_EQ(window->StringGrid2->RowCount(), 3);
  EXPECT_EQ(window->StringGrid2->Cell(0, 1), "ABCDE           ");
  EXPECT_EQ(window->StringGrid2->Cell(1, 2), "");
  window->Edit3->setText(QString(40, '9'));
  window->Edit4->setText("MYAE");
  window->ComboBox1->setCurrentIndex(3);
  SetEdits("TWENTY_CHARACTERS_AE", "peer.example", "11113");
  Click(window->Button3);  // appends: row 1 has an address
  Click(window->BitBtn1);
  EXPECT_EQ(folder.Read("trevalind.cfg"), ConfigRecord(std::string(31, '9'), "MYAE", 3));
  EXPECT_EQ(folder.Read("remote.txt"),
            "ABCDE           ,10.1.1.1,104\r\nLONELY          ,,\r\n"
            "TWENTY_CHARACTER,peer.example,11113\r\n");
  Create();  // the next start reads them back
  EXPECT_EQ(window->Edit3->text(), QString(31, '9'));
  EXPECT_EQ(window->ComboBox1->currentIndex(), 3);
  EXPECT_EQ(window->StringGrid2->RowCount(), 4);
  EXPECT_EQ(window->StringGrid2->Cell(0, 3), "TWENTY_CHARACTER");
}

TEST_F(SetupWindow, AddClearAndChangeKeepTheirRules) {
  Create();
  StringGrid& grid = *window->StringGrid2;
  SetEdits("", "h", "1");
  Click(window->Button3);
  EXPECT_EQ(ui.messages, QStringList{"ERROR, No empty fields allowed!"});
  SetEdits("FIRST", "10.0.0.1", "104");
  Click(window->Button3);  // fills the placeholder row
  EXPECT_EQ(grid.RowCount(), 2);
  EXPECT_EQ(grid.Cell(0, 1), "FIRST");
  SetEdits("SECOND", "10.0.0.2", "105");
  Click(window->Button3);
  EXPECT_EQ(grid.RowCount(), 3);
  SelectRow(1);
  EXPECT_EQ(window->Edit1->text(), "FIRST");  // a click copies the row into the edits
  SetEdits("", "", "");
  Click(window->Button6);  // Change tests nothing
  EXPECT_EQ(grid.Cell(0, 1), "");
  Click(window->Button5);  // Clear moves the rows below up
  EXPECT_EQ(grid.RowCount(), 2);
  EXPECT_EQ(grid.Cell(0, 1), "SECOND");
  Click(window->Button5);
  EXPECT_EQ(grid.RowCount(), 1);
  EXPECT_EQ(grid.Cell(0, 0), "AE Title");
  Click(window->Button5);  // only the header is left: nothing happens
  Click(window->Button6);
  EXPECT_EQ(grid.RowCount(), 1);
  EXPECT_EQ(grid.Cell(0, 0), "AE Title");
  Click(window->BitBtn1);
  EXPECT_EQ(folder.Read("remote.txt"), "");
}

TEST_F(SetupWindow, UnwritableRemoteListShowsTheErrorAndStillCloses) {
  Create();
  Shell("mkdir '" + folder.path() + "remote.txt'");
  window->show();
  Click(window->BitBtn1);
  ASSERT_EQ(ui.messages.size(), 1);
  EXPECT_TRUE(ui.messages[0].startsWith("Cannot create file"));
  EXPECT_EQ(folder.Read("trevalind.cfg"), ConfigRecord("104", "KORVA", 0));
  EXPECT_FALSE(window->isVisible());
}

}  // namespace
