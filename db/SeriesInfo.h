// The series-level query record (registration row, SERIES query keys, C-FIND result).
#pragma once

#include <cstdint>
#include <string>

class DcmObj;

class SeriesInfo {
 public:
  // Top-level elements only; absent or empty elements leave their fields as they are.
  void ReadDCO(const DcmObj& dataSet);
  // Appends the 13 SERIES query keys in tag order; (0008,0080) goes out as CS.
  void WriteDCO(DcmObj& identifier) const;

  void SetGroup0008(uint16_t element, const std::string& value);
  void SetGroup0018(uint16_t element, const std::string& value);
  void SetGroup0020(uint16_t element, const std::string& value);

  std::string SeriesInstanceUID;
  std::string SeriesNumber;
  std::string SeriesDate;
  std::string SeriesTime;
  std::string SeriesDescription;
  std::string Modality;
  std::string PatientPosition;
  std::string Manufacturer;
  std::string InstitutionName;
  std::string OperatorsName;
  std::string ModelName;
  std::string BodyPartExamined;
  std::string ProtocolName;
  std::string FrameOfReferenceUID;
  std::string StudyInstanceUID;
};
