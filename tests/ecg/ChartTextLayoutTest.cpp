// The chart's texts stand at fixed points laid out for Tahoma at 96 dpi: in the face the canvas
// takes for "Tahoma", no text's opaque box may run into another's, with the longest values a
// real recording gives.
#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QImage>
#include <algorithm>
#include <string>
#include <vector>

#include "platform/gui/ImageCanvas.h"
#include "tests/ecg/QtTestApp.h"
#include "tests/ecg/StudyFixtures.h"

namespace {

constexpr int W = 1008, H = 672;

struct TextBox {
  int left, top, right, bottom;
  std::string text;
  bool Intersects(const TextBox& o) const {
    return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
  }
};

// Paints through an ImageCanvas and records the box each text covers: from its top-left point
// as wide as the canvas measures it (trailing blanks included, since they are painted too) and
// as high as the current font's line.
class TextBoxCanvas : public Canvas {
 public:
  explicit TextBoxCanvas(QImage* image) : inner_(image) {}
  void SetPenColor(Rgb colour) override { inner_.SetPenColor(colour); }
  void SetPenWidth(int width) override { inner_.SetPenWidth(width); }
  void SetPenMode(PenMode mode) override { inner_.SetPenMode(mode); }
  void SetFontName(const std::string& name) override {
    name_ = name;
    inner_.SetFontName(name);
  }
  void SetFontSize(int points) override {
    points_ = points;
    inner_.SetFontSize(points);
  }
  void SetFontBold(bool bold) override {
    bold_ = bold;
    inner_.SetFontBold(bold);
  }
  void SetFontColor(Rgb colour) override { inner_.SetFontColor(colour); }
  void Rectangle(int x1, int y1, int x2, int y2) override { inner_.Rectangle(x1, y1, x2, y2); }
  void MoveTo(int x, int y) override { inner_.MoveTo(x, y); }
  void LineTo(int x, int y) override { inner_.LineTo(x, y); }
  void TextOut(int x, int y, const std::string& text) override {
    const QFontMetrics metrics(MakePixelFont(name_, PointsToPixels(points_), bold_));
    boxes.push_back({x, y, x + inner_.TextWidth(text), y + metrics.height(), text});
    inner_.TextOut(x, y, text);
  }
  int TextWidth(const std::string& text) override { return inner_.TextWidth(text); }

  std::vector<TextBox> boxes;

 private:
  ImageCanvas inner_;
  std::string name_ = "Tahoma";
  int points_ = 8;
  bool bold_ = false;
};

// 15 s at 1000 Hz, scrolled to the end of the image width, so both cursor times have five
// digits; at the red cursor's sample every lead reads -9.999 mV, at the green one the even
// leads too (differences .0000) and the odd ones 0 (differences -9.9990).
constexpr int kScroll = W, kRedSample = 14810, kGreenSample = 14580;

int16_t ReadoutValue(int channel, int k) {
  if (k == kRedSample) return -9999;
  if (k == kGreenSample) return channel % 2 == 0 ? -9999 : 0;
  return 0;
}

struct CursorCase {
  const char* name;
  int redX, greenX;  // both give the times of kRedSample and kGreenSample
};

bool IsLabel(const TextBox& box) {
  return box.text.size() > 6 && box.text.compare(box.text.size() - 6, 6, "mV/div") == 0;
}

class ChartTextLayout : public ::testing::TestWithParam<CursorCase> {};

TEST_P(ChartTextLayout, NoTextRunsIntoAnother) {
  TestApp();
  const QString face = ResolveFontFamily("Tahoma");
  EXPECT_TRUE(face == "Tahoma" || face == "DejaVu Sans Condensed") << face.toStdString();

  auto study = MakeStudy(12, 15000, 1000.0f, ReadoutValue, "uV", 1.0f);
  study->patientName = "WOJCIECHOWSKI-MAMMADOV^MAXWELL";  // 30 characters
  study->patientID = "PID-2024-0001234";
  study->birthDate = "19710123";
  study->sex = "M";
  study->studyDate = "20240301";
  study->studyTime = "235959.999999";
  const char* leads[] = {"I", "II", "III", "aVR", "aVL", "aVF", "V1", "V2", "V3", "V4", "V5", "V6"};
  TWaveform& waveform = *study->waveforms[0];
  for (size_t i = 0; i < waveform.channels.size(); ++i)
    waveform.channels[i]->sourceName = std::string("Lead ") + leads[i];
  waveform.Prepare(W, 40.0f);
  waveform.redX = GetParam().redX;
  waveform.greenX = GetParam().greenX;

  QImage image(W, H, QImage::Format_RGB32);
  TextBoxCanvas canvas(&image);
  study->Draw(canvas, W, H, 20.0f, kScroll, true, true);

  // What the test is about: the longest texts were drawn.
  std::vector<std::string> texts;
  for (const TextBox& box : canvas.boxes) texts.push_back(box.text);
  for (const char* expected : {"14810mS   ", "14580mS   ", "-9.9990 mV  ", "Diff: 230mS   ",
                               "Name: WOJCIECHOWSKI-MAMMADOV^MAXWELL", "DOB: 19710123"})
    EXPECT_NE(std::find(texts.begin(), texts.end(), expected), texts.end()) << expected;

  const std::vector<TextBox>& boxes = canvas.boxes;
  for (size_t i = 0; i < boxes.size(); ++i) {
    EXPECT_LE(boxes[i].right, W) << boxes[i].text;
    for (size_t j = i + 1; j < boxes.size(); ++j) {
      const TextBox &a = boxes[i], &b = boxes[j];
      // A readout written again at its own place overwrites itself by design.
      if (a.left == b.left && a.top == b.top) continue;
      if (IsLabel(a) && b.top == a.top && b.left == a.left - 5 + 120) {
        // The red readout stands 115 pixels right of a label; "Lead aVR 0.5 mV/div" is 120
        // pixels wide in Tahoma itself, so the readout covers a label's end in the layout as
        // laid out. The face may take no more than 2 pixels beyond that.
        EXPECT_LE(a.right - b.left, 5 + 2) << a.text << " in " << face.toStdString();
        continue;
      }
      EXPECT_FALSE(a.Intersects(b))
          << '"' << a.text << "\" at " << a.left << "," << a.top << "-" << a.right << ","
          << a.bottom << " and \"" << b.text << "\" at " << b.left << "," << b.top << "-" << b.right
          << "," << b.bottom << " in " << face.toStdString();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Columns, ChartTextLayout,
                         ::testing::Values(CursorCase{"Left", 503, 480},
                                           CursorCase{"Right", 1007, 984}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
