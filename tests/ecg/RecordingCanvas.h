// A Canvas that records what is drawn instead of painting, so layout and readout texts can be
// checked without fonts. Text widths are a fixed 7 pixels per character.
#pragma once

#include <string>
#include <vector>

#include "platform/Canvas.h"

struct TextOp {
  int x, y;
  std::string text;
  Rgb colour;
};

struct LineOp {
  int x1, y1, x2, y2;
  Rgb colour;
  int width;
  PenMode mode;
};

class RecordingCanvas : public Canvas {
 public:
  void SetPenColor(Rgb colour) override { pen = colour; }
  void SetPenWidth(int w) override { width = w; }
  void SetPenMode(PenMode m) override { mode = m; }
  void SetFontName(const std::string& name) override { fontName = name; }
  void SetFontSize(int points) override { fontPoints = points; }
  void SetFontBold(bool b) override { bold = b; }
  void SetFontColor(Rgb colour) override { fontColour = colour; }
  void Rectangle(int, int, int, int) override { ++rectangles; }
  void MoveTo(int x, int y) override { px = x, py = y; }
  void LineTo(int x, int y) override {
    lines.push_back({px, py, x, y, pen, width, mode});
    px = x, py = y;
  }
  void TextOut(int x, int y, const std::string& text) override {
    texts.push_back({x, y, text, fontColour});
  }
  int TextWidth(const std::string& text) override { return 7 * static_cast<int>(text.size()); }

  // The texts written at (x, y), in order.
  std::vector<std::string> TextsAt(int x, int y) const {
    std::vector<std::string> found;
    for (const TextOp& op : texts) {
      if (op.x == x && op.y == y) found.push_back(op.text);
    }
    return found;
  }

  std::vector<TextOp> texts;
  std::vector<LineOp> lines;
  int rectangles = 0;
  Rgb pen = kBlack, fontColour = kBlack;
  int width = 1;
  PenMode mode = PenMode::Copy;
  std::string fontName;
  int fontPoints = 8;
  bool bold = false;
  int px = 0, py = 0;
};
