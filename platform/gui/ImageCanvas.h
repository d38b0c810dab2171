// Canvas over a QImage with the desktop canvas's raster rules: no antialiasing, lines that leave
// out their end pixel, not-xor pens, opaque text on white with trailing blanks. A painter is
// opened per operation and never kept, so a copy of the image taken between events never sees
// a painter in progress.
#pragma once

#include <QFont>
#include <QImage>
#include <QPoint>
#include <string>

#include "platform/Canvas.h"

// "Tahoma" where the system has it, else the system's sans serif family.
QString ResolveFontFamily(const std::string& requested);
// A non-antialiased font of the given family, pixel size and weight.
QFont MakePixelFont(const std::string& name, int pixelSize, bool bold);

class ImageCanvas : public Canvas {
 public:
  explicit ImageCanvas(QImage* image) : image_(image) {}
  void SetImage(QImage* image) { image_ = image; }
  QImage* image() const { return image_; }

  void SetPenColor(Rgb colour) override { penColour_ = colour; }
  void SetPenWidth(int width) override { penWidth_ = width; }
  void SetPenMode(PenMode mode) override { penMode_ = mode; }
  void SetFontName(const std::string& name) override { fontName_ = name; }
  void SetFontSize(int points) override { fontPixels_ = PointsToPixels(points); }
  void SetFontBold(bool bold) override { fontBold_ = bold; }
  void SetFontColor(Rgb colour) override { fontColour_ = colour; }

  void Rectangle(int x1, int y1, int x2, int y2) override;
  void MoveTo(int x, int y) override { position_ = QPoint(x, y); }
  void LineTo(int x, int y) override;
  void TextOut(int x, int y, const std::string& text) override;
  int TextWidth(const std::string& text) override;

  QPoint position() const { return position_; }

 private:
  QFont CurrentFont() const { return MakePixelFont(fontName_, fontPixels_, fontBold_); }

  QImage* image_;
  Rgb penColour_ = kBlack;
  int penWidth_ = 1;
  PenMode penMode_ = PenMode::Copy;
  std::string fontName_ = "Tahoma";
  int fontPixels_ = PointsToPixels(8);
  bool fontBold_ = false;
  Rgb fontColour_ = kBlack;
  QPoint position_;
};
