// ImageInfo over its rows (db/RecordTable.cpp).
#include "db/ImageInfo.h"

#include "db/RecordTable.h"
#include "dicom/DcmTag.h"
#include "dicom/util/TextUtil.h"

void ImageInfo::ReadDCO(const DcmObj& dataSet) {
  // "US": the first two value bytes as a little-endian number (0 when shorter than 2 bytes).
  auto textOf = [](const DcmTag& tag) {
    return tag.HasVR("US") ? std::to_string(tag.GetUShort()) : ValueText(tag);
  };
  ReadAttributes(*this, ImageAttributes(), dataSet, textOf);
}

void ImageInfo::SetGroup0008(uint16_t element, const std::string& value) {
  SetAttribute(*this, ImageAttributes(), {0x0008, element}, value);
}

void ImageInfo::SetGroup0020(uint16_t element, const std::string& value) {
  SetAttribute(*this, ImageAttributes(), {0x0020, element}, value);
}

void ImageInfo::SetGroup0028(uint16_t element, const std::string& value) {
  SetAttribute(*this, ImageAttributes(), {0x0028, element}, value);
}

void ImageInfo::WriteDCO(DcmObj& identifier) const {
  WriteAttributes(*this, ImageAttributes(), identifier);
}
