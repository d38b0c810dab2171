// Check-box state, geometry, hit test and drawing for grid cells.
#include "app/Gridfunctions.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionButton>

void SetCellCheckBox(StringGrid& grid, int column, int row, int checked, int hasBox) {
  grid.SetObject(column, row, uint32_t(hasBox) & 0xFF);
  SetCellChecked(grid, column, row, checked);
}

void SetCellChecked(StringGrid& grid, int column, int row, int checked) {
  uint32_t slot = grid.Object(column, row);
  grid.SetObject(column, row, (slot & 0xFFFF) | ((uint32_t(checked) & 0xFF) << 16));
}

bool IsCellChecked(const StringGrid& grid, int column, int row) {
  return grid.Object(column, row) > 0xFFFF;
}

bool CellHasCheckBox(const StringGrid& grid, int column, int row) {
  return (grid.Object(column, row) & 0xFFFF) != 0;
}

GridRect CheckBoxRect(const GridRect& cell) {
  const int middle = cell.top + int((cell.bottom - cell.top) * 0.5);
  GridRect box;
  box.left = cell.left + 2;
  box.right = box.left + kCheckBoxSize;
  box.bottom = middle + kCheckBoxSize;
  box.top = int(middle - (kCheckBoxSize * 0.5 + 2));
  return box;
}

GridRect CheckBoxSquare(const GridRect& cell) {
  const GridRect box = CheckBoxRect(cell);
  GridRect square;
  square.left = box.left;
  square.right = box.left + kCheckBoxSize;
  // Centred on the cell's middle: the box rectangle reaches below the cell, the square never.
  square.top = cell.top + (cell.bottom - cell.top - kCheckBoxSize) / 2;
  square.bottom = square.top + kCheckBoxSize;
  return square;
}

bool HitCellCheckBox(const StringGrid& grid, int x, int y, int& column, int& row) {
  if (!grid.MouseToCell(x, y, column, row)) return false;
  GridRect cell = grid.CellRect(column, row);
  if (cell.IsEmpty()) return false;
  return CheckBoxRect(cell).Contains(x, y);
}

void DrawCheckBoxCell(const StringGrid& grid, int column, int row, const GridRect& rect,
                      QPainter& painter) {
  painter.setFont(grid.font());
  const QRect cell(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
  painter.fillRect(cell, painter.brush());
  QRect text = cell;
  if (CellHasCheckBox(grid, column, row)) {
    const GridRect box = CheckBoxRect(rect);
    const GridRect square = CheckBoxSquare(rect);
    QStyleOptionButton option;
    option.rect = QRect(square.left, square.top, kCheckBoxSize, kCheckBoxSize);
    option.state = QStyle::State_Enabled |
                   (IsCellChecked(grid, column, row) ? QStyle::State_On : QStyle::State_Off);
    painter.save();
    painter.setClipRect(option.rect.intersected(cell));
    grid.style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &option, &painter, &grid);
    painter.restore();
    text.setLeft(box.right + 5);
  }
  painter.drawText(text, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                   grid.Cell(column, row));
}
