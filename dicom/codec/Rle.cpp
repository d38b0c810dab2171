// RLE Lossless decoding of one frame. The fragment starts with a table of 16 little-endian
// 32-bit values: the segment count and the offsets of up to 15 segments. Segments hold one byte
// plane each, component by component, most significant byte first; they are expanded into a
// zeroed temporary frame and then interleaved into the caller's area.
#include "dicom/codec/Rle.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "dicom/DcmObj.h"
#include "dicom/util/ByteOrder.h"
#include "dicom/util/Log.h"

namespace {

constexpr uint32_t kHeaderValues = 16;                // count + 15 offsets
constexpr uint32_t kHeaderBytes = kHeaderValues * 4;  // 64
constexpr uint32_t kMaxSegments = 15;

uint8_t ClampByte(double v) {
  const double t = static_cast<double>(static_cast<long long>(v));  // toward zero
  return static_cast<uint8_t>(std::clamp(t, 0.0, 255.0));
}

void YbrFullToRgb(const uint8_t* temp, uint8_t* out, uint32_t share) {
  for (uint32_t k = 0; k < share; ++k) {
    const double y = temp[k];
    const double cb = temp[share + k];
    const double cr = temp[2 * static_cast<size_t>(share) + k];
    out[3 * static_cast<size_t>(k)] = ClampByte(y + 1.402 * (cr - 128));
    out[3 * static_cast<size_t>(k) + 1] =
        ClampByte(y - 0.344136 * (cb - 128) - 0.714136 * (cr - 128));
    out[3 * static_cast<size_t>(k) + 2] = ClampByte(y + 1.772 * (cb - 128));
  }
}

// Interleaves `components` samples of `bytes` bytes each per pixel; segment c * bytes + j holds
// byte j (most significant first) of component c. Samples go out little endian.
void Interleave(const uint8_t* temp, uint8_t* out, uint32_t share, uint32_t components,
                uint32_t bytes) {
  for (uint32_t c = 0; c < components; ++c)
    for (uint32_t j = 0; j < bytes; ++j) {
      const uint8_t* plane = temp + static_cast<size_t>(c * bytes + j) * share;
      const uint32_t outByte = bytes - 1 - j;
      for (uint32_t k = 0; k < share; ++k)
        out[(static_cast<size_t>(k) * components + c) * bytes + outByte] = plane[k];
    }
}

}  // namespace

void DecodeRLESegment(const uint8_t* fragment, uint8_t* temp, uint32_t start,
                      uint32_t segmentLength, uint32_t segmentIndex, uint32_t share) {
  uint8_t* out = temp + static_cast<size_t>(segmentIndex) * share;
  const uint8_t* in = fragment + start;
  const uint8_t* const inEnd = in + segmentLength;
  uint32_t produced = 0;
  while (produced < share) {
    if (in >= inEnd) {
      LogWrite("ERROR, overflow decoding RLE");
      return;
    }
    const int n = static_cast<int8_t>(*in++);
    if (n >= 0) {
      const uint32_t run = static_cast<uint32_t>(n) + 1;
      if (static_cast<size_t>(inEnd - in) < std::min(run, share - produced)) {
        LogWrite("ERROR, overflow decoding RLE");
        return;
      }
      const uint32_t take = std::min(run, share - produced);
      std::memcpy(out + produced, in, take);
      produced += take;
      in += run <= static_cast<size_t>(inEnd - in) ? run : static_cast<size_t>(inEnd - in);
    } else if (n != -128) {
      if (in >= inEnd) {
        LogWrite("ERROR, overflow decoding RLE");
        return;
      }
      const uint32_t copies = static_cast<uint32_t>(1 - n);
      const uint32_t take = std::min(copies, share - produced);
      std::memset(out + produced, *in++, take);
      produced += take;
    }
  }
}

void DcmObj::DecodeRLE(const uint8_t* fragment, uint8_t* out, uint32_t fragmentLength,
                       uint32_t frameSize, uint16_t bitsAllocated) {
  // A fragment shorter than its table reads as zeros past its end (so: no segments).
  uint8_t header[kHeaderBytes] = {};
  if (fragment) std::memcpy(header, fragment, std::min(fragmentLength, kHeaderBytes));
  const uint32_t count = DecodeU32(header);

  const std::string& pi = photometricInterpretation;
  const bool mono = pi.find("MONO") != std::string::npos;
  const bool rgb = pi == "RGB";
  const bool ybrFull = pi == "YBR_FULL";
  const uint32_t components = mono ? 1 : 3;
  const uint32_t bytes = bitsAllocated / 8;
  const bool supported = count >= 1 && count <= kMaxSegments && (mono || rgb || ybrFull) &&
                         bitsAllocated % 8 == 0 && count == components * bytes &&
                         (!ybrFull || count == 3);
  if (!supported) {
    LogWrite("ERROR, format not supported: segment_count=" + std::to_string(count) +
             ", bitsa=" + std::to_string(bitsAllocated) + ", PhotometricInterpretation=" + pi);
    throw FrameDecodeError("RLE layout not supported");
  }

  const uint32_t share = frameSize / count;
  std::vector<uint8_t> temp(frameSize, 0);
  for (uint32_t i = 0; i < count; ++i) {
    const uint32_t begin = DecodeU32(header + 4 * (i + 1));
    const uint32_t end = i + 1 < count ? DecodeU32(header + 4 * (i + 2)) : fragmentLength;
    // Offsets past the fragment or running backwards leave the segment without bytes.
    uint32_t length = 0;
    if (begin < fragmentLength && end >= begin) length = std::min(end, fragmentLength) - begin;
    DecodeRLESegment(fragment, temp.data(), begin < fragmentLength ? begin : 0, length, i, share);
  }
  if (ybrFull)
    YbrFullToRgb(temp.data(), out, share);
  else
    Interleave(temp.data(), out, share, components, bytes);
}
