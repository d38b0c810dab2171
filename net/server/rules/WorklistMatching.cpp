#include "net/server/rules/WorklistMatching.h"

#include <locale.h>

#include <clocale>
#include <cstdlib>
#include <string>

#include "dicom/util/TextUtil.h"

namespace {
unsigned char Fold1252(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
  switch (c) {
    case 0x8A:
      return 0x9A;
    case 0x8C:
      return 0x9C;
    case 0x8E:
      return 0x9E;
    case 0x9F:
      return 0xFF;
    default:
      return c;
  }
}

// strtod in the C locale: Qt sets the user's locale at start-up, which would change "," and ".".
double LeadingNumber(const std::string& text) {
  static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return strtod_l(text.c_str(), nullptr, cLocale);
}

}  // namespace

bool EqualsIgnoringCase1252(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (Fold1252(static_cast<unsigned char>(a[i])) != Fold1252(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

bool MatchString(std::string_view key, std::string_view value) {
  if (key.empty()) return false;
  const std::string trimmed = TrimControlAndBlanks(key);
  if (value.empty()) return true;
  const size_t star = trimmed.find('*');
  if (star == std::string::npos) return !EqualsIgnoringCase1252(trimmed, value);
  const std::string_view prefix = std::string_view(trimmed).substr(0, star);
  if (value.size() < prefix.size()) return true;
  return !EqualsIgnoringCase1252(prefix, value.substr(0, prefix.size()));
}

bool MatchDateRange(std::string_view key, std::string_view value) {
  if (key.empty() || value.empty()) return false;
  const std::string trimmed = TrimControlAndBlanks(key);
  const std::string_view k = trimmed;
  const size_t dash = k.find('-');
  if (dash == std::string_view::npos) return value != k;
  if (dash == 0) return value > TrimLeadingBlanks(k.substr(1));
  if (dash + 1 < k.size()) {
    const std::string_view d1 = TrimTrailingBlanks(k.substr(0, dash));
    std::string_view d2 = k.substr(dash + 1);
    d2 = TrimLeadingBlanks(d2.substr(0, d2.find('-')));
    const double v = LeadingNumber(std::string(value));
    return LeadingNumber(std::string(d1)) > v || LeadingNumber(std::string(d2)) < v;
  }
  return value < TrimTrailingBlanks(k.substr(0, dash));
}
