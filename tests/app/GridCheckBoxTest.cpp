// The grid's geometry and the check boxes kept in its cell slots.
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <QTest>
#include <algorithm>

#include "app/Gridfunctions.h"
#include "app/StringGrid.h"
#include "tests/app/AppTestSupport.h"

namespace {

// A grid shaped like the browser's first two columns.
class GridFixture : public testing::Test {
 protected:
  GridFixture() : grid(3, 4) {
    grid.SetColWidth(0, 250);
    grid.SetColWidth(1, 50);
    grid.SetColWidth(2, 50);
    grid.resize(400, 200);
    grid.onDrawCell = [this](int c, int r, const GridRect& rect, QPainter& painter) {
      DrawCheckBoxCell(grid, c, r, rect, painter);
    };
    grid.show();
  }
  StringGrid grid;
};

TEST_F(GridFixture, SlotBitsFollowTheLowEightBitsOfEachArgument) {
  struct Case {
    int checked, hasBox;
    uint32_t slot;
    bool isChecked, hasCheckBox;
  } cases[] = {
      {0, 1, 0x00000001, false, true},    {1, 1, 0x00010001, true, true},
      {256, 1, 0x00000001, false, true},  // 256 is unchecked, not "true"
      {0x1FF, 1, 0x00FF0001, true, true}, {1, 0, 0x00010000, true, false},
      {0, 256, 0x00000000, false, false},
  };
  for (const Case& c : cases) {
    SetCellCheckBox(grid, 0, 1, c.checked, c.hasBox);
    EXPECT_EQ(grid.Object(0, 1), c.slot) << c.checked << "/" << c.hasBox;
    EXPECT_EQ(IsCellChecked(grid, 0, 1), c.isChecked);
    EXPECT_EQ(CellHasCheckBox(grid, 0, 1), c.hasCheckBox);
  }
}

TEST_F(GridFixture, SetCheckedKeepsTheLowSixteenBits) {
  grid.SetObject(0, 2, 0xABCD);
  SetCellChecked(grid, 0, 2, 1);
  EXPECT_EQ(grid.Object(0, 2), 0x0001ABCDu);
  SetCellChecked(grid, 0, 2, 0);
  EXPECT_EQ(grid.Object(0, 2), 0x0000ABCDu);
  SetCellCheckBox(grid, 0, 2, 0, 1);  // a new box clears the state
  EXPECT_FALSE(IsCellChecked(grid, 0, 2));
}

TEST_F(GridFixture, AccessorsOutOfRangeDoNothing) {
  grid.SetCell(7, 1, "x");
  grid.SetObject(0, 99, 5);
  EXPECT_EQ(grid.Cell(7, 1), "");
  EXPECT_EQ(grid.Object(0, 99), 0u);
  EXPECT_EQ(grid.Cell(-1, -1), "");
}

TEST_F(GridFixture, CellRectanglesLeaveOutTheirLines) {
  EXPECT_EQ(grid.CellRect(0, 0), (GridRect{0, 0, 250, 24}));
  EXPECT_EQ(grid.CellRect(0, 1), (GridRect{0, 25, 250, 49}));
  EXPECT_EQ(grid.CellRect(1, 1), (GridRect{251, 25, 301, 49}));
  EXPECT_TRUE(grid.CellRect(0, 9).IsEmpty());
}

TEST_F(GridFixture, BoxRectangleOfTheExampleCell) {
  EXPECT_EQ(CheckBoxRect(GridRect{0, 0, 100, 24}), (GridRect{2, 3, 15, 25}));
  EXPECT_EQ(CheckBoxRect(grid.CellRect(0, 1)), (GridRect{2, 28, 15, 50}));
}

TEST_F(GridFixture, HitTestCoordinatesOfRowOne) {
  SetCellCheckBox(grid, 0, 1, 0, 1);
  struct Point {
    int x, y;
    bool hit;
  } points[] = {{2, 28, true},  {14, 49, true},  {8, 40, true},   {2, 27, false},
                {1, 30, false}, {15, 30, false}, {200, 30, false}};
  for (const Point& p : points) {
    int column = -1, row = -1;
    EXPECT_EQ(HitCellCheckBox(grid, p.x, p.y, column, row), p.hit) << p.x << "," << p.y;
  }
}

// The line after a cell counts as that cell's for hit testing.
TEST_F(GridFixture, LinePixelsBelongToTheCellBeforeThem) {
  int column = -1, row = -1;
  ASSERT_TRUE(grid.MouseToCell(250, 49, column, row));
  EXPECT_EQ(column, 0);
  EXPECT_EQ(row, 1);
  ASSERT_TRUE(grid.MouseToCell(251, 50, column, row));
  EXPECT_EQ(column, 1);
  EXPECT_EQ(row, 2);
  EXPECT_FALSE(grid.MouseToCell(10, 4 * 25 + 1, column, row));  // below the last row
}

TEST_F(GridFixture, ShrinkingDiscardsRowsAndTheirSlots) {
  grid.SetCell(0, 3, "gone");
  SetCellCheckBox(grid, 0, 3, 1, 1);
  grid.SetRowCount(2);
  grid.SetRowCount(4);
  EXPECT_EQ(grid.Cell(0, 3), "");
  EXPECT_EQ(grid.Object(0, 3), 0u);
}

TEST_F(GridFixture, CheckedAndUncheckedBoxesLookDifferent) {
  SetCellCheckBox(grid, 0, 1, 0, 1);
  const QImage unchecked = grid.viewport()->grab().toImage().copy(2, 28, 13, 22);
  SetCellChecked(grid, 0, 1, 1);
  const QImage checked = grid.viewport()->grab().toImage().copy(2, 28, 13, 22);
  EXPECT_NE(unchecked, checked);
}

// The smallest rectangle holding every pixel of the cell that differs from its background
// (taken where the cell is empty, far right of the box).
GridRect InkOfBox(const QImage& image, const GridRect& cell) {
  const QRgb background = image.pixel(cell.right - 2, cell.top + 2);
  GridRect ink{cell.right, cell.bottom, -1, -1};
  for (int y = cell.top; y < cell.bottom; ++y)
    for (int x = cell.left; x < cell.right; ++x)
      if (image.pixel(x, y) != background) {
        ink.left = std::min(ink.left, x);
        ink.top = std::min(ink.top, y);
        ink.right = std::max(ink.right, x + 1);
        ink.bottom = std::max(ink.bottom, y + 1);
      }
  return ink;
}

// The style's box was stretched into the 13 x 22 hit rectangle, cut off by the cell's bottom,
// and its tick ran past the rectangle's right edge: the box is a square of a box's size that
// lies inside both the cell and the hit rectangle, ticked or not, in a current row or another.
TEST_F(GridFixture, DrawnBoxIsASquareInsideItsCellAndHitRectangle) {
  for (int row : {1, 2}) {
    for (int checked : {0, 1}) {
      SetCellCheckBox(grid, 0, row, checked, 1);
      const QImage image = grid.viewport()->grab().toImage();
      const GridRect cell = grid.CellRect(0, row), hit = CheckBoxRect(cell);
      const GridRect ink = InkOfBox(image, cell);
      SCOPED_TRACE(testing::Message()
                   << "row " << row << " checked " << checked << " ink " << ink.left << ","
                   << ink.top << "-" << ink.right << "," << ink.bottom);
      EXPECT_EQ(ink.right - ink.left, kCheckBoxSize);
      EXPECT_EQ(ink.bottom - ink.top, kCheckBoxSize);
      EXPECT_GE(ink.left, std::max(cell.left, hit.left));
      EXPECT_GE(ink.top, std::max(cell.top, hit.top));
      EXPECT_LE(ink.right, std::min(cell.right, hit.right));
      EXPECT_LE(ink.bottom, std::min(cell.bottom, hit.bottom));
    }
  }
}

TEST_F(GridFixture, CopiedRowsCarryTheirBoxes) {
  grid.SetCell(0, 1, "A");
  SetCellCheckBox(grid, 0, 1, 1, 1);
  grid.SetRowData(3, grid.RowData(1));
  EXPECT_EQ(grid.Cell(0, 3), "A");
  EXPECT_TRUE(IsCellChecked(grid, 0, 3));
}

}  // namespace
