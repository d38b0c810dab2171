// The study grid's texts against its columns. Where the face the columns were laid out for was
// missing, the grid drew in the wider system sans and cut texts short: an eight-digit birth date
// in "Age" read as a different date, titles lost their last letters. Measured with the grid's
// own font, each text here must fit the room its column gives it.
#include <gtest/gtest.h>

#include <QFontMetrics>

#include "app/Clock.h"
#include "app/Gridfunctions.h"
#include "app/TFindForm.h"
#include "tests/app/AppTestSupport.h"

namespace {

constexpr int kAccessionColumn = 9;

// The width a column's text may take: the whole column, or in column 0 what is right of the
// check box.
int TextRoom(const StringGrid& grid, int column) {
  const int width = grid.ColWidth(column);
  if (column != 0) return width;
  const GridRect cell{0, 0, width, StringGrid::kRowHeight};
  return width - (CheckBoxRect(cell).right + 5);
}

class GridFont : public testing::Test {
 protected:
  void SetUp() override {
    SetTodayForTests([] { return QDate(2024, 3, 1); });
    folder.Write("trevalind.cfg", ConfigRecord(port, "KORVA", 1));
    browser = std::make_unique<RunningBrowser>(folder.path());
  }
  void TearDown() override {
    browser.reset();
    SetTodayForTests({});
  }
  void ExpectFits(int column, const QString& text) const {
    const StringGrid& grid = *FindForm->StringGrid1;
    const int width = QFontMetrics(grid.font()).horizontalAdvance(text);
    EXPECT_LE(width, TextRoom(grid, column))
        << '"' << text.toStdString() << "\" in column " << column << " ("
        << grid.Cell(column, 0).toStdString() << ")";
  }
  TempFolder folder;
  RecordingUi ui;
  const std::string port = FreePort();
  std::unique_ptr<RunningBrowser> browser;
};

// "Accession N." and the 14-digit accession numbers of real sites are wider than 50 pixels in
// any face of this size, Tahoma's own included: that column was laid out too narrow for them.
TEST_F(GridFont, EveryTitleFitsItsColumn) {
  const StringGrid& grid = *FindForm->StringGrid1;
  for (int column = 0; column < grid.ColCount(); ++column)
    if (column != kAccessionColumn) ExpectFits(column, grid.Cell(column, 0));
}

TEST_F(GridFont, LongDatesTimesAndNamesFit) {
  const struct {
    int column;
    const char* text;
  } cases[] = {
      {0, "WOJCIECHOWSKI-MAMMADOV MAXWELL"},  // 30 characters
      {3, "19710123"},                        // a birth date
      {3, "20000808"},
      {4, "20261231"},
      {5, "235959"},
      {5, "235959.123456"},  // a time with its fraction
  };
  for (const auto& c : cases) ExpectFits(c.column, QString::fromUtf8(c.text));
}

// pydicom's sample ECG as the list shows it, every value but the accession number.
TEST_F(GridFont, TheSampleRecordingsValuesFit) {
  ASSERT_EQ(
      Shell("storescu -aec KORVA 127.0.0.1 " + port + " " PYDICOM_TEST_FILES "/waveform_ecg.dcm"),
      0);
  FindForm->ComboBox1Change();
  const StringGrid& grid = *FindForm->StringGrid1;
  ASSERT_EQ(grid.RowCount(), 2);
  ASSERT_EQ(grid.Cell(1, 1), "642341");
  for (int column = 0; column < grid.ColCount(); ++column)
    if (column != kAccessionColumn) ExpectFits(column, grid.Cell(column, 1));
}

}  // namespace
