// The stored form of a Patient Name (see PatientName.h).
#include "db/PatientName.h"

#include "dicom/util/TextUtil.h"

std::string StoredPatientName(const std::string& name) {
  const std::string blanked = ReplaceAll(name, "^", " ");
  const size_t first = blanked.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return blanked.substr(first, blanked.find_last_not_of(' ') - first + 1);
}
