#include "db/StoreContainment.h"

#include <climits>
#include <cstdlib>

#include "db/StoreNames.h"
#include "platform/ExeFolder.h"
#include "platform/Files.h"

namespace {

std::string Canonical(const std::string& path) {
  char resolved[PATH_MAX];
  if (!realpath(path.c_str(), resolved)) return {};
  return resolved;
}

}  // namespace

bool IsFolderStrictlyInsideStore(const std::string& folder) {
  std::string path = folder;
  while (path.size() > 1 && path.back() == kPathSeparator) path.pop_back();
  if (!Files().IsDirectory(path)) return false;
  const std::string root = Canonical(ExeFolder + kStoreFolder);
  const std::string canonical = Canonical(path);
  if (root.empty() || canonical.empty()) return false;
  return canonical.size() > root.size() + 1 && canonical.compare(0, root.size(), root) == 0 &&
         canonical[root.size()] == kPathSeparator;
}
