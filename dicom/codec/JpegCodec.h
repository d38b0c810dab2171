// Frame encoders and decoders over the three IJG builds (8-, 12- and 16-bit samples, lossless
// extension). One source, JpegAdapter.cpp, is compiled once per build; each build's symbols carry
// their own prefix, so the three never meet.
//
// Samples in memory: rows top first, components interleaved (R, G, B). Encoders read 1-byte
// samples (8-bit build) or host-order 16-bit samples (12- and 16-bit builds).
// Results: 0 on success, -1 on failure. Encoded output is a new[] block the caller releases with
// delete[]; on failure out and outLen are not set. The codecs never print anything.
#pragma once

#include <cstddef>
#include <cstdint>

// mode 0: baseline, quality 90; mode 4: lossless, predictor 1, point transform 0.
int CompressJpeg8(int width, int height, int components, const uint8_t* samples, uint8_t*& out,
                  uint32_t& outLen, int mode);
// Extended lossy, quality 75.
int CompressJpeg12(int width, int height, int components, const uint8_t* samples, uint8_t*& out,
                   uint32_t& outLen);
// Lossless, predictor 1, point transform 0, precision 16.
int CompressJpeg16(int width, int height, int components, const uint8_t* samples, uint8_t*& out,
                   uint32_t& outLen);

// Decode one complete stream into dst, writing each sample as `bytesPerSample` bytes (1, or 2
// little endian). A stream whose decoded size exceeds `capacity` is refused before any row is
// written; nothing is ever written past dst + capacity.
// labelledRgb: the data set calls the samples RGB. A three-component stream that carries no
// JFIF or Adobe marker of its own is then delivered as stored instead of through the YCbCr
// conversion the library would guess.
int DecompressJpeg8(const uint8_t* jpeg, uint8_t* dst, uint32_t jpegLen, size_t capacity,
                    int bytesPerSample, bool labelledRgb = false);
int DecompressJpeg12(const uint8_t* jpeg, uint8_t* dst, uint32_t jpegLen, size_t capacity,
                     int bytesPerSample, bool labelledRgb = false);
int DecompressJpeg16(const uint8_t* jpeg, uint8_t* dst, uint32_t jpegLen, size_t capacity,
                     int bytesPerSample, bool labelledRgb = false);
