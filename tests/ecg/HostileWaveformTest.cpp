// Odd and hostile waveform modules through the whole path of opening a file: the sample ECG read
// from disk, one attribute changed in memory (or the file cut short), then Load, Prepare and
// full redraws with both cursors at many places and scrolls, on a real image and a recording
// canvas. Run under the sanitizers; memory stays bounded by the bytes the file holds.
#include <gtest/gtest.h>

#include <QImage>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "dicom/DcmObj.h"
#include "ecg/Study.h"
#include "platform/gui/ImageCanvas.h"
#include "tests/ecg/QtTestApp.h"
#include "tests/ecg/RecordingCanvas.h"

namespace {

constexpr int W = 1008, H = 672;
const std::string kSample = std::string(PYDICOM_TEST_FILES) + "/waveform_ecg.dcm";

bool Is(const DcmTag& tag, uint16_t group, uint16_t element) {
  return tag.group == group && tag.element == element;
}

// Runs `change` on every top-level element (group, element) of the flat sample; with `after`,
// only on those that follow an element (after.first, after.second) directly or within its
// sequence (the Code Value of a units sequence).
void ForEach(DcmObj& obj, uint16_t group, uint16_t element,
             const std::function<void(DcmTag&)>& change,
             std::pair<uint16_t, uint16_t> after = {0, 0}) {
  bool armed = after.first == 0;
  for (int i = 0; i < obj.Count(); ++i) {
    DcmTag* tag = obj.TagAt(i);
    if (tag == nullptr) continue;
    if (after.first != 0 && Is(*tag, after.first, after.second)) armed = true;
    if (armed && Is(*tag, group, element)) {
      change(*tag);
      if (after.first != 0) armed = false;
    }
  }
}

void SetText(DcmTag& tag, const std::string& text) {
  tag.SetData(text.data(), static_cast<uint32_t>(text.size()));
}

// A change that writes `text` into every element (group, element).
std::function<void(DcmObj&)> AllTexts(uint16_t group, uint16_t element, std::string text) {
  return [=](DcmObj& obj) { ForEach(obj, group, element, [&](DcmTag& t) { SetText(t, text); }); };
}

void SetU32(DcmTag& tag, uint32_t value) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  tag.SetData(bytes, 4);
}

void CutData(DcmObj& obj, uint32_t bytes) {
  bool done = false;
  ForEach(obj, 0x5400, 0x1010, [&](DcmTag& tag) {
    if (done) return;
    const std::vector<uint8_t> kept(tag.data.begin(), tag.data.begin() + bytes);
    tag.SetData(kept.data(), bytes);
    done = true;
  });
}

// Every (x, y) a text was written at, with the texts of the amplitude readouts.
std::vector<std::string> AmplitudeTexts(const RecordingCanvas& canvas) {
  std::vector<std::string> texts;
  for (const TextOp& op : canvas.texts) {
    if (op.text.size() > 5 && op.text.substr(op.text.size() - 5) == " mV  ") {
      texts.push_back(op.text);
    }
  }
  return texts;
}

// Draws the chart as the window does in many states; returns the recording of the first.
RecordingCanvas DrawEverywhere(TStudy& study) {
  TWaveform& waveform = *study.waveforms[0];
  QImage image(W, H, QImage::Format_RGB32);
  ImageCanvas canvas(&image);
  RecordingCanvas first;
  const std::pair<int, int> cursors[] = {{252, 277}, {600, 700},  {504, 505},
                                         {1, 1007},  {-50, 2000}, {0, 0}};
  bool recorded = false;
  for (int scroll : {0, 5, 1008}) {
    for (auto [red, green] : cursors) {
      waveform.redX = red;
      waveform.greenX = green;
      study.Draw(canvas, W, H, 20.0f, scroll, red != 0, green != 0);
      waveform.DrawRedCursor(canvas, W, scroll);
      waveform.DrawCursorDifference(canvas, W, scroll);
      if (!recorded) {
        study.Draw(first, W, H, 20.0f, scroll, true, true);
        recorded = true;
      }
    }
  }
  return first;
}

struct HostileCase {
  const char* name;
  std::function<void(DcmObj&)> change;
  std::function<void(const TWaveform&, const RecordingCanvas&)> check;
};

class HostileWaveforms : public ::testing::TestWithParam<HostileCase> {};

TEST_P(HostileWaveforms, OpenPrepareAndDrawStayBounded) {
  TestApp();
  DcmObj obj;
  ASSERT_TRUE(obj.Read(kSample));
  GetParam().change(obj);
  TStudy study;
  study.Load(obj);
  ASSERT_FALSE(study.waveforms.empty());
  TWaveform& waveform = *study.waveforms[0];
  waveform.Prepare(W, 40.0f);
  const size_t channels = waveform.channels.size();
  for (const auto& channel : waveform.channels) {
    // Never more values than the data holds, whatever the counts claim.
    EXPECT_LE(channel->samples.size(), waveform.dataLength / (2 * channels));
  }
  const RecordingCanvas recording = DrawEverywhere(study);
  GetParam().check(waveform, recording);
}

const auto kAllSamples = [](const TWaveform& w, const RecordingCanvas&) {
  ASSERT_EQ(w.channels.size(), 12u);
  EXPECT_EQ(w.channels[0]->samples.size(), 10000u);
};

// The trace of every channel lies on its baseline.
void FlatTraces(const TWaveform& w, const RecordingCanvas& canvas) {
  for (const LineOp& line : canvas.lines) {
    if (line.colour != kBlack || line.mode != PenMode::Copy || line.x2 <= 30) continue;
    bool onABaseline = false;
    for (const auto& channel : w.channels) {
      const int pulseTop = channel->baselineY - 40;
      onABaseline |= line.y2 == channel->baselineY || line.y2 == pulseTop;
    }
    EXPECT_TRUE(onABaseline) << line.x2 << "," << line.y2;
  }
}

void ZeroReadouts(const TWaveform&, const RecordingCanvas& canvas) {
  const auto texts = AmplitudeTexts(canvas);
  ASSERT_FALSE(texts.empty());
  for (const std::string& text : texts) EXPECT_EQ(text, ".0000 mV  ");
}

INSTANTIATE_TEST_SUITE_P(
    Changes, HostileWaveforms,
    ::testing::Values(
        HostileCase{
            "SampleCountAllOnes",
            [](DcmObj& o) { ForEach(o, 0x003A, 0x0010, [](DcmTag& t) { SetU32(t, ~0u); }); },
            [](const TWaveform& w, const RecordingCanvas& c) {
              EXPECT_EQ(w.sampleCount, INT32_MAX);
              kAllSamples(w, c);
            }},
        HostileCase{
            "SampleCountMaxSigned",
            [](DcmObj& o) { ForEach(o, 0x003A, 0x0010, [](DcmTag& t) { SetU32(t, 0x7FFFFFFF); }); },
            kAllSamples},
        HostileCase{"SampleCountZero",
                    [](DcmObj& o) { ForEach(o, 0x003A, 0x0010, [](DcmTag& t) { SetU32(t, 0); }); },
                    [](const TWaveform& w, const RecordingCanvas& c) {
                      EXPECT_TRUE(w.channels[0]->samples.empty());
                      ZeroReadouts(w, c);
                    }},
        HostileCase{"OddDataLength", [](DcmObj& o) { CutData(o, 239999); },
                    [](const TWaveform& w, const RecordingCanvas&) {
                      EXPECT_EQ(w.dataLength, 239999u);
                      EXPECT_EQ(w.channels[11]->samples.size(), 9999u);
                    }},
        HostileCase{"OneSampleOfData", [](DcmObj& o) { CutData(o, 24); },
                    [](const TWaveform& w, const RecordingCanvas& c) {
                      EXPECT_EQ(w.channels[0]->samples.size(), 1u);
                      FlatTraces(w, c);  // index 0 counts as outside
                      ZeroReadouts(w, c);
                    }},
        HostileCase{"NoDataBytes", [](DcmObj& o) { CutData(o, 0); },
                    [](const TWaveform& w, const RecordingCanvas& c) {
                      EXPECT_EQ(w.dataLength, 0u);
                      FlatTraces(w, c);
                    }},
        HostileCase{
            "UndefinedLengthData",
            [](DcmObj& o) {
              bool done = false;
              ForEach(o, 0x5400, 0x1010, [&](DcmTag& t) {
                if (done) return;
                t.ReleaseData();
                t.length = kUndefinedLength;
                done = true;
              });
            },
            [](const TWaveform& w, const RecordingCanvas&) { EXPECT_EQ(w.dataLength, 0u); }},
        HostileCase{"ZeroFrequency", AllTexts(0x003A, 0x001A, "0 "),
                    [](const TWaveform& w, const RecordingCanvas& c) {
                      EXPECT_EQ(c.TextsAt(250, 80), std::vector<std::string>{"2220mS   "});
                      ZeroReadouts(w, c);
                    }},
        HostileCase{"NegativeFrequency", AllTexts(0x003A, 0x001A, "-1"), ZeroReadouts},
        HostileCase{"HugeFrequency", AllTexts(0x003A, 0x001A, "1e30"),
                    [](const TWaveform& w, const RecordingCanvas&) {
                      EXPECT_EQ(w.channels[0]->samples.size(), 10000u);
                    }},
        HostileCase{"NotANumberFrequency", AllTexts(0x003A, 0x001A, "nan "), ZeroReadouts},
        HostileCase{"ZeroSensitivity", AllTexts(0x003A, 0x0210, "0 "),
                    [](const TWaveform& w, const RecordingCanvas& c) {
                      FlatTraces(w, c);
                      ZeroReadouts(w, c);
                    }},
        HostileCase{"InfiniteSensitivity", AllTexts(0x003A, 0x0210, "inf "),
                    [](const TWaveform&, const RecordingCanvas& c) {
                      const auto texts = AmplitudeTexts(c);
                      ASSERT_FALSE(texts.empty());
                      for (const std::string& text : texts) {
                        EXPECT_TRUE(text == "INF mV  " || text == "-INF mV  " || text == "NAN mV  ")
                            << text;
                      }
                    }},
        HostileCase{
            "NoSensitivity",
            [](DcmObj& o) { ForEach(o, 0x003A, 0x0210, [](DcmTag& t) { t.element = 0x0219; }); },
            [](const TWaveform& w, const RecordingCanvas&) {
              EXPECT_EQ(w.channels[0]->sensitivity, 1.0f);
              EXPECT_FLOAT_EQ(w.channels[0]->unitsPerPixel, 1000.0f / 40.0f);
            }},
        HostileCase{
            "UnitsNotMillivolt",
            [](DcmObj& o) {
              ForEach(o, 0x0008, 0x0100, [](DcmTag& t) { SetText(t, "MV"); }, {0x003A, 0x0211});
            },
            [](const TWaveform& w, const RecordingCanvas&) {
              EXPECT_EQ(w.channels[0]->units, "MV");
              EXPECT_EQ(w.channels[0]->label, "");
              EXPECT_EQ(w.channels[0]->unitsPerPixel, 1.0f);
            }},
        // a flat channel without Waveform Bits Stored is never kept: a group without channels
        HostileCase{
            "NoBitsStored",
            [](DcmObj& o) { ForEach(o, 0x003A, 0x021A, [](DcmTag& t) { t.element = 0x021B; }); },
            [](const TWaveform& w, const RecordingCanvas& c) {
              EXPECT_TRUE(w.channels.empty());
              EXPECT_EQ(c.TextsAt(250, 80), std::vector<std::string>{"2220mS   "});
              EXPECT_TRUE(AmplitudeTexts(c).empty());
            }},
        HostileCase{"ChannelCountDisagrees",
                    [](DcmObj& o) {
                      ForEach(o, 0x003A, 0x0005, [](DcmTag& t) {
                        const uint8_t all[2] = {0xFF, 0xFF};
                        t.SetData(all, 2);
                      });
                    },
                    [](const TWaveform& w, const RecordingCanvas& c) {
                      EXPECT_EQ(w.channelCount, -1);
                      kAllSamples(w, c);
                    }}),
    [](const auto& info) { return std::string(info.param.name); });

// The sample cut short at many places: the file reader reports a cut inside the waveforms, opening
// whatever it read gives only the waveforms that came before the cut, and Prepare and drawing
// never reach beyond the samples those hold.
TEST(TruncatedSample, NeverCrashes) {
  TestApp();
  std::ifstream in(kSample, std::ios::binary);
  const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
  const std::string path =
      (std::filesystem::temp_directory_path() / ("ecg-cut-" + std::to_string(::getpid()) + ".dcm"))
          .string();
  struct Cut {
    size_t bytes;
    bool read;         // what Read reports
    size_t waveforms;  // what opening the elements read gives
  };
  const Cut cuts[] = {{200, false, 0},  // within the file meta group
                      {1000, true, 0},
                      {3000, true, 0},
                      {6000, true, 0},
                      {9000, true, 0},
                      {bytes.size() / 2, false, 0},  // within the first Waveform Data
                      {bytes.size() - 1000, false, 1},
                      {bytes.size() - 1, false, 2}};
  for (const Cut& cut : cuts) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(cut.bytes));
    DcmObj obj;
    EXPECT_EQ(obj.Read(path), cut.read) << cut.bytes;
    TStudy study;
    study.Load(obj);
    ASSERT_EQ(study.waveforms.size(), cut.waveforms) << cut.bytes;
    for (const auto& waveform : study.waveforms) {
      waveform->Prepare(W, 40.0f);
      const size_t channels = waveform->channels.size();
      ASSERT_GT(channels, 0u) << cut.bytes;
      EXPECT_LE(waveform->dataLength, waveform->data.size()) << cut.bytes;
      for (const auto& channel : waveform->channels) {
        EXPECT_LE(channel->samples.size() * 2 * channels, waveform->dataLength) << cut.bytes;
      }
    }
    if (!study.waveforms.empty()) DrawEverywhere(study);
  }
  std::filesystem::remove(path);
}

}  // namespace
