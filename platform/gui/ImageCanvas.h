// Canvas over a QImage with the desktop canvas's raster rules: no antialiasing, lines that run
// from their start pixel and leave out their end pixel whatever their direction, not-xor pens,
// opaque text on white with trailing blanks. A painter is opened per operation and never kept,
// so a copy of the image taken between events never sees a painter in progress.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QImage>
#include <QPen>
#include <QPoint>
#include <optional>
#include <string>

#include "platform/Canvas.h"

// The requested family where the system has it; else a packaged face of about its widths
// ("DejaVu Sans Condensed" for "Tahoma") where that is installed; else the system's sans serif.
QString ResolveFontFamily(const std::string& requested);
// A non-antialiased font of the given family, pixel size and weight.
QFont MakePixelFont(const std::string& name, int pixelSize, bool bold);

class ImageCanvas : public Canvas {
 public:
  explicit ImageCanvas(QImage* image) : image_(image) {}
  void SetImage(QImage* image) { image_ = image; }
  QImage* image() const { return image_; }

  void SetPenColor(Rgb colour) override;
  void SetPenWidth(int width) override;
  void SetPenMode(PenMode mode) override { penMode_ = mode; }
  void SetFontName(const std::string& name) override;
  void SetFontSize(int points) override;
  void SetFontBold(bool bold) override;
  void SetFontColor(Rgb colour) override { fontColour_ = colour; }

  void Rectangle(int x1, int y1, int x2, int y2) override;
  void MoveTo(int x, int y) override { position_ = QPoint(x, y); }
  void LineTo(int x, int y) override;
  void TextOut(int x, int y, const std::string& text) override;
  int TextWidth(const std::string& text) override;

  QPoint position() const { return position_; }

 private:
  // Width-1 lines are set pixel by pixel: Qt's stroker leaves out the pixel of the larger
  // coordinate, not the end pixel, for lines drawn leftwards or upwards.
  void DrawThinLine(QPoint from, QPoint to);
  // The font of the current name, size and style, and its metrics, built once per change.
  const QFont& CurrentFont();
  const QFontMetrics& CurrentMetrics();
  // The pen of the current colour and width, built once per change.
  const QPen& CurrentPen();

  QImage* image_;
  Rgb penColour_ = kBlack;
  int penWidth_ = 1;
  PenMode penMode_ = PenMode::Copy;
  std::string fontName_ = "Tahoma";
  int fontPixels_ = PointsToPixels(8);
  bool fontBold_ = false;
  Rgb fontColour_ = kBlack;
  std::optional<QFont> font_;
  std::optional<QFontMetrics> metrics_;
  std::optional<QPen> pen_;
  QPoint position_;
};
