#include "ecg/window/Printing.h"

#include <QPainter>

int StretchBitmapToCanvas(QPainter& painter, int x, int y, int w, int h, const QImage& image) {
  if (!painter.isActive()) return 1;
  if (image.isNull() || image.width() <= 0 || image.height() <= 0) return 2;
  painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
  painter.drawImage(QRect(x, y, w, h), image);
  return 0;
}

int PrintChart(QPainter& painter, int pageWidth, int pageHeight, const QImage& image) {
  if (image.isNull() || image.width() <= 0) return 2;
  // The page height the chart takes keeps its proportions: the product first (in 64 bits, so a
  // large page cannot overflow it), then the quotient truncated.
  const int64_t product = static_cast<int64_t>(pageWidth) * image.height();
  const int h = static_cast<int>(product / image.width());
  return StretchBitmapToCanvas(painter, 0, (pageHeight - h) / 2, pageWidth, h, image);
}

int PrintChart(QPaintDevice& page, const QImage& image) {
  QPainter painter(&page);
  return PrintChart(painter, page.width(), page.height(), image);
}
