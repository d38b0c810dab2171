// The drawing surface the chart code paints on. Its raster rules (a line leaves out its end
// pixel, text is drawn opaque with its trailing blanks, pen and font persist) are the ones the
// chart's pixel positions rest on, so every canvas must keep them. No toolkit type appears here,
// so code that only draws (ecg/) stays free of the GUI library; platform/gui/ImageCanvas paints a
// QImage with these rules.
//
// State (pen, font, current position) persists between calls and between events, the way a
// window's canvas keeps it: a handler may rely on the font and pen the last full redraw left.
#pragma once

#include <cstdint>
#include <string>

struct Rgb {
  uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

inline constexpr Rgb kBlack{0, 0, 0};
inline constexpr Rgb kWhite{255, 255, 255};
inline constexpr Rgb kSilver{192, 192, 192};
inline constexpr Rgb kGrey{128, 128, 128};
inline constexpr Rgb kRed{255, 0, 0};
inline constexpr Rgb kGreen{0, 128, 0};

enum class PenMode { Copy, NotXor };  // NotXor: dst = ~(src ^ dst), so drawing twice restores

// Point sizes become pixel sizes at 96 dots per inch, rounded: 18 -> 24, 10 -> 13, 8 -> 11.
constexpr int PointsToPixels(int points) { return (points * 96 + 36) / 72; }

class Canvas {
 public:
  virtual ~Canvas() = default;

  virtual void SetPenColor(Rgb colour) = 0;
  virtual void SetPenWidth(int width) = 0;
  virtual void SetPenMode(PenMode mode) = 0;
  virtual void SetFontName(const std::string& name) = 0;
  virtual void SetFontSize(int points) = 0;
  virtual void SetFontBold(bool bold) = 0;
  virtual void SetFontColor(Rgb colour) = 0;

  // Fills (x1,y1)-(x2,y2), right and bottom edges excluded, with the white brush; no outline.
  virtual void Rectangle(int x1, int y1, int x2, int y2) = 0;
  virtual void MoveTo(int x, int y) = 0;
  // A line from the current position to (x, y), the end pixel left out; a zero-length line
  // draws nothing. The current position becomes (x, y).
  virtual void LineTo(int x, int y) = 0;
  // Draws 8-bit (Windows-1252) text with its cell's top-left at (x, y), opaque on white,
  // trailing blanks included; the current position moves to (x + TextWidth(text), y).
  virtual void TextOut(int x, int y, const std::string& text) = 0;
  virtual int TextWidth(const std::string& text) = 0;
};
