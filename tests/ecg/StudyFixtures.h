// Studies built in memory, without a file: C channels of N samples at fs Hz whose stored value
// is given by a function of (channel, index), interleaved as Waveform Data holds them.
#pragma once

#include <functional>
#include <memory>

#include "ecg/Study.h"

inline std::unique_ptr<TStudy> MakeStudy(int C, int N, float fs,
                                         const std::function<int16_t(int, int)>& value,
                                         const char* units = "uV", float sensitivity = 1.25f) {
  auto study = std::make_unique<TStudy>();
  study->modality = "ECG";
  study->patientName = "Anonymous";
  auto waveform = std::make_unique<TWaveform>();
  waveform->sampleCount = N;
  waveform->samplingFrequency = fs;
  waveform->channelCount = static_cast<int16_t>(C);
  for (int i = 0; i < C; ++i) {
    auto channel = std::make_unique<TChannel>();
    channel->sourceName = "Lead " + std::to_string(i);
    channel->units = units;
    channel->sensitivity = sensitivity;
    waveform->channels.push_back(std::move(channel));
  }
  for (int k = 0; k < N; ++k) {
    for (int i = 0; i < C; ++i) {
      const uint16_t v = static_cast<uint16_t>(value(i, k));
      waveform->data.push_back(static_cast<uint8_t>(v & 0xFF));
      waveform->data.push_back(static_cast<uint8_t>(v >> 8));
    }
  }
  waveform->dataLength = waveform->data.size();
  study->waveforms.push_back(std::move(waveform));
  return study;
}

// Channel i's value at index k: easy to recognise in a readout.
inline int16_t RampValue(int i, int k) { return static_cast<int16_t>(i * 100 + k % 50); }
