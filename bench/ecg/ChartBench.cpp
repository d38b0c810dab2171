// The work of opening an ECG in the window: reading the Part 10 file into a DcmObj, TStudy::Load,
// TWaveform::Prepare and one full TStudy::Draw on a 1008 x 672 image, timed per phase, and one
// mouse move of a cursor drag. Prints the median and the fastest run, in milliseconds.
//
//   bench_ecg_chart FILE [RUNS]
#include <QGuiApplication>
#include <QImage>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "dicom/DcmObj.h"
#include "ecg/Study.h"
#include "platform/gui/ImageCanvas.h"

namespace {

using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double, std::milli>(to - from).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Phases {
  std::vector<double> read, load, prepare, draw, whole, drag;
};

bool RunOnce(const std::string& path, QImage& image, Phases& phases) {
  const Clock::time_point start = Clock::now();
  DcmObj object;
  if (!object.Read(path)) return false;
  const Clock::time_point read = Clock::now();
  TStudy study;
  study.Load(object);
  if (study.waveforms.empty()) return false;
  const Clock::time_point loaded = Clock::now();
  study.waveforms[0]->Prepare(image.width(), 40.0f);
  const Clock::time_point prepared = Clock::now();
  ImageCanvas canvas(&image);
  study.Draw(canvas, image.width(), image.height(), 20.0f, 0, false, false);
  const Clock::time_point drawn = Clock::now();
  // One mouse move of a drag with both cursors on: the old line off, the new one on, readouts.
  TWaveform& waveform = *study.waveforms[0];
  waveform.redX = 252;
  waveform.greenX = 277;
  const Clock::time_point dragStart = Clock::now();
  waveform.DrawRedCursor(canvas, image.width(), 0);
  waveform.redX = 253;
  waveform.DrawRedCursor(canvas, image.width(), 0);
  waveform.DrawCursorDifference(canvas, image.width(), 0);
  phases.drag.push_back(Milliseconds(dragStart, Clock::now()));
  phases.read.push_back(Milliseconds(start, read));
  phases.load.push_back(Milliseconds(read, loaded));
  phases.prepare.push_back(Milliseconds(loaded, prepared));
  phases.draw.push_back(Milliseconds(prepared, drawn));
  phases.whole.push_back(Milliseconds(start, drawn));
  return true;
}

void Print(const char* name, const std::vector<double>& values) {
  std::printf("  %-8s median %7.3f ms   fastest %7.3f ms\n", name, Median(values),
              *std::min_element(values.begin(), values.end()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  const std::string path = argv[1];
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 500;
  QImage image(1008, 672, QImage::Format_RGB32);
  Phases warmUp, phases;
  // The first run loads the fonts and the dictionary; it is not counted.
  if (!RunOnce(path, image, warmUp)) {
    std::fprintf(stderr, "%s: not an ECG with waveforms\n", path.c_str());
    return 1;
  }
  for (int i = 0; i < runs; ++i) RunOnce(path, image, phases);
  std::printf("open + Prepare + Draw of %s on 1008 x 672, %d runs:\n", path.c_str(), runs);
  Print("read", phases.read);
  Print("load", phases.load);
  Print("prepare", phases.prepare);
  Print("draw", phases.draw);
  Print("whole", phases.whole);
  std::printf("and per mouse move while dragging a cursor:\n");
  Print("drag", phases.drag);
  return 0;
}
