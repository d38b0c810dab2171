// Decoding of encapsulated pixel data into the conversion's native buffer. The list holds, after
// the Pixel Data element at index p: the offset-table item, one item per fragment, and the
// sequence delimiter. Each is removed as it is consumed. A frame that cannot be decoded raises,
// so the conversion never sends pixels that were not written.
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include "dicom/DcmObj.h"
#include "dicom/TagKeyOps.h"
#include "dicom/Tags.h"
#include "dicom/TransferSyntaxes.h"
#include "dicom/codec/J2kCodec.h"
#include "dicom/codec/JpegCodec.h"
#include "dicom/codec/PixelSize.h"
#include "dicom/codec/Rle.h"
#include "dicom/util/ByteOrder.h"
#include "dicom/util/Log.h"

namespace {

bool EntryIs(const DcmObj& obj, int index, TagKey key) {
  if (index >= obj.Count()) return false;
  const DcmTag* t = obj.TagAt(index);
  return t && IsTag(*t, key);
}

// The sample precision in the first start-of-frame marker, or 0 when none is found.
int JpegFramePrecision(const uint8_t* p, uint32_t n) {
  uint32_t i = 2;  // past SOI
  while (i + 4 < n) {
    if (p[i] != 0xFF) return 0;
    const uint8_t marker = p[i + 1];
    if (marker == 0xFF) {
      ++i;
      continue;
    }
    const bool sof =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (sof) return p[i + 4];
    const uint32_t len = DecodeU16(p + i + 2, true);
    i += 2 + len;
  }
  return 0;
}

struct FrameTarget {
  uint8_t* area;
  uint32_t frameSize;
  uint16_t bitsAllocated;
  bool labelledRgb;  // the data set calls its colour samples RGB
};

bool DecodeJpeg(const std::string& syntax, const uint8_t* data, uint32_t len,
                const FrameTarget& f) {
  // JPEG samples are at most 16 bits: other widths have no layout the decoders can fill.
  if (f.bitsAllocated != 8 && f.bitsAllocated != 16) return false;
  const int bps = f.bitsAllocated / 8;
  const bool rgb = f.labelledRgb;
  if (syntax == ts::kJpegBaseline)
    return DecompressJpeg8(data, f.area, len, f.frameSize, bps, rgb) == 0;
  if (syntax == ts::kJpegExtended) {
    // Extended streams may carry 8- or 12-bit samples; each needs the build of its precision.
    const int precision = JpegFramePrecision(data, len);
    if (precision > 0 && precision <= 8)
      return DecompressJpeg8(data, f.area, len, f.frameSize, bps, rgb) == 0;
    return DecompressJpeg12(data, f.area, len, f.frameSize, bps, rgb) == 0;
  }
  if (f.bitsAllocated == 8) return DecompressJpeg8(data, f.area, len, f.frameSize, 1, rgb) == 0;
  return DecompressJpeg16(data, f.area, len, f.frameSize, 2, rgb) == 0;
}

bool DecodeJpegOrJ2k(const std::string& syntax, const uint8_t* data, uint32_t len,
                     const FrameTarget& f) {
  if (syntax == ts::kJpegBaseline || syntax == ts::kJpegExtended || syntax == ts::kJpegLossless ||
      syntax == ts::kJpegLosslessSV1)
    return DecodeJpeg(syntax, data, len, f);
  if (syntax == ts::kJ2kLossless || syntax == ts::kJ2k) {
    if (f.bitsAllocated != 8 && f.bitsAllocated != 16 && f.bitsAllocated != 32) return false;
    return DecompressJ2k(data, f.area, len, f.frameSize, f.bitsAllocated / 8);
  }
  return false;
}

}  // namespace

void DcmObj::Decomp(int pixelIndex, uint8_t* buffer, uint32_t size, int frames,
                    uint16_t bitsAllocated) {
  const int next = pixelIndex + 1;
  if (frames < 1) frames = 1;
  const uint32_t frameSize = size / static_cast<uint32_t>(frames);
  if (!EntryIs(*this, next, tag::kItem)) throw std::out_of_range("no offset table");
  Delete(next);

  auto decodeFrame = [&](const uint8_t* data, uint32_t len, int f) {
    const FrameTarget target{buffer + static_cast<size_t>(f) * frameSize, frameSize, bitsAllocated,
                             photometricInterpretation == "RGB"};
    if (transferSyntax == ts::kRle) {
      DecodeRLE(data, target.area, len, frameSize, bitsAllocated);
      return;
    }
    if (!DecodeJpegOrJ2k(transferSyntax, data, len, target))
      throw FrameDecodeError("frame " + std::to_string(f) + " did not decode");
  };

  if (frames == 1) {
    // A single frame may be split over several fragments: join them in order. A frame in one
    // fragment, the usual case, is decoded where it lies.
    int fragments = 0;
    while (EntryIs(*this, next + fragments, tag::kItem)) ++fragments;
    if (fragments == 0) throw std::out_of_range("no fragment");
    if (fragments == 1) {
      const DcmTag* item = TagAt(next);
      decodeFrame(item->data.data(), static_cast<uint32_t>(item->data.size()), 0);
      Delete(next);
    } else {
      std::vector<uint8_t> joined;
      for (; fragments > 0; --fragments) {
        const DcmTag* item = TagAt(next);
        joined.insert(joined.end(), item->data.begin(), item->data.end());
        Delete(next);
      }
      if (joined.size() > kMaxElementLength) throw std::out_of_range("fragments too long");
      decodeFrame(joined.data(), static_cast<uint32_t>(joined.size()), 0);
    }
  } else {
    for (int f = 0; f < frames; ++f) {
      if (!EntryIs(*this, next, tag::kItem)) throw std::out_of_range("missing fragment");
      const DcmTag* item = TagAt(next);
      decodeFrame(item->data.data(), static_cast<uint32_t>(item->data.size()), f);
      Delete(next);
    }
  }

  // The delimiter must follow. Baseline streams missing it entirely are tolerated; anything
  // else there (a surplus fragment, another element) means the structure was not understood.
  if (next >= Count() && transferSyntax == ts::kJpegBaseline) {
    LogWrite("ERROR, Decompressing image, end of stream");
    return;
  }
  if (!EntryIs(*this, next, tag::kSequenceDelimitationItem))
    throw std::out_of_range("no sequence delimiter");
  Delete(next);
}
