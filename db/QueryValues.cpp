// Key values as each query level compares them, and the date/time range conditions.
#include <string>

#include "db/LocalQuery.h"
#include "db/PatientName.h"
#include "db/dbInsert.h"
#include "dicom/DcmTag.h"
#include "dicom/TagKeyOps.h"
#include "dicom/Tags.h"
#include "dicom/util/TextUtil.h"

// The value is first converted like registered text, then the pad goes, then the trailing run
// of "*" (a prefix search asks for no more than its stem), so "AB*C" keeps its inner wildcard;
// remaining "*" become "%". A Patient Name key is written the way names are stored before that
// (StoredPatientName), so "SMITH^ANNA^^" and "SMITH^*" find the stored "SMITH ANNA"; "?" stays
// an ordinary character.
std::string PrepareStudyValue(const DcmTag& element, ReceivedCharacterSet from) {
  if (element.length == 0 || element.length == kUndefinedLength) return {};
  const size_t size = std::min<size_t>(element.length, element.data.size());
  std::string bytes = ToDatabaseText(
      std::string_view(reinterpret_cast<const char*>(element.data.data()), size), from);
  if (IsTag(element, tag::kPatientName)) bytes = StoredPatientName(bytes);
  while (!bytes.empty() && static_cast<unsigned char>(bytes.back()) <= 0x20) bytes.pop_back();
  while (!bytes.empty() && bytes.back() == '*') bytes.pop_back();
  const size_t nul = bytes.find('\0');
  if (nul != std::string::npos) bytes.resize(nul);
  std::string text = TrimControlAndBlanks(bytes);
  for (char& c : text)
    if (c == '*') c = '%';
  return StoredText(text);
}

std::string PrepareSeriesValue(const DcmTag& element, ReceivedCharacterSet from) {
  return StoredText(TrimControlAndBlanks(ToDatabaseText(ValueText(element), from)));
}

// IMAGE keys compare like SERIES keys: the trimmed text, "*" an ordinary character.
std::string PrepareImageValue(const DcmTag& element, ReceivedCharacterSet from) {
  return PrepareSeriesValue(element, from);
}

bool BuildDateCondition(const std::string& value, const std::string& column, std::string& condition,
                        SqlValues& values) {
  condition.clear();
  if (value.empty()) return false;
  const size_t dash = value.find('-');
  if (dash == std::string::npos) {
    condition = column + "=?";
    values.emplace_back(value);
  } else if (dash == 0) {
    condition = column + " <= ?";
    values.emplace_back(std::string(TrimLeadingBlanks(std::string_view(value).substr(1))));
  } else if (const std::string upper = GetField(2, "-", value); !upper.empty()) {
    condition = "(" + column + " >= ?) AND (" + column + " <= ?)";
    values.emplace_back(std::string(TrimTrailingBlanks(std::string_view(value).substr(0, dash))));
    values.emplace_back(std::string(TrimLeadingBlanks(upper)));
  } else {
    condition = column + " >= ?";
    values.emplace_back(std::string(TrimTrailingBlanks(std::string_view(value).substr(0, dash))));
  }
  return true;
}
