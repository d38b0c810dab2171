#include "app/SearchFilter.h"

#include <algorithm>

#include "dicom/util/TextUtil.h"

bool ListedInSearch(const std::string& studyModalities) {
  const std::string all = TrimControlAndBlanks(studyModalities);
  if (all.empty()) return true;
  for (size_t start = 0; start <= all.size();) {
    const size_t end = std::min(all.find_first_of("\\-", start), all.size());
    const std::string value = TrimControlAndBlanks(all.substr(start, end - start));
    if (value == "ECG" || value == "HD") return true;
    start = end + 1;
  }
  return false;
}
