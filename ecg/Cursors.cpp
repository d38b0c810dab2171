// The red and green measurement cursors: not-xor lines (drawing one twice removes it), the time
// under each cursor, the amplitudes of its column's leads and, with both on, the differences.
// Readouts are opaque texts that are only overwritten, never erased, until the next full redraw.
#include "ecg/NumberText.h"
#include "ecg/Study.h"
#include "platform/Canvas.h"

namespace {

constexpr int kTraceOrigin = 30;
constexpr int kCursorTop = 100;
constexpr const char* kDashes = "Diff: - - - - - - - - ";

// A cursor at exactly W / 2 belongs to the left column.
bool InLeftColumn(int32_t cursorX, int32_t W) { return cursorX <= W / 2; }

float CursorTime(const TWaveform& waveform, int32_t cursorX, int32_t W, int32_t scroll) {
  const float msPerPixel = 400.0f / waveform.pxPerMv;
  int64_t pixels = static_cast<int64_t>(cursorX) + scroll - kTraceOrigin;
  if (!InLeftColumn(cursorX, W)) pixels -= W / 2;
  return static_cast<float>(pixels) * msPerPixel;
}

// The column's leads are the channels laid out at its edge: x = 0 on the left.
template <typename Each>
void ForColumnChannels(const TWaveform& waveform, bool left, Each each) {
  for (const auto& channel : waveform.channels) {
    if ((channel->x == 0) == left) each(*channel);
  }
}

int64_t SampleIndex(const TChannel& channel, float timeMs) {
  return SaturatingTrunc64(static_cast<double>(timeMs * channel.samplingFrequency) * 0.001, -1);
}

bool InsideRecording(const TChannel& channel, int64_t index) {
  return index > 0 && index < channel.sampleCount;
}

void WriteValue(Canvas& canvas, const TChannel& channel, int dx, double amplitude) {
  canvas.TextOut(channel.x + dx, channel.baselineY - 70, FormatFloat(amplitude) + " mV  ");
}

void DrawCursor(const TWaveform& waveform, Canvas& canvas, int32_t cursorX, int32_t W,
                int32_t scroll, Rgb colour, int textX, bool red) {
  canvas.SetPenWidth(2);
  canvas.SetPenColor(colour);
  canvas.SetPenMode(PenMode::NotXor);
  canvas.MoveTo(cursorX, kCursorTop);
  canvas.LineTo(cursorX, W);  // to y = W, past the bottom of the landscape chart
  canvas.SetPenMode(PenMode::Copy);
  canvas.SetPenColor(kBlack);
  canvas.SetPenWidth(1);

  const float t = CursorTime(waveform, cursorX, W, scroll);
  canvas.SetFontColor(colour);
  canvas.TextOut(textX, 80, FloatToStr(t) + "mS   ");
  ForColumnChannels(waveform, InLeftColumn(cursorX, W), [&](const TChannel& channel) {
    if (red) {
      channel.DrawRedValue(canvas, t);
    } else {
      channel.DrawGreenValue(canvas, t);
    }
  });
  canvas.SetFontColor(kBlack);
}

}  // namespace

double TChannel::Amplitude(int16_t value) const {
  const double product = static_cast<double>(value) * sensitivity * correction;
  return units == "uV" ? product * 0.001 : product;
}

void TChannel::DrawRedValue(Canvas& canvas, float timeMs) const {
  WriteValue(canvas, *this, 120, Amplitude(SampleAt(SampleIndex(*this, timeMs))));
}

void TChannel::DrawGreenValue(Canvas& canvas, float timeMs) const {
  WriteValue(canvas, *this, 200, Amplitude(SampleAt(SampleIndex(*this, timeMs))));
}

void TChannel::DrawValueDifference(Canvas& canvas, float redTimeMs, float greenTimeMs) const {
  const int64_t red = SampleIndex(*this, redTimeMs), green = SampleIndex(*this, greenTimeMs);
  if (!InsideRecording(*this, red) || !InsideRecording(*this, green)) return;
  WriteValue(canvas, *this, 280, Amplitude(SampleAt(red)) - Amplitude(SampleAt(green)));
}

void TWaveform::DrawRedCursor(Canvas& canvas, int32_t W, int32_t scroll) const {
  DrawCursor(*this, canvas, redX, W, scroll, kRed, 250, true);
}

void TWaveform::DrawGreenCursor(Canvas& canvas, int32_t W, int32_t scroll) const {
  DrawCursor(*this, canvas, greenX, W, scroll, kGreen, 320, false);
}

void TWaveform::DrawCursorDifference(Canvas& canvas, int32_t W, int32_t scroll) const {
  if (redX == 0 || greenX == 0) return;
  canvas.TextOut(390, 80, kDashes);
  // Cursors in different columns have no common leads (a cursor at W / 2 is a left one).
  if (InLeftColumn(redX, W) != InLeftColumn(greenX, W)) return;
  canvas.SetFontColor(kBlack);
  const float msPerPixel = 400.0f / pxPerMv;
  const float difference = static_cast<float>(static_cast<int64_t>(redX) - greenX) * msPerPixel;
  canvas.TextOut(390, 80, "Diff: " + FloatToStr(difference) + "mS   ");
  const float redTime = CursorTime(*this, redX, W, scroll);
  const float greenTime = CursorTime(*this, greenX, W, scroll);
  ForColumnChannels(*this, InLeftColumn(redX, W), [&](const TChannel& channel) {
    channel.DrawValueDifference(canvas, redTime, greenTime);
  });
}
