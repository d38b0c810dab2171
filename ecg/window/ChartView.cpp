#include "ecg/window/ChartView.h"

#include <QMouseEvent>
#include <QPainter>

ChartView::ChartView(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void ChartView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), palette().window());
  if (!image.isNull()) painter.drawImage(QPoint(0, 0), image);
}

void ChartView::mousePressEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (onMouseDown) onMouseDown(at.x(), at.y());
}

void ChartView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (onMouseMove) onMouseMove(at.x(), at.y());
}

void ChartView::mouseReleaseEvent(QMouseEvent*) {
  if (onMouseUp) onMouseUp();
}

void ChartView::resizeEvent(QResizeEvent*) {
  if (onResize) onResize();
}
