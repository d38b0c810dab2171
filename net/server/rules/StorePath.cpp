#include "net/server/rules/StorePath.h"

#include <algorithm>

bool IsSafeUid(std::string_view uid) {
  if (uid.empty() || uid.size() > kMaxUidLength) return false;
  return std::all_of(uid.begin(), uid.end(),
                     [](char c) { return (c >= '0' && c <= '9') || c == '.'; });
}

bool IsSafePathComponent(std::string_view text) {
  if (text.empty() || text == "." || text == "..") return false;
  return text.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos;
}

std::optional<StoreLocation> BuildStoreLocation(const std::string& storeFolder,
                                                std::string_view studyDate,
                                                std::string_view studyFolder,
                                                std::string_view seriesFolder,
                                                std::string_view sopInstanceUid) {
  if (!IsSafePathComponent(studyDate) || !IsSafePathComponent(studyFolder) ||
      !IsSafePathComponent(seriesFolder) || !IsSafeUid(sopInstanceUid)) {
    return std::nullopt;
  }
  StoreLocation location;
  location.folder = storeFolder;
  location.folder.append(studyDate).append("/").append(studyFolder).append("/");
  location.folder.append(seriesFolder).append("/");
  location.file = location.folder;
  location.file.append(sopInstanceUid).append(".dcm");
  return location;
}

std::optional<std::string> SafeSeriesPath(std::string_view seriesPath) {
  std::string_view rest = seriesPath;
  if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
  if (rest.empty()) return std::nullopt;
  std::string out;
  while (!rest.empty()) {
    const size_t slash = rest.find('/');
    const std::string_view part = rest.substr(0, slash);
    if (!IsSafePathComponent(part)) return std::nullopt;
    out.append(part).append("/");
    if (slash == std::string_view::npos) break;
    rest.remove_prefix(slash + 1);
    if (rest.empty()) return std::nullopt;  // "a//" style empty component
  }
  return out;
}
