// Text replacement and field splitting for the separated texts the program stores and reads
// (database rows with ";", paths with "/", list files with "," or "|").
#include "dicom/util/TextUtil.h"

#include <algorithm>
#include <charconv>
#include <cstring>
#include <ctime>

#include "dicom/DcmTag.h"

std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return text;
  std::string result = text;
  // Searching on after the inserted text (not from the start) keeps the loop finite when `to`
  // itself contains `from`.
  for (size_t pos = result.find(from); pos != std::string::npos;
       pos = result.find(from, pos + to.size())) {
    result.replace(pos, from.size(), to);
  }
  return result;
}

std::string GetField(int n, const std::string& separator, const std::string& text) {
  if (n < 1 || separator.empty()) return "";
  size_t start = 0;
  for (int field = 1;; ++field) {
    size_t end = text.find(separator, start);
    if (end == std::string::npos) return field == n ? text.substr(start) : "";
    if (field == n) return text.substr(start, end - start);
    start = end + separator.size();
  }
}

int DecimalOrZero(const std::string& text) {
  const char* begin = text.data();
  const char* end = begin + text.size();
  if (begin != end && *begin == '+') {  // from_chars takes "-" but not "+"; only one sign
    ++begin;
    if (begin != end && *begin == '-') return 0;
  }
  int n = 0;
  auto [ptr, ec] = std::from_chars(begin, end, n);
  if (begin == end || ec != std::errc() || ptr != end) return 0;
  return n;
}

std::string TodayAsDicomDate() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y%m%d", &local);
  return text;
}

std::string ValueText(const DcmTag& element) {
  if (element.length == kUndefinedLength) return {};
  const size_t n = std::min<size_t>(element.length, element.data.size());
  const char* p = reinterpret_cast<const char*>(element.data.data());
  const void* zero = n ? std::memchr(p, 0, n) : nullptr;
  return std::string(p, zero ? static_cast<const char*>(zero) - p : n);
}

namespace {
bool IsBlank(char c) { return c == ' '; }
bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= 0x20; }

template <typename Drop>
std::string_view TrimStart(std::string_view text, Drop drop) {
  size_t begin = 0;
  while (begin < text.size() && drop(text[begin])) ++begin;
  return text.substr(begin);
}

template <typename Drop>
std::string_view TrimEnd(std::string_view text, Drop drop) {
  size_t end = text.size();
  while (end > 0 && drop(text[end - 1])) --end;
  return text.substr(0, end);
}
}  // namespace

std::string TrimControlAndBlanks(std::string_view text) {
  return std::string(TrimEnd(TrimStart(text, IsBlankOrControl), IsBlankOrControl));
}

std::string_view TrimLeadingBlanks(std::string_view text) { return TrimStart(text, IsBlank); }

std::string_view TrimTrailingBlanks(std::string_view text) { return TrimEnd(text, IsBlank); }

std::string TrimBlanks(std::string_view text) {
  return std::string(TrimTrailingBlanks(TrimLeadingBlanks(text)));
}
