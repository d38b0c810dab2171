// Layout, scale and the texts the chart and the cursors write, through a recording canvas.
#include <gtest/gtest.h>

#include <algorithm>

#include "ecg/NumberText.h"
#include "tests/ecg/RecordingCanvas.h"
#include "tests/ecg/StudyFixtures.h"

namespace {

TEST(Prepare, LaysOutTwoColumnsAndScales) {
  auto study = MakeStudy(14, 5000, 500.0f, RampValue);
  TWaveform& waveform = *study->waveforms[0];
  waveform.redX = waveform.greenX = 9;
  waveform.Prepare(1008, 40.0f);
  EXPECT_EQ(waveform.redX, 0);
  EXPECT_EQ(waveform.greenX, 0);
  const int expectedY[14] = {190, 280, 370, 460, 550, 640, 190, 280, 370, 460, 550, 640, 730, 820};
  for (int i = 0; i < 14; ++i) {
    const TChannel& channel = *waveform.channels[i];
    EXPECT_EQ(channel.x, i < 6 ? 0 : 504) << i;
    EXPECT_EQ(channel.baselineY, expectedY[i]) << i;
    EXPECT_FLOAT_EQ(channel.samplesPerPixel, 5.0f);
    ASSERT_EQ(channel.samples.size(), 5000u);
    EXPECT_EQ(channel.samples[123], RampValue(i, 123));
  }
}

struct UnitsCase {
  const char* units;
  float sensitivity;
  float unitsPerPixel;
  const char* label;
};

class SetScale : public ::testing::TestWithParam<UnitsCase> {};

TEST_P(SetScale, UnitsPickScaleAndSuffix) {
  TChannel channel;
  channel.sourceName = "II";
  channel.units = GetParam().units;
  channel.sensitivity = GetParam().sensitivity;
  channel.SetScale(100, 500.0f, 40.0f, 0, 190);
  EXPECT_FLOAT_EQ(channel.unitsPerPixel, GetParam().unitsPerPixel);
  EXPECT_EQ(channel.label, GetParam().label);
}

INSTANTIATE_TEST_SUITE_P(
    Units, SetScale,
    ::testing::Values(UnitsCase{"uV", 5.0f, 1000.0f / 200.0f, "II 0.5 mV/div"},
                      UnitsCase{"mV", 0.5f, 1.0f / 20.0f, "II 0.5 mV/div"},
                      UnitsCase{"mmHg", 1.0f, 100.0f / 40.0f, "II 50 mm Hg/div"},
                      UnitsCase{"MV", 1.0f, 1.0f, ""}, UnitsCase{"", 1.0f, 1.0f, ""}));

TEST(SetScale, ZeroSensitivityDrawsOnTheBaseline) {
  auto study = MakeStudy(
      1, 100, 500.0f, [](int, int) { return int16_t{500}; }, "uV", 0.0f);
  TWaveform& waveform = *study->waveforms[0];
  waveform.Prepare(1008, 40.0f);
  RecordingCanvas canvas;
  waveform.channels[0]->Draw(canvas, 1008, 0.0f);
  for (size_t i = 5; i < canvas.lines.size(); ++i) EXPECT_EQ(canvas.lines[i].y2, 190);
}

TEST(Trace, StartsAtBaselineAndFollowsScrollOffset) {
  // uV, sensitivity 5: a stored 200 is 1 mV, 40 px above the baseline.
  auto study = MakeStudy(
      1, 10000, 500.0f, [](int, int k) { return int16_t(k == 2500 ? 200 : 0); }, "uV", 5.0f);
  TWaveform& waveform = *study->waveforms[0];
  waveform.Prepare(1008, 40.0f);
  RecordingCanvas canvas;
  waveform.DrawChannels(canvas, 1008, 500);  // 500 px = 5000 ms = sample 2500
  ASSERT_GE(canvas.lines.size(), 6u);
  const LineOp& first = canvas.lines[5];  // after the five pulse segments
  EXPECT_EQ(first.x2, 30);
  EXPECT_EQ(first.y2, 150);
  // Unscrolled, sample 0 counts as outside: the first point sits on the baseline.
  RecordingCanvas unscrolled;
  waveform.DrawChannels(unscrolled, 1008, 0);
  EXPECT_EQ(unscrolled.lines[5].y2, 190);
  // trunc(958 x 5 x 0.5) = 2395 points.
  EXPECT_EQ(unscrolled.lines.size(), 5u + 2395u);
}

// The sensitivity correction factor scales the drawn trace with the sensitivity: a stored 200 at
// 5 uV a unit is 1 mV, 40 pixels above the baseline with a factor of 1, 80 with 2 and 20 with 0.5.
TEST(Trace, HeightFollowsTheSensitivityCorrectionFactor) {
  auto study = MakeStudy(
      3, 10000, 500.0f, [](int, int k) { return int16_t(k == 2500 ? 200 : 0); }, "uV", 5.0f);
  TWaveform& waveform = *study->waveforms[0];
  const float corrections[] = {1.0f, 2.0f, 0.5f};
  for (int i = 0; i < 3; ++i) waveform.channels[i]->correction = corrections[i];
  waveform.Prepare(1008, 40.0f);
  const int heights[] = {40, 80, 20};
  for (int i = 0; i < 3; ++i) {
    const TChannel& channel = *waveform.channels[i];
    RecordingCanvas canvas;
    channel.Draw(canvas, 1008, 5000.0f);  // 5000 ms: the trace opens at sample 2500
    ASSERT_GT(canvas.lines.size(), 6u);
    int top = channel.baselineY;
    for (size_t k = 5; k < canvas.lines.size(); ++k) top = std::min(top, canvas.lines[k].y2);
    EXPECT_EQ(channel.baselineY - top, heights[i]) << "correction " << corrections[i];
    EXPECT_EQ(canvas.lines.back().y2, channel.baselineY);
  }
}

TEST(Trace, PulseIsOneMillivoltHigh) {
  auto study = MakeStudy(1, 10, 500.0f, RampValue);
  TWaveform& waveform = *study->waveforms[0];
  waveform.Prepare(1008, 40.0f);
  RecordingCanvas canvas;
  waveform.channels[0]->Draw(canvas, 1008, 0.0f);
  const int expected[5][4] = {{0, 190, 7, 190},
                              {7, 190, 7, 150},
                              {7, 150, 22, 150},
                              {22, 150, 22, 190},
                              {22, 190, 30, 190}};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(canvas.lines[i].x1, expected[i][0]);
    EXPECT_EQ(canvas.lines[i].y1, expected[i][1]);
    EXPECT_EQ(canvas.lines[i].x2, expected[i][2]);
    EXPECT_EQ(canvas.lines[i].y2, expected[i][3]);
  }
  ASSERT_EQ(canvas.texts.size(), 1u);
  EXPECT_EQ(canvas.texts[0].text, "Lead 0 0.5 mV/div");
  EXPECT_EQ(canvas.texts[0].x, 5);
  EXPECT_EQ(canvas.texts[0].y, 120);
}

TEST(Draw, HeaderTexts) {
  auto study = MakeStudy(12, 100, 500.0f, RampValue);
  study->studyDate = "20130125";
  study->studyTime = "105919";
  study->patientID = "642341";
  study->waveforms[0]->Prepare(1008, 40.0f);
  RecordingCanvas canvas;
  study->Draw(canvas, 1008, 672, 20.0f, 0, false, false);
  EXPECT_EQ(canvas.TextsAt(10, 10), std::vector<std::string>{"20130125 105919"});
  EXPECT_EQ(canvas.TextsAt(30, 30), std::vector<std::string>{"Name: Anonymous"});
  EXPECT_EQ(canvas.TextsAt(30, 50), std::vector<std::string>{"ID: 642341"});
  EXPECT_EQ(canvas.TextsAt(150, 80), std::vector<std::string>{"200 mS/div"});
  const int bannerWidth = 7 * static_cast<int>(std::string(kChartBanner).size());
  EXPECT_EQ(canvas.TextsAt((1008 - bannerWidth) / 2, 5), std::vector<std::string>{"Trevalind ECG"});
  // 34 silver lines across (0..660), 51 down (0..1000), then grey: 17 across, 11 down.
  EXPECT_EQ(std::count_if(canvas.lines.begin(), canvas.lines.end(),
                          [](const LineOp& l) { return l.colour == kSilver; }),
            34 + 51);
  EXPECT_EQ(std::count_if(canvas.lines.begin(), canvas.lines.end(),
                          [](const LineOp& l) { return l.colour == kGrey; }),
            17 + 11);
}

// Cursor readouts for (W, scroll, redX, greenX): which texts land where.
struct ReadoutCase {
  const char* name;
  int channels;
  int scroll;
  int redX, greenX;
  const char* redTime;                       // at (250,80), or null
  const char* greenTime;                     // at (320,80), or null
  std::vector<std::string> diff;             // texts at (390,80), in order
  int firstReadoutChannel, readoutChannels;  // channels with a value at x+120 or x+200
  int differenceChannels;                    // channels with a value at x+280
};

class CursorReadouts : public ::testing::TestWithParam<ReadoutCase> {};

TEST_P(CursorReadouts, TextsAndColumns) {
  const ReadoutCase& c = GetParam();
  auto study = MakeStudy(c.channels, 10000, 1000.0f, RampValue);
  TWaveform& waveform = *study->waveforms[0];
  waveform.Prepare(1008, 40.0f);
  waveform.redX = c.redX;
  waveform.greenX = c.greenX;
  RecordingCanvas canvas;
  study->Draw(canvas, 1008, 672, 20.0f, c.scroll, c.redX != 0, c.greenX != 0);
  auto single = [](const char* t) {
    return t ? std::vector<std::string>{t} : std::vector<std::string>{};
  };
  EXPECT_EQ(canvas.TextsAt(250, 80), single(c.redTime));
  EXPECT_EQ(canvas.TextsAt(320, 80), single(c.greenTime));
  EXPECT_EQ(canvas.TextsAt(390, 80), c.diff);
  int readouts = 0, differences = 0, first = -1;
  for (int i = 0; i < c.channels; ++i) {
    const TChannel& ch = *waveform.channels[i];
    const int y = ch.baselineY - 70;
    const bool has =
        !canvas.TextsAt(ch.x + 120, y).empty() || !canvas.TextsAt(ch.x + 200, y).empty();
    if (has && first < 0) first = i;
    readouts += has;
    differences += !canvas.TextsAt(ch.x + 280, y).empty();
  }
  EXPECT_EQ(readouts, c.readoutChannels);
  if (c.readoutChannels > 0) {
    EXPECT_EQ(first, c.firstReadoutChannel);
  }
  EXPECT_EQ(differences, c.differenceChannels);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CursorReadouts,
    ::testing::Values(
        ReadoutCase{"StartPositions",
                    12,
                    0,
                    252,
                    277,
                    "2220mS   ",
                    "2470mS   ",
                    {"Diff: - - - - - - - - ", "Diff: -250mS   "},
                    0,
                    6,
                    6},
        ReadoutCase{"RightColumnScrolled", 12, 20, 600, 0, "860mS   ", nullptr, {}, 6, 6, 0},
        ReadoutCase{"MiddleIsLeft", 12, 0, 504, 0, "4740mS   ", nullptr, {}, 0, 6, 0},
        ReadoutCase{"DifferentColumns",
                    12,
                    0,
                    504,
                    600,
                    "4740mS   ",
                    "660mS   ",
                    {"Diff: - - - - - - - - "},
                    0,
                    12,
                    0},
        ReadoutCase{"FourteenChannelsRight", 14, 0, 700, 0, "1660mS   ", nullptr, {}, 6, 8, 0},
        ReadoutCase{"BothRight",
                    12,
                    0,
                    700,
                    650,
                    "1660mS   ",
                    "1160mS   ",
                    {"Diff: - - - - - - - - ", "Diff: 500mS   "},
                    6,
                    6,
                    6}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CursorReadouts, AmplitudeTexts) {
  // uV, sensitivity 2.5: a stored 400 is 1 mV.
  auto study = MakeStudy(
      12, 10000, 1000.0f, [](int, int k) { return int16_t(k == 2220 ? 400 : 0); }, "uV", 2.5f);
  TWaveform& waveform = *study->waveforms[0];
  waveform.Prepare(1008, 40.0f);
  waveform.redX = 252;   // 2220 ms = index 2220
  waveform.greenX = 30;  // 0 ms = index 0, which counts as outside
  RecordingCanvas canvas;
  waveform.DrawRedCursor(canvas, 1008, 0);
  waveform.DrawGreenCursor(canvas, 1008, 0);
  waveform.DrawCursorDifference(canvas, 1008, 0);
  EXPECT_EQ(canvas.TextsAt(120, 120), std::vector<std::string>{"1.0000 mV  "});
  EXPECT_EQ(canvas.TextsAt(200, 120), std::vector<std::string>{".0000 mV  "});
  EXPECT_TRUE(canvas.TextsAt(280, 120).empty());  // the green index is outside
  const auto red = std::find_if(canvas.texts.begin(), canvas.texts.end(),
                                [](const TextOp& t) { return t.x == 250; });
  EXPECT_EQ(red->colour, kRed);
}

TEST(CursorReadouts, OtherUnitsShowTheScaledProduct) {
  auto study = MakeStudy(
      1, 100, 1000.0f, [](int, int) { return int16_t{4}; }, "mmHg", 0.5f);
  study->waveforms[0]->Prepare(1008, 40.0f);
  RecordingCanvas canvas;
  study->waveforms[0]->channels[0]->DrawRedValue(canvas, 50.0f);
  EXPECT_EQ(canvas.TextsAt(120, 120), std::vector<std::string>{"2.0000 mV  "});
}

TEST(CursorLine, NotXorWidthTwoDownToImageWidth) {
  auto study = MakeStudy(12, 100, 1000.0f, RampValue);
  TWaveform& waveform = *study->waveforms[0];
  waveform.Prepare(1008, 40.0f);
  waveform.redX = 252;
  RecordingCanvas canvas;
  waveform.DrawRedCursor(canvas, 1008, 0);
  ASSERT_EQ(canvas.lines.size(), 1u);
  const LineOp& line = canvas.lines[0];
  EXPECT_EQ(line.mode, PenMode::NotXor);
  EXPECT_EQ(line.width, 2);
  EXPECT_EQ(line.colour, kRed);
  EXPECT_EQ(line.y1, 100);
  EXPECT_EQ(line.y2, 1008);
  EXPECT_EQ(canvas.mode, PenMode::Copy);
  EXPECT_EQ(canvas.width, 1);
  EXPECT_EQ(canvas.pen, kBlack);
  EXPECT_EQ(canvas.fontColour, kBlack);
}

}  // namespace
