// The study-level query record: one study as registration stores it, as the keys of an outgoing
// STUDY query, and as one C-FIND result read back.
#pragma once

#include <cstdint>
#include <string>

class DcmObj;

class StudyInfo {
 public:
  // How ReadDCO takes a Patient Name: as sent, or first in the form registration stores
  // (StoredPatientName). Either way each "," then becomes "^".
  enum class NameForm { AsSent, Stored };
  // Fills fields from the data set's top-level elements (values inside sequences are never
  // taken); absent or empty elements leave their fields as they are.
  void ReadDCO(const DcmObj& dataSet, NameForm nameForm = NameForm::AsSent);
  // Appends the 13 STUDY query keys in tag order, (0008,0052) "STUDY " among them.
  void WriteDCO(DcmObj& identifier) const;

  // Store the trimmed value of one element of the group; unknown elements are ignored.
  void SetGroup0008(uint16_t element, const std::string& value);
  void SetGroup0010(uint16_t element, const std::string& value);
  void SetGroup0020(uint16_t element, const std::string& value);

  std::string StudyInstanceUID;
  std::string StudyDate;
  std::string StudyTime;
  std::string StudyID;
  std::string StudyDescription;
  std::string AccessionNumber;
  std::string InstitutionName;
  std::string ReferPhysician;
  std::string StudyModality;
  std::string StationName;
  std::string PatientID;
  std::string PatientName;
  std::string PatientBD;
  std::string PatientSex;
  std::string PatientsAge;
  std::string PatientsWeight;
};
