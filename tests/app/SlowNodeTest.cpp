// Search and retrieve against a slow node: "Abort!" (and "End") while they wait keep the rows
// shown so far and report the failure, an aborted retrieve never shares its association with
// the next checked row, and one failed study of a retrieve does not stop the others.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <optional>

#include "app/Clock.h"
#include "app/Gridfunctions.h"
#include "app/TFindForm.h"
#include "db/StudyInfo.h"
#include "tests/app/AppTestSupport.h"
#include "tests/app/SlowPeer.h"

namespace {

class SlowNode : public testing::Test {
 protected:
  void SetUp() override {
    SetTodayForTests([] { return QDate(2024, 3, 1); });
    folder.Write("trevalind.cfg", ConfigRecord(FreePort(), "KORVA", 1));
  }
  void TearDown() override {
    browser.reset();
    SetTodayForTests({});
  }
  void StartBrowserWith(SlowPeer& peer) {
    folder.Write("remote.txt", "SLOW,127.0.0.1," + peer.port() + "\r\n");
    browser = std::make_unique<RunningBrowser>(folder.path());
    FindForm->ComboBox1->setCurrentIndex(1);
    FindForm->ComboBox1Change();
    FindForm->Memo1->clear();
  }
  QStringList Memo() const {
    return FindForm->Memo1->toPlainText().split('\n', Qt::SkipEmptyParts);
  }
  void CheckRows(const std::vector<std::string>& uids) {
    StringGrid& grid = *FindForm->StringGrid1;
    grid.SetRowCount(int(uids.size()) + 1);
    for (size_t i = 0; i < uids.size(); ++i) {
      StudyInfo study;
      study.StudyInstanceUID = uids[i];
      FillStudyRow(grid, study, int(i) + 1);
      SetCellChecked(grid, 0, int(i) + 1, 1);
    }
  }
  TempFolder folder;
  RecordingUi ui;
  std::optional<ClickWhen> click;
  std::unique_ptr<RunningBrowser> browser;
};

TEST_F(SlowNode, AbortedSearchKeepsTheRowsShownSoFarAndFails) {
  SlowPeer peer(5, 0, 300);
  StartBrowserWith(peer);
  StringGrid& grid = *FindForm->StringGrid1;
  click.emplace([&] { return !grid.Cell(0, 1).isEmpty(); }, FindForm->Button5);
  QTest::mouseClick(FindForm->Button4, Qt::LeftButton);
  // The abort is seen after the next response, which is not shown.
  EXPECT_EQ(Memo(), QStringList{"ERROR: Study Query Failed!"});
  EXPECT_EQ(grid.RowCount(), 2);
  EXPECT_EQ(grid.Cell(0, 1), "Slow^1");
  EXPECT_TRUE(CellHasCheckBox(grid, 0, 1));
}

struct RetrieveAbortCase {
  const char* what;
  int associationsAllowed;
  QStringList moveLines;  // the memo lines about moves and associations, in order
  std::vector<std::vector<std::string>> movesPerAssociation;
  bool secondRowStaysChecked;
};

class RetrieveAbort : public SlowNode, public testing::WithParamInterface<RetrieveAbortCase> {};

// After "Abort!" the association is aborted and the next checked row goes out on a new one;
// when that cannot be opened, the rows not handled stay checked.
TEST_P(RetrieveAbort, NextRowGoesOutOnANewAssociation) {
  const RetrieveAbortCase& c = GetParam();
  SlowPeer peer(0, 5, 200, c.associationsAllowed);
  StartBrowserWith(peer);
  CheckRows({"1.2.3.1", "1.2.3.2"});
  click.emplace([this] { return !Memo().filter("Faltan: ").isEmpty(); }, FindForm->Button5);
  QTest::mouseClick(FindForm->Button10, Qt::LeftButton);
  const QStringList lines = Memo();
  EXPECT_EQ(lines.first(), "Faltan: 5");
  QStringList moveLines;
  for (const QString& line : lines)
    if (!line.startsWith("Faltan: ")) moveLines << line;
  EXPECT_EQ(moveLines, c.moveLines) << lines.join("|").toStdString();
  EXPECT_EQ(peer.Moves(), c.movesPerAssociation);
  StringGrid& grid = *FindForm->StringGrid1;
  EXPECT_FALSE(IsCellChecked(grid, 0, 1));
  EXPECT_EQ(IsCellChecked(grid, 0, 2), c.secondRowStaysChecked);
}

INSTANTIATE_TEST_SUITE_P(Cases, RetrieveAbort,
                         testing::Values(RetrieveAbortCase{"new_association",
                                                           2,
                                                           {"ERROR: Move Failed!", "Move Ok!"},
                                                           {{"1.2.3.1"}, {"1.2.3.2"}},
                                                           false},
                                         RetrieveAbortCase{
                                             "no_new_association",
                                             1,
                                             {"ERROR: Move Failed!", "Association Failed!"},
                                             {{"1.2.3.1"}},
                                             true}),
                         [](const auto& info) { return std::string(info.param.what); });

TEST_F(SlowNode, FailedStudyAmongThreeIsReportedAndEveryRowEndsUnchecked) {
  SlowPeer peer(0, 1, 0);
  StartBrowserWith(peer);
  CheckRows({"1.2.3.1", SlowPeer::kFailingUid, "1.2.3.3"});
  QTest::mouseClick(FindForm->Button10, Qt::LeftButton);
  EXPECT_EQ(Memo().filter("Move"), (QStringList{"Move Ok!", "ERROR: Move Failed!", "Move Ok!"}));
  EXPECT_EQ(peer.Moves(),
            (std::vector<std::vector<std::string>>{{"1.2.3.1", SlowPeer::kFailingUid, "1.2.3.3"}}));
  for (int row = 1; row <= 3; ++row) EXPECT_FALSE(IsCellChecked(*FindForm->StringGrid1, 0, row));
}

// "End" pressed while a search processes events runs the shut-down from inside the handler.
TEST_F(SlowNode, EndDuringASearchShutsDown) {
  SlowPeer peer(3, 0, 200);
  StartBrowserWith(peer);
  click.emplace([] { return !FindForm->StringGrid1->Cell(0, 1).isEmpty(); }, FindForm->Button1);
  QTest::mouseClick(FindForm->Button4, Qt::LeftButton);
  EXPECT_TRUE(browser->exited);
}

}  // namespace
