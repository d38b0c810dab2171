// Transfer-syntax conversion of a whole data set: one pass over the top-level entries captures
// the pixel-module values of group 0028 and rewrites those the target changes; at Pixel Data the
// current encoding is decoded into one native buffer, which is then encoded for the target.
// Afterwards the lossy marks are added and the object is relabelled.
//
// Only top-level elements count: group 0028 values inside sequences (icons, functional groups)
// belong to other images and are left alone.
#include <charconv>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "dicom/DcmObj.h"
#include "dicom/Nesting.h"
#include "dicom/TagKeyOps.h"
#include "dicom/Tags.h"
#include "dicom/TransferSyntaxes.h"
#include "dicom/UidRegistry.h"
#include "dicom/codec/PixelSize.h"
#include "dicom/codec/Rescale.h"
#include "dicom/util/Log.h"
#include "dicom/util/TextUtil.h"

namespace {

// The image pixel description, (0028,xxxx): the attributes a conversion reads and rewrites.
constexpr uint16_t kImagePixelGroup = tag::kRows.group;

struct PixelModule {
  std::string modality;
  bool colour = false;
  uint16_t planarConfiguration = 0;
  int frames = 0;
  uint16_t rows = 1;
  uint16_t columns = 1;
  uint16_t bitsAllocated = 1;
  uint16_t bitsStored = 1;
  uint16_t pixelRepresentation = 0;
  float intercept = 0.0f;
  float slope = 1.0f;
  float ratio = 0.0f;
};

void SetUShortValue(DcmTag& t, uint16_t v) {
  const uint8_t bytes[2] = {static_cast<uint8_t>(v & 0xFF), static_cast<uint8_t>(v >> 8)};
  t.SetData(bytes, 2);
}

void SetTextValue(DcmTag& t, std::string_view text) {
  t.SetData(text.data(), static_cast<uint32_t>(text.size()));
}

bool IsLossyTarget(const std::string& t) {
  return t == ts::kJpegBaseline || t == ts::kJpegExtended || t == ts::kJ2k;
}

// Syntaxes with neither a decoder nor an encoder here, or whose values are big endian.
bool Unconvertible(const std::string& source, const std::string& target) {
  return target == ts::kRle || target == ts::kJpegLossless || target == ts::kMpeg2 ||
         source == ts::kMpeg2 || source == ts::kExplicitBE || target == ts::kExplicitBE;
}

const char* InterceptText(const PixelModule& m) { return m.modality == "CT" ? "-1024 " : "0 "; }

// The slope that undoes the 8-bit rescaling: its divisor as text, padded to even length.
std::string BaselineSlopeText(const PixelModule& m) {
  std::string text = std::to_string(EightBitDivisor(m.bitsStored, m.modality));
  if (text.size() % 2) text += ' ';
  return text;
}

// Captures one top-level group 0028 element; photometric interpretation and planar
// configuration are rewritten at once.
void Capture(DcmObj& obj, DcmTag& t, PixelModule& m, const std::string& target) {
  switch (t.element) {
    case tag::kPhotometricInterpretation.element: {
      const std::string pi = t.GetString();
      m.colour = pi.rfind("MON", 0) != 0 && pi.rfind("PAL", 0) != 0;
      obj.photometricInterpretation = pi;
      // Decoders deliver RGB samples; native samples keep what they were.
      if (m.colour && target == ts::kJpegBaseline)
        SetTextValue(t, "YBR_FULL");
      else if (m.colour && !ts::IsNative(obj.transferSyntax))
        SetTextValue(t, "RGB ");
      break;
    }
    case tag::kPlanarConfiguration.element:
      m.planarConfiguration = t.GetUShort();
      if (m.planarConfiguration == 1) SetUShortValue(t, 0);  // the buffer is made interleaved
      break;
    case tag::kNumberOfFrames.element:
      m.frames = DecimalOrZero(t.GetString());  // "3x" is no count, not 3
      break;
    case tag::kRows.element:
      m.rows = t.GetUShort();
      break;
    case tag::kColumns.element:
      m.columns = t.GetUShort();
      break;
    case tag::kBitsAllocated.element:
      m.bitsAllocated = t.GetUShort();
      break;
    case tag::kBitsStored.element:
      m.bitsStored = t.GetUShort();
      break;
    case tag::kPixelRepresentation.element:
      m.pixelRepresentation = t.GetUShort();
      break;
    case tag::kRescaleIntercept.element:
      m.intercept = t.GetFloat();
      break;
    case tag::kRescaleSlope.element:
      m.slope = t.GetFloat();
      break;
    default:
      break;
  }
}

// What a target rewrites while bits stored (as captured so far) differs from `keptAtBitsStored`:
// a new US value, or -1 for kept, of (0028,0100) to (0028,0103); then the rescale texts, the
// intercept "-1024 " for CT else "0 ", the slope "1 " or, for baseline JPEG, the divisor's.
// Lossless JPEG 2000 keeps the stored values, so only the lossy target rescales.
struct TargetRewrite {
  std::string_view target;
  uint16_t keptAtBitsStored;
  int bitsAllocated, bitsStored, highBit, pixelRepresentation;
  bool divisorSlope;
};

constexpr TargetRewrite kTargetRewrites[] = {
    {ts::kJpegBaseline, 8, 8, 8, 7, 0, true},
    {ts::kJpegExtended, 12, -1, 12, 11, 0, false},
    {ts::kJ2k, 8, -1, -1, -1, -1, false},
};

// The target's rewrites, tested with the values captured so far (so (0028,0100) still sees the
// default bits stored when it is tested for baseline JPEG).
void Rewrite(DcmTag& t, const PixelModule& m, const std::string& target) {
  for (const TargetRewrite& r : kTargetRewrites) {
    if (target != r.target || m.bitsStored == r.keptAtBitsStored) continue;
    int value = -1;
    switch (t.element) {
      case tag::kBitsAllocated.element:
        value = r.bitsAllocated;
        break;
      case tag::kBitsStored.element:
        value = r.bitsStored;
        break;
      case tag::kHighBit.element:
        value = r.highBit;
        break;
      case tag::kPixelRepresentation.element:
        value = r.pixelRepresentation;
        break;
      case tag::kRescaleIntercept.element:
        SetTextValue(t, InterceptText(m));
        break;
      case tag::kRescaleSlope.element:
        SetTextValue(t, r.divisorSlope ? BaselineSlopeText(m) : std::string("1 "));
        break;
      default:
        break;
    }
    if (value >= 0) SetUShortValue(t, static_cast<uint16_t>(value));
    return;
  }
}

// Planar (all R, then all G, then all B) to pixel-interleaved, frame by frame, moving whole
// samples of `sampleBytes` bytes so 16-bit planes keep their byte pairs together.
void Interleave(const uint8_t* planar, uint8_t* out, uint32_t size, int frames,
                uint32_t sampleBytes) {
  const uint32_t frameSize = size / static_cast<uint32_t>(frames);
  const size_t plane = frameSize / 3;
  const size_t samples = plane / sampleBytes;
  for (int f = 0; f < frames; ++f) {
    const uint8_t* in = planar + static_cast<size_t>(f) * frameSize;
    uint8_t* o = out + static_cast<size_t>(f) * frameSize;
    for (size_t k = 0; k < samples; ++k)
      for (size_t c = 0; c < 3; ++c)
        std::memcpy(o + (3 * k + c) * sampleBytes, in + c * plane + k * sampleBytes, sampleBytes);
  }
}

std::string RatioText(float ratio) {
  char text[64];
  const auto r = std::to_chars(text, text + sizeof text, static_cast<double>(ratio),
                               std::chars_format::fixed, 2);
  return std::string(text, r.ptr);
}

}  // namespace

bool DcmObj::ConvertTransferSyntax(const std::string& targetUid) {
  if (targetUid.empty() || targetUid == transferSyntax) return true;
  const bool newExplicitVR = targetUid != ts::kImplicitLE;
  if (!IsSupportedTransferSyntax(transferSyntax) || !IsSupportedTransferSyntax(targetUid) ||
      Unconvertible(transferSyntax, targetUid))
    return false;

  PixelModule m;
  bool pixelFound = false;
  bool result = false;
  NestingState nesting;
  for (int i = 0; i < Count(); ++i) {
    const bool top = nesting.TopLevel();
    DcmTag* t = TagAt(i);
    if (!t || !top) {
      if (t) nesting.Advance(*t);
      continue;
    }
    if (IsTag(*t, tag::kModality)) m.modality = t->GetString();
    if (t->group == kImagePixelGroup) {
      Capture(*this, *t, m, targetUid);
      Rewrite(*t, m, targetUid);
    }
    if (!IsTag(*t, tag::kPixelData)) {
      nesting.Advance(*t);
      continue;
    }

    // Pixel data: decode into one native buffer, then encode it for the target.
    pixelFound = true;
    if (m.frames <= 0) m.frames = 1;
    const uint64_t size64 = NativePixelSize(m.columns, m.rows, m.bitsAllocated, m.colour, m.frames);
    if (size64 == 0 || size64 > kMaxElementLength) {
      LogWrite("ERROR, DcmObj::ConvertTransferSyntax, size=" + std::to_string(size64));
      return false;
    }
    const uint32_t size = static_cast<uint32_t>(size64);
    std::unique_ptr<uint8_t[]> buffer;
    if (t->length == kUndefinedLength) {
      try {
        buffer.reset(new uint8_t[size]());  // zeroed: nothing unwritten ever goes out
        Decomp(i, buffer.get(), size, m.frames, m.bitsAllocated);
      } catch (const std::exception&) {
        LogWrite("ERROR, DcmObj::ConvertTransferSyntax, Exception on Decomp");
        return false;
      }
    } else {
      if (t->length != size && t->length != size + 1) {
        LogWrite("ERROR, DcmObj::ConvertTransferSyntax, tag->length!=size");
        return false;
      }
      try {
        buffer.reset(new uint8_t[size]());
      } catch (const std::bad_alloc&) {
        LogWrite("ERROR, DcmObj::Comp, allocating memory: " + std::to_string(size));
        return false;
      }
      if (m.colour && m.planarConfiguration == 1)
        Interleave(t->data.data(), buffer.get(), size, m.frames,
                   m.bitsAllocated > 8 ? m.bitsAllocated / 8u : 1u);
      else
        std::memcpy(buffer.get(), t->data.data(), size);
    }
    int pixelIndex = i;
    result =
        Comp(pixelIndex, buffer.get(), m.colour, m.columns, m.rows, m.bitsStored, m.bitsAllocated,
             m.pixelRepresentation, m.slope, m.intercept, m.ratio, m.frames, targetUid, m.modality);
    // Whatever Comp left at the pixel index (native or encapsulated), the walk resumes after it.
    i = pixelIndex;
  }

  if (IsLossyTarget(targetUid)) {
    SetString(tag::kLossyImageCompression, "01");
    SetString(tag::kLossyImageCompressionRatio, RatioText(m.ratio));
  }
  // Group lengths made stale by the rewrites and the re-encoding.
  NestingState scan;
  for (int i = 0; i < Count(); ++i) {
    DcmTag* t = TagAt(i);
    const bool top = t ? scan.Advance(*t) : scan.TopLevel();
    if (t && top && t->element == 0x0000 &&
        (t->group == kImagePixelGroup || t->group == tag::kPixelData.group)) {
      Delete(i);
      --i;
    }
  }
  transferSyntax = targetUid;
  explicitVR = newExplicitVR;
  return pixelFound && result;
}
