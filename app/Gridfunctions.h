// Check boxes in grid cells, kept entirely in each cell's 32-bit object slot so that they move
// with a row whenever whole rows are copied:
//   bits  0..15  non-zero: the cell has a box
//   bits 16..23  non-zero: checked
//   bits 24..31  0
// Arguments `checked` and `hasBox` are integers of which only the low 8 bits count, as stored
// (256 means unchecked).
#pragma once

#include "app/StringGrid.h"

class QPainter;

// The size of a menu check mark on the desktop the grid was laid out for.
constexpr int kCheckBoxSize = 13;

void SetCellCheckBox(StringGrid& grid, int column, int row, int checked, int hasBox);
void SetCellChecked(StringGrid& grid, int column, int row, int checked);
bool IsCellChecked(const StringGrid& grid, int column, int row);  // slot > 0xFFFF
bool CellHasCheckBox(const StringGrid& grid, int column, int row);
// The box of a cell: from half a box plus 2 pixels above the cell's middle to a box below it.
GridRect CheckBoxRect(const GridRect& cell);
// The square the box is drawn in: a box's size, at the box rectangle's left, centred on the
// cell's middle, so it lies inside both the box rectangle and the cell (for cells at least a
// box high, as the grid's rows are).
GridRect CheckBoxSquare(const GridRect& cell);
// The cell under a client point, and whether the point lies in that cell's box rectangle.
bool HitCellCheckBox(const StringGrid& grid, int x, int y, int& column, int& row);
// Background with the painter's brush, the box when the cell has one, then the text.
void DrawCheckBoxCell(const StringGrid& grid, int column, int row, const GridRect& rect,
                      QPainter& painter);
