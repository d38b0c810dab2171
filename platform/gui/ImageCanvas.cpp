#include "platform/gui/ImageCanvas.h"

#include <QFontDatabase>
#include <QPainter>
#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "platform/gui/Cp1252.h"

namespace {

QColor ToQColor(Rgb c) { return QColor(c.r, c.g, c.b); }

bool Drawable(const QImage* image) { return image != nullptr && !image->isNull(); }

bool Is32Bit(const QImage& image) {
  const QImage::Format format = image.format();
  return format == QImage::Format_RGB32 || format == QImage::Format_ARGB32 ||
         format == QImage::Format_ARGB32_Premultiplied;
}

// floor(a / b) for b > 0, in 128 bits: offsets along a line of int32 end points reach 2^65.
int64_t FloorDiv(__int128 a, __int128 b) {
  __int128 q = a / b;
  if (a % b != 0 && a < 0) --q;
  return static_cast<int64_t>(q);
}

// The steps i (0 <= i < length) of a walk from `start` by `step` (+1 or -1) that land in
// [0, size): returns false when there are none.
bool VisibleSteps(int64_t start, int step, int64_t length, int64_t size, int64_t& first,
                  int64_t& last) {
  if (step > 0) {
    first = std::max<int64_t>(0, -start);
    last = std::min<int64_t>(length - 1, size - 1 - start);
  } else {
    first = std::max<int64_t>(0, start - (size - 1));
    last = std::min<int64_t>(length - 1, start);
  }
  return first <= last;
}

// Sets `field`, dropping what was built from it (a pen, a font) when the value changes.
template <typename T, typename Built>
void Change(T& field, const T& value, std::optional<Built>& built) {
  if (field == value) return;
  field = value;
  built.reset();
}

// Packaged faces that take the place of a missing family with about its widths. The chart's
// header, labels and readouts stand at fixed points, and the study grid's columns have fixed
// widths, laid out for Tahoma at 96 dpi; the wider system sans makes them run into each other
// or cuts them short. DejaVu Sans Condensed (fonts-dejavu-extra) is
// within a pixel or two of Tahoma on those texts and, unlike the metric clone of Tahoma that
// Wine ships, keeps two-pixel bold stems without antialiasing at the chart's 13 pixels.
struct FontStandIn {
  const char* requested;
  const char* face;
};
constexpr FontStandIn kFontStandIns[] = {{"Tahoma", "DejaVu Sans Condensed"}};

}  // namespace

QString ResolveFontFamily(const std::string& requested) {
  const QString family = QString::fromStdString(requested);
  const QStringList installed = QFontDatabase::families();
  if (installed.contains(family, Qt::CaseInsensitive)) return family;
  for (const FontStandIn& standIn : kFontStandIns) {
    if (family.compare(QLatin1String(standIn.requested), Qt::CaseInsensitive) == 0 &&
        installed.contains(QLatin1String(standIn.face), Qt::CaseInsensitive))
      return QLatin1String(standIn.face);
  }
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

void ImageCanvas::SetPenColor(Rgb colour) { Change(penColour_, colour, pen_); }

void ImageCanvas::SetPenWidth(int width) { Change(penWidth_, width, pen_); }

void ImageCanvas::SetFontName(const std::string& name) { Change(fontName_, name, font_); }

void ImageCanvas::SetFontSize(int points) { Change(fontPixels_, PointsToPixels(points), font_); }

void ImageCanvas::SetFontBold(bool bold) { Change(fontBold_, bold, font_); }

const QFont& ImageCanvas::CurrentFont() {
  if (!font_) {
    font_ = MakePixelFont(fontName_, fontPixels_, fontBold_);
    metrics_.emplace(*font_);
  }
  return *font_;
}

const QFontMetrics& ImageCanvas::CurrentMetrics() {
  CurrentFont();
  return *metrics_;
}

const QPen& ImageCanvas::CurrentPen() {
  // A flat cap leaves out the end pixel of a wide line drawn downwards or rightwards.
  if (!pen_) pen_.emplace(ToQColor(penColour_), std::max(penWidth_, 1), Qt::SolidLine, Qt::FlatCap);
  return *pen_;
}

void ImageCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  if (!Drawable(image_) || x2 <= x1 || y2 <= y1) return;
  QPainter painter(image_);
  painter.fillRect(QRect(QPoint(x1, y1), QPoint(x2 - 1, y2 - 1)), Qt::white);
}

void ImageCanvas::LineTo(int x, int y) {
  const QPoint from = position_;
  position_ = QPoint(x, y);
  // A zero-length line draws nothing (Qt would paint one pixel).
  if (!Drawable(image_) || from == position_) return;
  if (penWidth_ <= 1 && Is32Bit(*image_)) {
    DrawThinLine(from, position_);
    return;
  }
  QPainter painter(image_);
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(CurrentPen());
  if (penMode_ == PenMode::NotXor) {
    painter.setCompositionMode(QPainter::RasterOp_NotSourceXorDestination);
  }
  painter.drawLine(from, position_);
}

void ImageCanvas::DrawThinLine(QPoint from, QPoint to) {
  // Walk the major axis from the start pixel, leaving out the end pixel; the minor coordinate
  // of step i is the nearest to the ideal line, halves rounded away from the start. Only the
  // steps inside the image are visited, so far-off end points cost nothing.
  const int64_t dx = static_cast<int64_t>(to.x()) - from.x();
  const int64_t dy = static_cast<int64_t>(to.y()) - from.y();
  const bool xMajor = std::llabs(dx) >= std::llabs(dy);
  const int64_t major = xMajor ? dx : dy, minor = xMajor ? dy : dx;
  const int64_t length = std::llabs(major);
  const int majorStep = major > 0 ? 1 : -1, minorStep = minor >= 0 ? 1 : -1;
  const int64_t majorStart = xMajor ? from.x() : from.y();
  const int64_t minorStart = xMajor ? from.y() : from.x();
  const int64_t majorSize = xMajor ? image_->width() : image_->height();
  const int64_t minorSize = xMajor ? image_->height() : image_->width();
  int64_t first = 0, last = 0;
  if (!VisibleSteps(majorStart, majorStep, length, majorSize, first, last)) return;

  const uint32_t colour =
      0xFF000000u | (uint32_t{penColour_.r} << 16) | (uint32_t{penColour_.g} << 8) | penColour_.b;
  uchar* bits = image_->bits();
  const qsizetype stride = image_->bytesPerLine();
  const int64_t absMinor = std::llabs(minor);
  // Within 2^30 the products fit 64 bits; farther end points take the 128-bit division.
  const bool short64 = length < (int64_t{1} << 30) && absMinor < (int64_t{1} << 30);
  for (int64_t i = first; i <= last; ++i) {
    const int64_t offset = short64 ? (2 * absMinor * i + length) / (2 * length)
                                   : FloorDiv(2 * static_cast<__int128>(absMinor) * i + length,
                                              2 * static_cast<__int128>(length));
    const int64_t m = minorStart + minorStep * offset;
    if (m < 0 || m >= minorSize) continue;
    const int64_t M = majorStart + majorStep * i;
    const int64_t px = xMajor ? M : m, py = xMajor ? m : M;
    auto* pixel = reinterpret_cast<uint32_t*>(bits + py * stride) + px;
    // Not-xor: dst = ~(src ^ dst) on the colour, the alpha byte kept.
    *pixel = penMode_ == PenMode::NotXor ? (*pixel & 0xFF000000u) | (~(colour ^ *pixel) & 0xFFFFFFu)
                                         : colour;
  }
}

void ImageCanvas::TextOut(int x, int y, const std::string& text) {
  const QString unicode = FromCp1252(text);
  position_ = QPoint(x + CurrentMetrics().horizontalAdvance(unicode), y);
  if (!Drawable(image_) || text.empty()) return;
  QPainter painter(image_);
  painter.setFont(CurrentFont());
  painter.setPen(ToQColor(fontColour_));
  painter.setBackgroundMode(Qt::OpaqueMode);
  painter.setBackground(Qt::white);
  painter.drawText(QPoint(x, y + CurrentMetrics().ascent()), unicode);
}

int ImageCanvas::TextWidth(const std::string& text) {
  return CurrentMetrics().horizontalAdvance(FromCp1252(text));
}
