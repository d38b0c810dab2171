// The calibrated chart of the first multiplex group: de-interleaving and layout (Prepare), the
// per-channel scale, and the full redraw (grid, banner, header, labels, 1 mV pulses, traces).
// Every float-to-pixel or float-to-index step saturates, so huge or NaN values from a file
// give the baseline or an outside index instead of undefined behaviour.
#include <algorithm>

#include "dicom/util/ByteOrder.h"
#include "ecg/NumberText.h"
#include "ecg/Study.h"
#include "platform/Canvas.h"

namespace {

constexpr int kFirstRowY = 100;
constexpr int kRowPitch = 90;
constexpr int kChannelsPerColumn = 6;
constexpr int kTraceOrigin = 30;  // the trace starts right of the 30-pixel calibration pulse

int16_t ReadSample(const std::vector<uint8_t>& data, size_t offset, bool bigEndian) {
  return static_cast<int16_t>(DecodeU16(data.data() + offset, bigEndian));
}

// Lines y = 0, trunc(y + step), ... while y < limit; a step that does not advance stops.
template <typename DrawLine>
void ForEachGridLine(int limit, float step, DrawLine draw) {
  for (int at = 0; at < limit;) {
    draw(at);
    const int next = SaturatingTrunc(static_cast<double>(at + step), limit);
    if (next <= at) break;
    at = next;
  }
}

}  // namespace

void TWaveform::Prepare(int32_t W, float scale) {
  pxPerMv = scale;
  redX = 0;
  greenX = 0;
  const size_t C = channels.size();
  const int32_t N = std::max<int32_t>(sampleCount, 0);
  // Only the samples the data actually holds are allocated; the rest count as 0.
  const size_t held = C == 0 ? 0 : std::min<size_t>(static_cast<size_t>(N), dataLength / (2 * C));
  for (size_t i = 0; i < C; ++i) {
    TChannel& channel = *channels[i];
    channel.samples.assign(held, 0);
    for (size_t k = 0; k < held; ++k) {
      channel.samples[k] = ReadSample(data, 2 * (i + k * C), bigEndian);
    }
    const int row = static_cast<int>(i);
    if (row < kChannelsPerColumn) {
      channel.SetScale(N, samplingFrequency, scale, 0, kFirstRowY + kRowPitch * (row + 1));
    } else {
      channel.SetScale(N, samplingFrequency, scale, W / 2,
                       kFirstRowY + kRowPitch * (row - (kChannelsPerColumn - 1)));
    }
  }
}

void TChannel::SetScale(int32_t count, float frequency, float scale, int32_t columnX,
                        int32_t baseY) {
  pxPerMv = scale;
  samplingFrequency = frequency;
  samplesPerPixel = frequency * 400.0f / (scale * 1000.0f);
  unitsPerPixel = 1.0f;
  const float divisor = sensitivity * scale * correction;
  if (units == "uV") {
    unitsPerPixel = 1000.0f / divisor;
    label = sourceName + " 0.5 mV/div";
  } else if (units == "mV") {
    unitsPerPixel = 1.0f / divisor;
    label = sourceName + " 0.5 mV/div";
  } else if (units.find("mm") != std::string::npos) {
    unitsPerPixel = 100.0f / divisor;
    label = sourceName + " 50 mm Hg/div";
  }
  sampleCount = count;
  x = columnX;
  baselineY = baseY;
}

int16_t TChannel::SampleAt(int64_t index) const {
  if (index <= 0 || index >= sampleCount) return 0;
  if (static_cast<uint64_t>(index) >= samples.size()) return 0;
  return samples[static_cast<size_t>(index)];
}

void TChannel::Draw(Canvas& canvas, int32_t W, float offsetMs) const {
  canvas.SetPenColor(kBlack);
  canvas.TextOut(x + 5, baselineY - 70, label);

  const int y = baselineY;
  const int top = SaturatingTrunc(static_cast<double>(y) - pxPerMv, y);
  canvas.MoveTo(x, y);
  canvas.LineTo(x + 7, y);
  canvas.LineTo(x + 7, top);
  canvas.LineTo(x + 22, top);
  canvas.LineTo(x + 22, y);
  canvas.LineTo(x + kTraceOrigin, y);

  const float span = static_cast<float>(W - 50) * samplesPerPixel;
  const int64_t n = std::clamp<int64_t>(SaturatingTrunc64(static_cast<double>(span) * 0.5, 0), 0,
                                        std::max(sampleCount, 0));
  const int64_t s0 =
      SaturatingTrunc64(static_cast<double>(offsetMs * samplingFrequency) * 0.001, -1);
  // Past the samples held every value is 0: the rest of the trace is one baseline segment.
  const int64_t lastHeld = std::min<int64_t>(static_cast<int64_t>(samples.size()), sampleCount);
  const float origin = static_cast<float>(x + kTraceOrigin);
  auto pixelX = [&](int64_t i) {
    return SaturatingTrunc(origin + static_cast<float>(i) / samplesPerPixel, x + kTraceOrigin);
  };
  for (int64_t i = 0; i < n; ++i) {
    const int64_t k = s0 + i;
    const int16_t v = SampleAt(k);
    const int py = SaturatingTrunc(static_cast<float>(y) - v / unitsPerPixel, y);
    const int px = pixelX(i);
    canvas.LineTo(px, py);
    if (k >= lastHeld || px > W) {
      if (px <= W && i + 1 < n) canvas.LineTo(pixelX(n - 1), y);
      break;
    }
  }
}

void TWaveform::DrawChannels(Canvas& canvas, int32_t W, int32_t scroll) const {
  const float msPerPixel = 400.0f / pxPerMv;
  const float offset = static_cast<float>(scroll) * msPerPixel;
  for (const auto& channel : channels) channel->Draw(canvas, W, offset);
}

void TStudy::Draw(Canvas& canvas, int32_t W, int32_t H, float step, int32_t scroll, bool redOn,
                  bool greenOn) const {
  canvas.Rectangle(0, 0, W, H);
  for (Rgb colour : {kSilver, kGrey}) {
    const float across = colour == kSilver ? step : 2 * step;
    const float down = colour == kSilver ? step : 5 * step;
    canvas.SetPenColor(colour);
    ForEachGridLine(H, across, [&](int y) {
      canvas.MoveTo(0, y);
      canvas.LineTo(W, y);
    });
    ForEachGridLine(W, down, [&](int x) {
      canvas.MoveTo(x, 0);
      canvas.LineTo(x, H);
    });
  }

  canvas.SetPenColor(kBlack);
  canvas.SetFontName("Tahoma");
  canvas.SetFontBold(true);
  canvas.SetFontSize(18);
  canvas.TextOut((W - canvas.TextWidth(kChartBanner)) / 2, 5, kChartBanner);
  canvas.SetFontSize(10);
  canvas.TextOut(10, 10, studyDate + " " + studyTime);
  canvas.TextOut(30, 30, "Name: " + patientName);
  canvas.TextOut(30, 50, "ID: " + patientID);
  canvas.TextOut(30, 70, "DOB: " + birthDate);
  canvas.TextOut(30, 90, "Sex: " + sex);
  canvas.TextOut(150, 80, "200 mS/div");
  canvas.SetFontBold(false);

  if (waveforms.empty()) return;
  const TWaveform& waveform = *waveforms[0];
  waveform.DrawChannels(canvas, W, scroll);
  if (redOn) waveform.DrawRedCursor(canvas, W, scroll);
  if (greenOn) waveform.DrawGreenCursor(canvas, W, scroll);
  waveform.DrawCursorDifference(canvas, W, scroll);
}
