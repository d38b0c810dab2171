// A string grid in the manner of the desktop class library's: cells of text, each with a 32-bit
// object slot beside it, one fixed header row that stays put while the rows below it scroll,
// rows 24 pixels high and 1-pixel lines, every cell drawn by its owner.
//
// Geometry (client pixels): column c starts where column c-1's line ends; a cell rectangle is
// [left, right) x [top, bottom) without its line; the line after a cell belongs to that cell for
// hit testing. Accessors are bounds-safe because handlers may run re-entrantly while a long
// operation processes events: a set out of range does nothing, a get out of range gives "" or 0.
//
// Repainting: a change repaints the viewport only where it shows (a cell written below the
// visible rows repaints nothing); changes made between BeginUpdate and the matching EndUpdate
// repaint once, when the outermost EndUpdate runs.
#pragma once

#include <QAbstractScrollArea>
#include <QString>
#include <QStringView>
#include <cstdint>
#include <functional>
#include <vector>

class QPainter;

// Desktop-style rectangle: left and top inside, right and bottom outside.
struct GridRect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool IsEmpty() const { return right <= left || bottom <= top; }
  bool Contains(int x, int y) const { return x >= left && x < right && y >= top && y < bottom; }
  bool operator==(const GridRect&) const = default;
};

struct GridRow {
  std::vector<QString> texts;
  std::vector<uint32_t> objects;
};

using GridTextLess = std::function<bool(QStringView, QStringView)>;
// The order of one column's texts: a permutation of their indexes, the text that is to stand
// first named first. Given the whole column at once, an order can prepare each text once (a
// collation key) instead of at every comparison.
using GridOrder = std::function<std::vector<size_t>(const std::vector<QStringView>& texts)>;

// Reorders rows[first..] as `order` puts their texts in `column`. Rows move whole; no text is
// copied. Every row from `first` on must have a text in `column`.
void SortRows(std::vector<GridRow>& rows, size_t first, int column, const GridOrder& order);

class StringGrid : public QAbstractScrollArea {
  Q_OBJECT
 public:
  static constexpr int kRowHeight = 24;
  static constexpr int kLineWidth = 1;

  StringGrid(int columns, int rows, QWidget* parent = nullptr);

  int ColCount() const { return int(widths_.size()); }
  int RowCount() const { return int(rows_.size()); }
  // Shrinking discards the rows beyond the new count with their slots; new rows are empty.
  void SetRowCount(int rows);
  int ColWidth(int column) const;
  void SetColWidth(int column, int width);

  // The text by reference: valid until the grid's rows next change.
  const QString& Cell(int column, int row) const;
  void SetCell(int column, int row, const QString& text);
  uint32_t Object(int column, int row) const;
  void SetObject(int column, int row, uint32_t slot);
  GridRow RowData(int row) const;
  void SetRowData(int row, const GridRow& data);
  void EmptyRow(int row);  // texts and slots
  // SortRows on the rows from `firstRow` to the last (texts and slots); repaints once.
  void SortRows(int firstRow, int column, const GridOrder& order);
  // Replaces the rows from `firstRow` on by `rows`, moved in; each is made ColCount wide. Gives
  // the rows replaced, so the caller can choose where their texts are freed.
  std::vector<GridRow> SetRows(int firstRow, std::vector<GridRow> rows);

  void BeginUpdate();
  void EndUpdate();

  int Row() const { return currentRow_; }  // the current row, 1 or more while data rows exist
  void SetRow(int row);
  int TopRow() const { return topRow_; }

  // The cell's rectangle without its line; empty when the cell is out of view.
  GridRect CellRect(int column, int row) const;
  // The cell under a client point; false when the point lies in no cell.
  bool MouseToCell(int x, int y, int& column, int& row) const;

  // Owner drawing: the painter's brush is the colour for the cell's state (highlight when
  // selected, button colour for the header, base otherwise); the handler fills and draws.
  std::function<void(int column, int row, const GridRect& rect, QPainter& painter)> onDrawCell;
  std::function<void(Qt::MouseButton button, int x, int y)> onMouseDown, onMouseUp;
  std::function<void()> onClick, onDblClick;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  bool InRange(int column, int row) const;
  int ColumnLeft(int column) const;  // -1 when left of the first visible column
  void UpdateScrollBars();
  void MouseDown(QMouseEvent* event);
  GridRow BlankRow() const;
  // Brings the current and top row back into the rows; true when one of them moved.
  bool KeepRowsInRange();
  bool RowShown(int row) const;
  // Something changed: repaint (where `row` shows, or everything for -1), now or at EndUpdate;
  // `layout` when the scroll bars must follow a new row count or width.
  void Changed(int row, bool layout);

  std::vector<int> widths_;
  std::vector<GridRow> rows_;
  int currentRow_ = 1;
  int topRow_ = 1;   // first visible row below the header
  int leftCol_ = 0;  // first visible column
  int updateDepth_ = 0;
  bool pendingRepaint_ = false, pendingLayout_ = false;
};

// BeginUpdate for the life of the object, EndUpdate at its end.
class GridUpdate {
 public:
  explicit GridUpdate(StringGrid& grid) : grid_(grid) { grid_.BeginUpdate(); }
  ~GridUpdate() { grid_.EndUpdate(); }
  GridUpdate(const GridUpdate&) = delete;
  GridUpdate& operator=(const GridUpdate&) = delete;

 private:
  StringGrid& grid_;
};
