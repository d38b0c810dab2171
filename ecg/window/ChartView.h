// The chart image widget: owns the persistent chart bitmap that handlers draw on outside paint
// events, paints it unscaled at (0,0), and hands its mouse events (in image pixels) to the
// window. It tracks the mouse with no button held, since the bottom panel follows the pointer.
#pragma once

#include <QImage>
#include <QWidget>
#include <functional>

class ChartView : public QWidget {
  Q_OBJECT

 public:
  explicit ChartView(QWidget* parent = nullptr);

  QImage image;
  std::function<void(int x, int y)> onMouseDown;
  std::function<void(int x, int y)> onMouseMove;
  std::function<void()> onMouseUp;
  std::function<void()> onResize;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
};
