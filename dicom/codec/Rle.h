// RLE Lossless frame decoding (PackBits segments behind a 64-byte segment table).
#pragma once

#include <cstdint>
#include <stdexcept>

// Raised by DcmObj::DecodeRLE (and the conversion's other decoders) when a frame cannot be
// decoded: the conversion then fails instead of sending unfilled pixels.
struct FrameDecodeError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Expands the PackBits segment at fragment[start .. start + segmentLength) into
// temp[segmentIndex * share .. (segmentIndex + 1) * share). Logs "ERROR, overflow decoding RLE"
// once when a run needs bytes beyond the segment; what was produced stays.
void DecodeRLESegment(const uint8_t* fragment, uint8_t* temp, uint32_t start,
                      uint32_t segmentLength, uint32_t segmentIndex, uint32_t share);
