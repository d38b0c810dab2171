#include "platform/gui/ImageCanvas.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPainter>
#include <QPen>

#include "platform/gui/Cp1252.h"

namespace {

QColor ToQColor(Rgb c) { return QColor(c.r, c.g, c.b); }

bool Drawable(const QImage* image) { return image != nullptr && !image->isNull(); }

}  // namespace

QString ResolveFontFamily(const std::string& requested) {
  const QString family = QString::fromStdString(requested);
  if (QFontDatabase::families().contains(family, Qt::CaseInsensitive)) return family;
  return QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
}

QFont MakePixelFont(const std::string& name, int pixelSize, bool bold) {
  QFont font(ResolveFontFamily(name));
  font.setPixelSize(pixelSize);
  font.setBold(bold);
  font.setStyleStrategy(QFont::NoAntialias);
  font.setKerning(false);
  return font;
}

void ImageCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  if (!Drawable(image_) || x2 <= x1 || y2 <= y1) return;
  QPainter painter(image_);
  painter.fillRect(QRect(QPoint(x1, y1), QPoint(x2 - 1, y2 - 1)), Qt::white);
}

void ImageCanvas::LineTo(int x, int y) {
  const QPoint from = position_;
  position_ = QPoint(x, y);
  // Qt paints one pixel for a zero-length line; the desktop canvas paints none.
  if (!Drawable(image_) || from == position_) return;
  QPainter painter(image_);
  painter.setRenderHint(QPainter::Antialiasing, false);
  // A flat cap of width >= 1 leaves out the end pixel, as the desktop canvas does.
  QPen pen(ToQColor(penColour_), penWidth_ < 1 ? 1 : penWidth_, Qt::SolidLine, Qt::FlatCap);
  painter.setPen(pen);
  if (penMode_ == PenMode::NotXor) {
    painter.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
  }
  painter.drawLine(from, position_);
}

void ImageCanvas::TextOut(int x, int y, const std::string& text) {
  position_ = QPoint(x + TextWidth(text), y);
  if (!Drawable(image_) || text.empty()) return;
  QPainter painter(image_);
  const QFont font = CurrentFont();
  painter.setFont(font);
  painter.setPen(ToQColor(fontColour_));
  painter.setBackgroundMode(Qt::OpaqueMode);
  painter.setBackground(Qt::white);
  painter.drawText(QPoint(x, y + QFontMetrics(font).ascent()), FromCp1252(text));
}

int ImageCanvas::TextWidth(const std::string& text) {
  return QFontMetrics(CurrentFont()).horizontalAdvance(FromCp1252(text));
}
