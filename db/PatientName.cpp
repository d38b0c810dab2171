// The stored form of a Patient Name (see PatientName.h).
#include "db/PatientName.h"

#include "dicom/util/TextUtil.h"

std::string StoredPatientName(const std::string& name) {
  return TrimBlanks(ReplaceAll(name, "^", " "));
}
