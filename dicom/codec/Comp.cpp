// Encoding of the conversion's native buffer for the target syntax, replacing the Pixel Data
// value. Encapsulated targets get the flat shape: Pixel Data of undefined length, an empty
// offset-table item, one item per frame, the sequence delimiter. Every frame is encoded before
// the list changes, so a frame the encoder refuses leaves the element as it was.
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "dicom/DcmObj.h"
#include "dicom/TagKeyOps.h"
#include "dicom/Tags.h"
#include "dicom/TransferSyntaxes.h"
#include "dicom/codec/J2kCodec.h"
#include "dicom/codec/JpegCodec.h"
#include "dicom/codec/PixelSize.h"
#include "dicom/codec/Rescale.h"
#include "dicom/util/Log.h"

namespace {

struct EncodedFrame {
  std::unique_ptr<uint8_t[]> bytes;
  uint32_t length = 0;
};

struct FrameJob {
  uint8_t* samples;  // one frame of the native buffer (rescaled in place where the target says)
  uint32_t bytes;
  bool colour;
  int columns, rows;
  uint16_t bitsStored, bitsAllocated, pixelRepresentation;
  float slope, intercept;
  std::string modality;
  bool ybrSamples = false;  // native YBR_FULL samples, copied into the buffer unconverted
};

// The low byte of each 16-bit sample: 8 bits stored in 16 allocated, for the 8-bit encoder.
std::vector<uint8_t> LowBytes(const uint8_t* samples, uint32_t bytes) {
  std::vector<uint8_t> low(bytes / 2);
  for (uint32_t i = 0; i < bytes / 2; ++i) low[i] = samples[2 * i];
  return low;
}

bool Adopt(int rc, uint8_t*& out, uint32_t& len, EncodedFrame& frame) {
  if (rc != 0) return false;
  frame.bytes.reset(out);
  frame.length = len;
  return true;
}

// One frame of 1-byte samples through the 8-bit coder (mode 0 baseline, 4 lossless).
bool EncodeEightBit(const FrameJob& j, const uint8_t* samples, int components, int mode,
                    EncodedFrame& frame) {
  uint8_t* out = nullptr;
  uint32_t len = 0;
  return Adopt(CompressJpeg8(j.columns, j.rows, components, samples, out, len, mode), out, len,
               frame);
}

bool EncodeJpegBaseline(const FrameJob& j, EncodedFrame& frame) {
  const int components = j.colour ? 3 : 1;
  if (j.bitsAllocated == 8) return EncodeEightBit(j, j.samples, components, 0, frame);
  if (j.colour) return false;  // 16-bit colour has no 8-bit rendering here
  std::vector<uint8_t> eight;
  if (j.bitsStored == 8) {
    eight = LowBytes(j.samples, j.bytes);
  } else {
    eight.resize(j.bytes / 2);
    RescaleTo8Bits(eight.data(), j.samples, j.pixelRepresentation, j.bitsStored, j.slope,
                   j.intercept, j.bytes, j.modality);
  }
  return EncodeEightBit(j, eight.data(), 1, 0, frame);
}

bool EncodeJpegExtended(const FrameJob& j, EncodedFrame& frame) {
  if (j.bitsStored != 12)
    RescaleTo12Bits(j.samples, j.pixelRepresentation, j.slope, j.intercept, j.bytes, j.modality);
  uint8_t* out = nullptr;
  uint32_t len = 0;
  return Adopt(CompressJpeg12(j.columns, j.rows, 1, j.samples, out, len), out, len, frame);
}

// Lossless: the stored values go in unchanged (the 16-bit coder works modulo 2^16, so signed
// samples come back exactly).
bool EncodeJpegLossless(const FrameJob& j, EncodedFrame& frame) {
  const int components = j.colour ? 3 : 1;
  if (j.bitsAllocated == 8) return EncodeEightBit(j, j.samples, components, 4, frame);
  if (j.bitsStored == 8)
    return EncodeEightBit(j, LowBytes(j.samples, j.bytes).data(), components, 4, frame);
  uint8_t* out = nullptr;
  uint32_t len = 0;
  return Adopt(CompressJpeg16(j.columns, j.rows, components, j.samples, out, len), out, len, frame);
}

bool EncodeJ2k(const FrameJob& j, bool lossless, EncodedFrame& frame) {
  if (!lossless && !j.colour) {
    if (j.bitsAllocated == 10 || j.bitsAllocated == 12)
      RescaleTo12Bits(j.samples, j.pixelRepresentation, j.slope, j.intercept, j.bytes, j.modality);
    else if (j.bitsAllocated == 14 || j.bitsAllocated == 16)
      RescaleTo16Bits(j.samples, j.pixelRepresentation, j.slope, j.intercept, j.bytes, j.modality);
  }
  uint8_t* out = nullptr;
  uint32_t len = 0;
  const bool isSigned = lossless && j.pixelRepresentation != 0;
  const bool encoded = CompressJ2k(j.samples, out, len, j.columns, j.rows, j.colour ? 3 : 1,
                                   j.bitsAllocated, lossless ? 0 : 10, isSigned);
  return Adopt(encoded ? 0 : -1, out, len, frame);
}

// Targets that the encoders cannot serve faithfully; refused before anything changes.
bool Refused(const std::string& target, const FrameJob& j) {
  if (target == ts::kJpegExtended)
    // 8-bit data has no 12-bit rendering; negative values would be clamped away; colour and
    // 8-bit-allocated frames do not have the layout the 12-bit coder reads.
    return j.bitsStored == 8 || j.pixelRepresentation != 0 || j.colour || j.bitsAllocated != 16;
  if (target == ts::kJpegLosslessSV1) return j.bitsAllocated != 8 && j.bitsAllocated != 16;
  if (target == ts::kJpegBaseline)
    // The baseline coder takes colour as RGB and transforms it itself: YBR samples would be
    // transformed twice.
    return (j.bitsAllocated != 8 && j.bitsAllocated != 16) || (j.colour && j.ybrSamples);
  return false;
}

bool EncodeFrame(const std::string& target, const FrameJob& j, EncodedFrame& frame) {
  if (target == ts::kJpegBaseline) return EncodeJpegBaseline(j, frame);
  if (target == ts::kJpegExtended) return EncodeJpegExtended(j, frame);
  if (target == ts::kJpegLosslessSV1) return EncodeJpegLossless(j, frame);
  if (target == ts::kJ2kLossless) return EncodeJ2k(j, true, frame);
  if (target == ts::kJ2k) return EncodeJ2k(j, false, frame);
  return false;
}

}  // namespace

bool DcmObj::Comp(int& pixelIndex, uint8_t* buffer, bool colour, uint16_t columns, uint16_t rows,
                  uint16_t bitsStored, uint16_t bitsAllocated, uint16_t pixelRepresentation,
                  float slope, float intercept, float& ratio, int frames,
                  const std::string& targetUid, const std::string& modality) {
  if (frames < 1) frames = 1;
  const uint64_t size64 = NativePixelSize(columns, rows, bitsAllocated, colour, frames);
  if (size64 == 0 || size64 > kMaxElementLength) return false;
  const uint32_t size = static_cast<uint32_t>(size64);
  DcmTag* pixel = TagAt(pixelIndex);
  if (!pixel) return false;

  if (ts::IsNative(targetUid)) {
    // The value is even-padded with one zero byte when the size is odd.
    try {
      std::vector<uint8_t> value(size + (size & 1), 0);
      std::memcpy(value.data(), buffer, size);
      pixel->SetVR(bitsAllocated <= 8 ? "OB" : "OW");
      pixel->data = std::move(value);
      pixel->length = static_cast<uint32_t>(pixel->data.size());
    } catch (const std::bad_alloc&) {
      LogWrite("ERROR, DcmObj::Comp, allocating memory: " + std::to_string(size));
      pixel->ReleaseData();
      pixel->length = 0;
      return false;
    }
    return true;
  }

  const uint32_t frameBytes = size / static_cast<uint32_t>(frames);
  FrameJob job{buffer,        frameBytes,          colour, columns,   rows,    bitsStored,
               bitsAllocated, pixelRepresentation, slope,  intercept, modality};
  job.ybrSamples = photometricInterpretation == "YBR_FULL" && ts::IsNative(transferSyntax);
  if (Refused(targetUid, job)) return false;
  std::vector<EncodedFrame> encoded(static_cast<size_t>(frames));
  uint64_t total = 0;
  for (int f = 0; f < frames; ++f) {
    job.samples = buffer + static_cast<size_t>(f) * frameBytes;
    if (!EncodeFrame(targetUid, job, encoded[f])) return false;
    total += encoded[f].length;
  }

  pixel->SetVR("OB");
  pixel->ReleaseData();
  pixel->length = kUndefinedLength;
  int at = pixelIndex + 1;
  InsertAt(NewTag(tag::kItem, 0u, nullptr, "DL"), at++);
  for (EncodedFrame& e : encoded) {
    InsertAt(NewTag(tag::kItem, e.length, e.bytes.get(), "DL"), at++);
    e.bytes.reset();
  }
  InsertAt(NewTag(tag::kSequenceDelimitationItem, 0u, nullptr, "DL"), at);
  pixelIndex = at;
  if (total > 0) ratio = static_cast<float>(static_cast<double>(size) / static_cast<double>(total));
  return true;
}
