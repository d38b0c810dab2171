// SeriesInfo over its rows (db/RecordTable.cpp).
#include "db/SeriesInfo.h"

#include "db/RecordTable.h"
#include "dicom/util/TextUtil.h"

void SeriesInfo::ReadDCO(const DcmObj& dataSet) {
  ReadAttributes(*this, SeriesAttributes(), dataSet, ValueText);
}

void SeriesInfo::SetGroup0008(uint16_t element, const std::string& value) {
  SetAttribute(*this, SeriesAttributes(), {0x0008, element}, value);
}

void SeriesInfo::SetGroup0018(uint16_t element, const std::string& value) {
  SetAttribute(*this, SeriesAttributes(), {0x0018, element}, value);
}

void SeriesInfo::SetGroup0020(uint16_t element, const std::string& value) {
  SetAttribute(*this, SeriesAttributes(), {0x0020, element}, value);
}

void SeriesInfo::WriteDCO(DcmObj& identifier) const {
  WriteAttributes(*this, SeriesAttributes(), identifier);
}
