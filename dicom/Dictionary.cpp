// Dictionary lookup with the table's meaning: the first row with a tag wins, and the table ends at
// the first row without a VR. Every element read in implicit VR and every dump line looks a tag
// up, so the rows are indexed once, sorted by tag, instead of scanned.
#include "dicom/Dictionary.h"

#include <algorithm>
#include <vector>

namespace {

struct IndexEntry {
  uint32_t key;  // group << 16 | element
  const DictionaryRow* row;
};

uint32_t KeyOf(uint16_t group, uint16_t element) {
  return (static_cast<uint32_t>(group) << 16) | element;
}

std::vector<IndexEntry> BuildIndex() {
  std::vector<IndexEntry> index;
  for (const DictionaryRow* row = DataDictionary; row->vr[0] != 0; ++row) {
    index.push_back({KeyOf(row->group, row->element), row});
  }
  // Rows of one tag stay in table order (by address), so the first of them is the one found.
  std::sort(index.begin(), index.end(), [](const IndexEntry& a, const IndexEntry& b) {
    return a.key != b.key ? a.key < b.key : a.row < b.row;
  });
  return index;
}

}  // namespace

const DictionaryRow* LookupDictionary(uint16_t group, uint16_t element) {
  static const std::vector<IndexEntry> index = BuildIndex();
  const uint32_t key = KeyOf(group, element);
  auto it = std::lower_bound(index.begin(), index.end(), key,
                             [](const IndexEntry& e, uint32_t k) { return e.key < k; });
  return it != index.end() && it->key == key ? it->row : nullptr;
}
