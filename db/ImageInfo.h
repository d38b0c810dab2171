// The object-level query record (registration row, IMAGE query keys, C-FIND result).
#pragma once

#include <cstdint>
#include <string>

class DcmObj;

class ImageInfo {
 public:
  // Top-level elements only (sequences of any depth are skipped). "US" values are read as a
  // little-endian 16-bit number (0 when shorter than 2 bytes). Never fails: a group 0028 number
  // that does not parse is stored as 0.
  void ReadDCO(const DcmObj& dataSet);
  // Appends the 16 IMAGE query keys in tag order, (0008,0052) "IMAGE " among them.
  void WriteDCO(DcmObj& identifier) const;

  void SetGroup0008(uint16_t element, const std::string& value);
  void SetGroup0020(uint16_t element, const std::string& value);
  void SetGroup0028(uint16_t element, const std::string& value);

  std::string SOPInstanceUID;
  std::string SOPClassUID;
  std::string InstanceNumber;
  std::string ContentDate;
  std::string ContentTime;
  std::string NumberOfFrames;
  std::string AcquisitionDate;
  std::string AcquisitionTime;
  std::string AcquisitionNumber;
  std::string SliceLocation;
  uint16_t SamplesPerPixel = 0;
  std::string PhotometricInterpretation;
  uint16_t Rows = 0;
  uint16_t Columns = 0;
  uint16_t BitsStored = 0;
  std::string ImageType;
  std::string PresentationIntentType;
  std::string ImageOrientationPatient;
  std::string ImagePositionPatient;
  std::string SeriesInstanceUID;
  std::string StudyInstanceUID;
  std::string ConvolutionKernel;
};
