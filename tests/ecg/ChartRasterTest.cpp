// Exact pixels of the chart on a 1008 x 672 image: grid, pulse, the not-xor cursor colours, and
// the canvas rules they rest on (end pixel left out, opaque text with trailing blanks).
#include <gtest/gtest.h>

#include <QImage>
#include <algorithm>
#include <tuple>
#include <vector>

#include "platform/gui/ImageCanvas.h"
#include "tests/ecg/QtTestApp.h"
#include "tests/ecg/StudyFixtures.h"

namespace {

constexpr int W = 1008, H = 672;

uint32_t Pixel(const QImage& image, int x, int y) { return image.pixel(x, y) & 0xFFFFFF; }

class ChartRaster : public ::testing::Test {
 protected:
  void SetUp() override {
    TestApp();
    image = QImage(W, H, QImage::Format_RGB32);
    image.fill(Qt::black);
  }
  QImage image;
};

TEST_F(ChartRaster, GridAndPulse) {
  auto study = MakeStudy(12, 10, 500.0f, [](int, int) { return int16_t{0}; });
  study->waveforms[0]->Prepare(W, 40.0f);
  ImageCanvas canvas(&image);
  study->Draw(canvas, W, H, 20.0f, 0, false, false);
  struct Expect {
    int x, y;
    uint32_t rgb;
  };
  const Expect expected[] = {
      {60, 5, 0xC0C0C0},
      {100, 5, 0x808080},
      {5, 20, 0xC0C0C0},
      {5, 40, 0x808080},
      {1007, 5, 0xFFFFFF},
      {5, 671, 0xFFFFFF},
      {1007, 671, 0xFFFFFF},  // no frame
      // channel 0's pulse: (0,190)-(7,190)-(7,150)-(22,150)-(22,190)-(30,190)
      {3, 190, 0x000000},
      {7, 190, 0x000000},
      {7, 170, 0x000000},
      {7, 151, 0x000000},
      {15, 150, 0x000000},
      {22, 170, 0x000000},
      {26, 190, 0x000000},
      {8, 170, 0xFFFFFF},
      {15, 149, 0xFFFFFF},
      // the trace of ten zeros: one pixel on the baseline at x = 30, nothing after x = 31
      {30, 190, 0x000000},
      {45, 190, 0xFFFFFF},
      {30, 191, 0xFFFFFF},
      // channel 6's pulse in the right column at x = 504
      {511, 170, 0x000000},
      {526, 170, 0x000000}};
  for (const Expect& e : expected) {
    EXPECT_EQ(Pixel(image, e.x, e.y), e.rgb) << e.x << "," << e.y;
  }
}

TEST_F(ChartRaster, LinesLeaveOutTheirEndPixel) {
  image.fill(Qt::white);
  ImageCanvas canvas(&image);
  canvas.MoveTo(10, 10);
  canvas.LineTo(20, 10);
  EXPECT_EQ(Pixel(image, 19, 10), 0u);
  EXPECT_EQ(Pixel(image, 20, 10), 0xFFFFFFu);
  canvas.MoveTo(50, 50);
  canvas.LineTo(50, 50);  // zero length: nothing
  EXPECT_EQ(Pixel(image, 50, 50), 0xFFFFFFu);
}

struct NotXorCase {
  Rgb pen;
  uint32_t under, result;
};

class NotXorColours : public ::testing::TestWithParam<NotXorCase> {};

TEST_P(NotXorColours, ColourOverBackgroundAndRestoredByASecondLine) {
  TestApp();
  QImage image(20, 20, QImage::Format_RGB32);
  image.fill(QColor::fromRgb(GetParam().under));
  ImageCanvas canvas(&image);
  canvas.SetPenColor(GetParam().pen);
  canvas.SetPenWidth(2);
  canvas.SetPenMode(PenMode::NotXor);
  canvas.MoveTo(10, 2);
  canvas.LineTo(10, 18);
  // width 2 at x covers columns x - 1 and x
  EXPECT_EQ(Pixel(image, 9, 10), GetParam().result);
  EXPECT_EQ(Pixel(image, 10, 10), GetParam().result);
  EXPECT_EQ(Pixel(image, 11, 10), GetParam().under);
  canvas.MoveTo(10, 2);
  canvas.LineTo(10, 18);
  EXPECT_EQ(Pixel(image, 9, 10), GetParam().under);
  EXPECT_EQ(Pixel(image, 10, 10), GetParam().under);
}

INSTANTIATE_TEST_SUITE_P(Table, NotXorColours,
                         ::testing::Values(NotXorCase{kRed, 0xFFFFFF, 0xFF0000},
                                           NotXorCase{kRed, 0xC0C0C0, 0xC03F3F},
                                           NotXorCase{kRed, 0x808080, 0x807F7F},
                                           NotXorCase{kRed, 0x000000, 0x00FFFF},
                                           NotXorCase{kGreen, 0xFFFFFF, 0x008000},
                                           NotXorCase{kGreen, 0xC0C0C0, 0x3FBF3F},
                                           NotXorCase{kGreen, 0x808080, 0x7FFF7F},
                                           NotXorCase{kGreen, 0x000000, 0xFF7FFF}));

TEST_F(ChartRaster, TextIsOpaqueWithItsTrailingBlanks) {
  image.fill(Qt::black);
  ImageCanvas canvas(&image);
  canvas.SetFontSize(10);
  const int plain = canvas.TextWidth("12");
  const int padded = canvas.TextWidth("12   ");
  EXPECT_GT(padded, plain);
  canvas.TextOut(100, 100, "12   ");
  // The blanks' box is painted white: the old black shows no more there.
  EXPECT_EQ(Pixel(image, 100 + padded - 1, 105), 0xFFFFFFu);
  EXPECT_EQ(Pixel(image, 100 + padded + 1, 105), 0u);
  EXPECT_EQ(canvas.position(), QPoint(100 + padded, 100));
}

TEST(FontSizes, PointsBecomePixelsAt96Dpi) {
  EXPECT_EQ(PointsToPixels(18), 24);
  EXPECT_EQ(PointsToPixels(10), 13);
  EXPECT_EQ(PointsToPixels(8), 11);
}

TEST_F(ChartRaster, CursorDrawnTwiceChangesOnlyReadoutBoxes) {
  auto study = MakeStudy(12, 10000, 1000.0f, RampValue);
  TWaveform& waveform = *study->waveforms[0];
  waveform.Prepare(W, 40.0f);
  ImageCanvas canvas(&image);
  study->Draw(canvas, W, H, 20.0f, 0, false, false);
  const QImage before = image.copy();
  waveform.redX = 252;
  waveform.DrawRedCursor(canvas, W, 0);
  EXPECT_EQ(Pixel(image, 252, 310), 0xFF0000u);  // red on white
  EXPECT_EQ(Pixel(image, 251, 310), 0xFF0000u);
  EXPECT_EQ(Pixel(image, 252, 300), 0xC03F3Fu);  // red on silver
  EXPECT_EQ(Pixel(image, 252, 99), Pixel(before, 252, 99));
  waveform.DrawRedCursor(canvas, W, 0);
  // Outside the readout rows (the time at y 80 and each lead's row) nothing changed.
  for (int y = 0; y < H; ++y) {
    const bool readoutRow = (y >= 80 && y < 100) || ((y - 120) % 90 >= 0 && (y - 120) % 90 < 20);
    if (readoutRow) continue;
    for (int x = 0; x < W; ++x) {
      ASSERT_EQ(Pixel(image, x, y), Pixel(before, x, y)) << x << "," << y;
    }
  }
}

TEST_F(ChartRaster, ThinNotXorLineDrawnTwiceRestores) {
  image.fill(QColor(0xC0, 0xC0, 0xC0));
  image.setPixel(12, 12, 0xFF000000);
  const QImage before = image.copy();
  ImageCanvas canvas(&image);
  canvas.SetPenColor(kRed);
  canvas.SetPenMode(PenMode::NotXor);
  canvas.MoveTo(20, 4);
  canvas.LineTo(4, 20);                        // through (12, 12)
  EXPECT_EQ(Pixel(image, 20, 4), 0xC03F3Fu);   // red on silver
  EXPECT_EQ(Pixel(image, 12, 12), 0x00FFFFu);  // red on black
  EXPECT_EQ(Pixel(image, 4, 20), 0xC0C0C0u);   // the end pixel is left out
  canvas.MoveTo(20, 4);
  canvas.LineTo(4, 20);
  EXPECT_EQ(image, before);
}

struct LineCase {
  const char* name;
  int x1, y1, x2, y2;
  std::vector<std::pair<int, int>> pixels;  // all the line sets, in any order
};

class ThinLines : public ::testing::TestWithParam<LineCase> {};

// Every direction starts at its first pixel and leaves out its end pixel (Qt's own stroker
// leaves out the pixel of the larger coordinate, which is the start of a line drawn leftwards
// or upwards).
TEST_P(ThinLines, FromTheStartPixelWithoutTheEndPixel) {
  TestApp();
  QImage image(20, 20, QImage::Format_RGB32);
  image.fill(Qt::white);
  ImageCanvas canvas(&image);
  const LineCase& c = GetParam();
  canvas.MoveTo(c.x1, c.y1);
  canvas.LineTo(c.x2, c.y2);
  std::vector<std::pair<int, int>> set;
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 20; ++x) {
      if (Pixel(image, x, y) == 0) set.emplace_back(x, y);
    }
  }
  auto expected = c.pixels;
  std::sort(expected.begin(), expected.end(), [](auto a, auto b) {
    return std::tie(a.second, a.first) < std::tie(b.second, b.first);
  });
  EXPECT_EQ(set, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Directions, ThinLines,
    ::testing::Values(
        LineCase{"Right", 5, 10, 8, 10, {{5, 10}, {6, 10}, {7, 10}}},
        LineCase{"Left", 8, 10, 5, 10, {{8, 10}, {7, 10}, {6, 10}}},
        LineCase{"Down", 10, 5, 10, 8, {{10, 5}, {10, 6}, {10, 7}}},
        LineCase{"Up", 10, 8, 10, 5, {{10, 8}, {10, 7}, {10, 6}}},
        LineCase{"UpOne", 10, 8, 10, 7, {{10, 8}}},
        LineCase{"DiagonalUp", 5, 10, 8, 7, {{5, 10}, {6, 9}, {7, 8}}},
        LineCase{"DiagonalDownLeft", 8, 7, 5, 10, {{8, 7}, {7, 8}, {6, 9}}},
        // a trace step: two pixels down per pixel across, halves rounded away from the start
        LineCase{"Steep", 4, 4, 5, 8, {{4, 4}, {4, 5}, {5, 6}, {5, 7}}},
        // far-off end points: only the part inside the image is visited
        LineCase{"ClippedFarDown", 3, 18, 3, 2147483647, {{3, 18}, {3, 19}}},
        LineCase{"ClippedFarUp", 3, 1, 3, -2147483647 - 1, {{3, 1}, {3, 0}}},
        LineCase{"Outside", -5, -5, -1, -30, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
