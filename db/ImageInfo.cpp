#include "db/ImageInfo.h"

#include <charconv>

#include "db/RecordText.h"
#include "dicom/DcmObj.h"
#include "dicom/DcmTag.h"

namespace {

// "US": the first two value bytes, little endian; a shorter value counts as 0.
std::string UnsignedShortText(const DcmTag& tag) {
  if (tag.data.size() < 2 || tag.length < 2) return "0";
  return std::to_string(static_cast<unsigned>(tag.data[0]) |
                        (static_cast<unsigned>(tag.data[1]) << 8));
}

// A decimal integer stored as its low 16 bits; anything else (never read by the system) is 0.
uint16_t ParseU16OrZero(const std::string& value) {
  const std::string text = TrimText(value);
  long long n = 0;
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, n);
  if (text.empty() || ec != std::errc() || ptr != end) return 0;
  return static_cast<uint16_t>(n);
}

}  // namespace

void ImageInfo::ReadDCO(const DcmObj& dataSet) {
  auto textOf = [](const DcmTag& tag) {
    return tag.HasVR("US") ? UnsignedShortText(tag) : ValueText(tag);
  };
  auto convolutionKernel = [this](uint16_t e, const std::string& v) {
    if (e == 0x1210) ConvolutionKernel = v;  // untrimmed
  };
  ReadTopLevelValues(dataSet, textOf,
                     {{0x0008, [this](uint16_t e, const std::string& v) { SetGroup0008(e, v); }},
                      {0x0018, convolutionKernel},
                      {0x0020, [this](uint16_t e, const std::string& v) { SetGroup0020(e, v); }},
                      {0x0028, [this](uint16_t e, const std::string& v) { SetGroup0028(e, v); }}});
}

void ImageInfo::SetGroup0008(uint16_t element, const std::string& value) {
  const std::string text = TrimText(value);
  switch (element) {
    case 0x0008:
      ImageType = text;
      break;
    case 0x0016:
      SOPClassUID = text;
      break;
    case 0x0018:
      SOPInstanceUID = text;
      break;
    case 0x0022:
      AcquisitionDate = text;
      break;
    case 0x0023:
      ContentDate = text;
      break;
    case 0x0032:
      AcquisitionTime = text;
      break;
    case 0x0033:
      ContentTime = text;
      break;
    case 0x0068:
      PresentationIntentType = text;
      break;
    default:
      break;
  }
}

void ImageInfo::SetGroup0020(uint16_t element, const std::string& value) {
  const std::string text = TrimText(value);
  switch (element) {
    case 0x000D:
      StudyInstanceUID = text;
      break;
    case 0x000E:
      SeriesInstanceUID = text;
      break;
    case 0x0012:
      AcquisitionNumber = text;
      break;
    case 0x0013:
      InstanceNumber = text;
      break;
    case 0x0032:
      ImagePositionPatient = text;
      break;
    case 0x0037:
      ImageOrientationPatient = text;
      break;
    case 0x1041:
      SliceLocation = text;
      break;
    default:
      break;
  }
}

void ImageInfo::SetGroup0028(uint16_t element, const std::string& value) {
  switch (element) {
    case 0x0002:
      SamplesPerPixel = ParseU16OrZero(value);
      break;
    case 0x0004:
      PhotometricInterpretation = TrimText(value);
      break;
    case 0x0008:
      NumberOfFrames = value;
      break;
    case 0x0010:
      Rows = ParseU16OrZero(value);
      break;
    case 0x0011:
      Columns = ParseU16OrZero(value);
      break;
    case 0x0101:
      BitsStored = ParseU16OrZero(value);
      break;
    default:
      break;
  }
}

void ImageInfo::WriteDCO(DcmObj& identifier) const {
  identifier.Add(new DcmTag(0x0008, 0x0008, ImageType, "CS"));
  identifier.Add(new DcmTag(0x0008, 0x0016, SOPClassUID, "UI"));
  identifier.Add(new DcmTag(0x0008, 0x0018, SOPInstanceUID, "UI"));
  identifier.Add(new DcmTag(0x0008, 0x0022, AcquisitionDate, "DA"));
  identifier.Add(new DcmTag(0x0008, 0x0023, ContentDate, "DA"));
  identifier.Add(new DcmTag(0x0008, 0x0032, AcquisitionTime, "TM"));
  identifier.Add(new DcmTag(0x0008, 0x0033, ContentTime, "TM"));
  identifier.Add(new DcmTag(0x0008, 0x0052, std::string("IMAGE"), "CS"));
  identifier.Add(new DcmTag(0x0020, 0x000D, StudyInstanceUID, "UI"));
  identifier.Add(new DcmTag(0x0020, 0x000E, SeriesInstanceUID, "UI"));
  identifier.Add(new DcmTag(0x0020, 0x0012, AcquisitionNumber, "IS"));
  identifier.Add(new DcmTag(0x0020, 0x0013, InstanceNumber, "IS"));
  identifier.Add(new DcmTag(0x0020, 0x0032, ImagePositionPatient, "DS"));
  identifier.Add(new DcmTag(0x0020, 0x0037, ImageOrientationPatient, "DS"));
  identifier.Add(new DcmTag(0x0020, 0x1041, SliceLocation, "DS"));
  identifier.Add(new DcmTag(0x0028, 0x0008, NumberOfFrames, "IS"));
}
