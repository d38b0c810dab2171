// The one form in which the study database holds a Patient Name: each "^" of the DICOM person
// name a blank, blanks trimmed at both ends ("SMITH^ANNA^^" is "SMITH ANNA"). Registration stores
// every name so, whether the object was received or imported, and a STUDY-level Patient Name key
// is brought into the same form before it is compared. "?" and letter case are left alone.
#pragma once

#include <string>

std::string StoredPatientName(const std::string& name);
