// The owner-drawn string grid.
#include "app/StringGrid.h"

#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <utility>

StringGrid::StringGrid(int columns, int rows, QWidget* parent)
    : QAbstractScrollArea(parent), widths_(size_t(columns > 0 ? columns : 1), 64) {
  SetRowCount(rows);
  setFocusPolicy(Qt::StrongFocus);
  UpdateScrollBars();
}

bool StringGrid::InRange(int column, int row) const {
  return column >= 0 && column < ColCount() && row >= 0 && row < RowCount();
}

GridRow StringGrid::BlankRow() const {
  return {std::vector<QString>(widths_.size()), std::vector<uint32_t>(widths_.size(), 0)};
}

bool StringGrid::KeepRowsInRange() {
  const int count = RowCount();
  bool moved = false;
  if (currentRow_ >= count) {
    currentRow_ = count > 1 ? count - 1 : 1;
    moved = true;
  }
  if (topRow_ >= count) {
    topRow_ = 1;
    moved = true;
  }
  return moved;
}

void StringGrid::SetRowCount(int rows) {
  if (rows < 1) rows = 1;
  const int firstChanged = std::min(RowCount(), rows);
  rows_.resize(size_t(rows), BlankRow());
  // Rows added or dropped below the view change only the scroll bar.
  Changed(KeepRowsInRange() ? -1 : firstChanged, true);
}

int StringGrid::ColWidth(int column) const {
  return column >= 0 && column < ColCount() ? widths_[size_t(column)] : 0;
}

void StringGrid::SetColWidth(int column, int width) {
  if (column < 0 || column >= ColCount()) return;
  widths_[size_t(column)] = width;
  Changed(-1, true);
}

const QString& StringGrid::Cell(int column, int row) const {
  static const QString none;
  return InRange(column, row) ? rows_[size_t(row)].texts[size_t(column)] : none;
}

void StringGrid::SetCell(int column, int row, const QString& text) {
  if (!InRange(column, row)) return;
  rows_[size_t(row)].texts[size_t(column)] = text;
  Changed(row, false);
}

uint32_t StringGrid::Object(int column, int row) const {
  return InRange(column, row) ? rows_[size_t(row)].objects[size_t(column)] : 0;
}

void StringGrid::SetObject(int column, int row, uint32_t slot) {
  if (!InRange(column, row)) return;
  rows_[size_t(row)].objects[size_t(column)] = slot;
  Changed(row, false);
}

GridRow StringGrid::RowData(int row) const {
  if (row < 0 || row >= RowCount()) return {};
  return rows_[size_t(row)];
}

void StringGrid::SetRowData(int row, const GridRow& data) {
  if (row < 0 || row >= RowCount() || data.texts.size() != widths_.size() ||
      data.objects.size() != widths_.size())
    return;
  rows_[size_t(row)] = data;
  Changed(row, false);
}

void StringGrid::EmptyRow(int row) { SetRowData(row, BlankRow()); }

void SortRows(std::vector<GridRow>& rows, size_t first, int column, const GridOrder& order) {
  if (first >= rows.size() || column < 0) return;
  // The order sees the texts where they are; the rows move once, into their new places.
  std::vector<QStringView> texts;
  texts.reserve(rows.size() - first);
  for (size_t row = first; row < rows.size(); ++row)
    texts.emplace_back(rows[row].texts[size_t(column)]);
  const std::vector<size_t> places = order(texts);
  // Anything but a permutation leaves the rows as they were.
  std::vector<bool> taken(rows.size() - first, false);
  if (places.size() != taken.size()) return;
  for (size_t index : places) {
    if (index >= taken.size() || taken[index]) return;
    taken[index] = true;
  }
  std::vector<GridRow> sorted;
  sorted.reserve(places.size());
  for (size_t index : places) sorted.push_back(std::move(rows[first + index]));
  std::move(sorted.begin(), sorted.end(), rows.begin() + long(first));
}

void StringGrid::SortRows(int firstRow, int column, const GridOrder& order) {
  if (firstRow < 0 || column < 0 || column >= ColCount()) return;
  ::SortRows(rows_, size_t(firstRow), column, order);
  Changed(-1, false);
}

std::vector<GridRow> StringGrid::SetRows(int firstRow, std::vector<GridRow> rows) {
  if (firstRow < 0 || firstRow > RowCount()) return {};
  for (GridRow& row : rows) {
    row.texts.resize(widths_.size());
    row.objects.resize(widths_.size(), 0);
  }
  std::vector<GridRow> replaced(std::make_move_iterator(rows_.begin() + firstRow),
                                std::make_move_iterator(rows_.end()));
  rows_.resize(size_t(firstRow));
  rows_.insert(rows_.end(), std::make_move_iterator(rows.begin()),
               std::make_move_iterator(rows.end()));
  if (rows_.empty()) rows_.push_back(BlankRow());
  KeepRowsInRange();
  Changed(-1, true);
  return replaced;
}

void StringGrid::BeginUpdate() { ++updateDepth_; }

void StringGrid::EndUpdate() {
  if (updateDepth_ == 0 || --updateDepth_ > 0) return;
  if (pendingLayout_) UpdateScrollBars();
  if (pendingRepaint_) viewport()->update();
  pendingLayout_ = pendingRepaint_ = false;
}

bool StringGrid::RowShown(int row) const {
  if (row == 0) return true;
  return row >= topRow_ && (row - topRow_ + 1) * (kRowHeight + kLineWidth) < viewport()->height();
}

void StringGrid::Changed(int row, bool layout) {
  if (updateDepth_ > 0) {
    pendingLayout_ = pendingLayout_ || layout;
    pendingRepaint_ = true;
    return;
  }
  if (layout) UpdateScrollBars();
  if (row < 0 || RowShown(row)) viewport()->update();
}

void StringGrid::SetRow(int row) {
  if (row < 1 || row >= RowCount()) return;
  currentRow_ = row;
  viewport()->update();
}

int StringGrid::ColumnLeft(int column) const {
  if (column < leftCol_) return -1;
  int left = 0;
  for (int c = leftCol_; c < column; ++c) left += widths_[size_t(c)] + kLineWidth;
  return left;
}

GridRect StringGrid::CellRect(int column, int row) const {
  if (!InRange(column, row)) return {};
  int left = ColumnLeft(column);
  if (left < 0 || left >= viewport()->width()) return {};
  int top;
  if (row == 0) {
    top = 0;
  } else {
    if (row < topRow_) return {};
    top = (row - topRow_ + 1) * (kRowHeight + kLineWidth);
    if (top >= viewport()->height()) return {};
  }
  return {left, top, left + widths_[size_t(column)], top + kRowHeight};
}

bool StringGrid::MouseToCell(int x, int y, int& column, int& row) const {
  if (x < 0 || y < 0) return false;
  const int pitch = kRowHeight + kLineWidth;
  row = y < pitch ? 0 : topRow_ + y / pitch - 1;
  if (row >= RowCount()) return false;
  int left = 0;
  for (int c = leftCol_; c < ColCount(); ++c) {
    int next = left + widths_[size_t(c)] + kLineWidth;
    if (x < next) {
      column = c;
      return true;
    }
    left = next;
  }
  return false;
}

void StringGrid::paintEvent(QPaintEvent*) {
  QPainter painter(viewport());
  painter.fillRect(viewport()->rect(), palette().color(QPalette::Window));
  auto paintRow = [&](int row) {
    for (int c = leftCol_; c < ColCount(); ++c) {
      GridRect rect = CellRect(c, row);
      if (rect.IsEmpty()) break;
      // The line right of and below the cell.
      painter.fillRect(QRect(rect.right, rect.top, kLineWidth, kRowHeight + kLineWidth), Qt::gray);
      painter.fillRect(QRect(rect.left, rect.bottom, rect.right - rect.left, kLineWidth), Qt::gray);
      QPalette::ColorRole role = row == 0             ? QPalette::Button
                                 : row == currentRow_ ? QPalette::Highlight
                                                      : QPalette::Base;
      painter.setBrush(palette().color(role));
      painter.setPen(palette().color(row == currentRow_ && row > 0 ? QPalette::HighlightedText
                                                                   : QPalette::Text));
      painter.setFont(font());
      painter.save();
      painter.setClipRect(
          QRect(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top));
      if (onDrawCell) {
        onDrawCell(c, row, rect, painter);
      } else {
        QRect cell(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
        painter.fillRect(cell, painter.brush());
        painter.drawText(cell, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, Cell(c, row));
      }
      painter.restore();
    }
  };
  paintRow(0);
  for (int row = topRow_; row < RowCount(); ++row) {
    if (CellRect(leftCol_, row).IsEmpty()) break;
    paintRow(row);
  }
}

void StringGrid::MouseDown(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  int column = 0, row = 0;
  if (MouseToCell(p.x(), p.y(), column, row) && row >= 1) {
    SetRow(row);
    if (onClick) onClick();
  }
  if (onMouseDown) onMouseDown(event->button(), p.x(), p.y());
}

void StringGrid::mousePressEvent(QMouseEvent* event) { MouseDown(event); }

void StringGrid::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (onMouseUp) onMouseUp(event->button(), p.x(), p.y());
}

// The desktop grid sees a press and then the double click; Qt delivers only the latter.
void StringGrid::mouseDoubleClickEvent(QMouseEvent* event) {
  MouseDown(event);
  if (onDblClick) onDblClick();
}

void StringGrid::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  UpdateScrollBars();
}

void StringGrid::scrollContentsBy(int, int) {
  topRow_ = 1 + verticalScrollBar()->value();
  leftCol_ = horizontalScrollBar()->value();
  viewport()->update();
}

void StringGrid::UpdateScrollBars() {
  const int pitch = kRowHeight + kLineWidth;
  int visibleRows = viewport()->height() / pitch - 1;
  if (visibleRows < 1) visibleRows = 1;
  int dataRows = RowCount() - 1;
  verticalScrollBar()->setRange(0, dataRows > visibleRows ? dataRows - visibleRows : 0);
  verticalScrollBar()->setPageStep(visibleRows);
  int total = 0;
  for (int w : widths_) total += w + kLineWidth;
  // Scroll by whole columns until the last one fits.
  int lastLeft = 0, width = total;
  while (lastLeft < ColCount() - 1 && width > viewport()->width())
    width -= widths_[size_t(lastLeft++)] + kLineWidth;
  horizontalScrollBar()->setRange(0, lastLeft);
  horizontalScrollBar()->setPageStep(1);
  topRow_ = 1 + verticalScrollBar()->value();
  leftCol_ = horizontalScrollBar()->value();
}
