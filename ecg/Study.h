// The model of one opened ECG object: the patient and study texts the chart shows, and its
// multiplex groups (TWaveform) with their channel definitions (TChannel) and a copy of their
// interleaved sample bytes. Texts are 8-bit (Windows-1252) as stored in the object.
//
// Reading lives in StudyReader.cpp, the chart in Chart.cpp, the cursors in Cursors.cpp; all of
// them draw only on the Canvas interface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/ProductName.h"

class Canvas;
class DcmObj;

class TChannel {
 public:
  void SetScale(int32_t count, float frequency, float scale, int32_t columnX, int32_t baseY);
  void Draw(Canvas& canvas, int32_t W, float offsetMs) const;
  void DrawRedValue(Canvas& canvas, float timeMs) const;
  void DrawGreenValue(Canvas& canvas, float timeMs) const;
  void DrawValueDifference(Canvas& canvas, float redTimeMs, float greenTimeMs) const;

  // The stored value at index i; 0 outside 1..sampleCount-1 (the first sample counts as
  // outside) and beyond the samples the data held.
  int16_t SampleAt(int64_t index) const;
  // The amplitude in millivolts of stored value v (v x sensitivity x correction, x 0.001 for
  // "uV"); other units show the same product unscaled.
  double Amplitude(int16_t value) const;

  std::string label;
  int32_t x = 0;
  int32_t baselineY = 0;
  float samplesPerPixel = 0;
  float unitsPerPixel = 1.0f;
  int32_t sampleCount = 0;
  float pxPerMv = 0;
  float samplingFrequency = 0;
  std::vector<int16_t> samples;
  std::string sourceName;
  float sensitivity = 1.0f;
  std::string units;
  float correction = 1.0f;
  float baseline = 0;
  uint16_t bitsStored = 0;
};

class TWaveform {
 public:
  void Prepare(int32_t W, float scale);
  void DrawChannels(Canvas& canvas, int32_t W, int32_t scroll) const;
  void DrawRedCursor(Canvas& canvas, int32_t W, int32_t scroll) const;
  void DrawGreenCursor(Canvas& canvas, int32_t W, int32_t scroll) const;
  void DrawCursorDifference(Canvas& canvas, int32_t W, int32_t scroll) const;

  float pxPerMv = 0;
  std::string originality;
  int16_t channelCount = 0;
  int32_t sampleCount = 0;
  float samplingFrequency = 0;
  uint16_t bitsAllocated = 0;
  std::vector<uint8_t> data;  // the Waveform Data value as stored; its size is dataLength
  size_t dataLength = 0;
  bool bigEndian = false;  // byte order of `data`, from the object's transfer syntax
  std::vector<std::unique_ptr<TChannel>> channels;
  int32_t redX = 0;
  int32_t greenX = 0;
};

class TStudy {
 public:
  void Load(DcmObj& object);
  void Draw(Canvas& canvas, int32_t W, int32_t H, float step, int32_t scroll, bool redOn,
            bool greenOn) const;

  std::string sopClassUID;
  std::string patientName;
  std::string patientID;
  std::string birthDate;
  std::string sex;
  std::string studyDate;
  std::string studyTime;
  std::string modality;
  std::string institutionName;
  std::vector<std::unique_ptr<TWaveform>> waveforms;
};

// The product's display name: the centred banner line at the top of the chart and the ECG
// window's caption (the study browser shows it followed by its version).
inline constexpr const char* kChartBanner = kProductDisplayName;
