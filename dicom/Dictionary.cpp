// Dictionary lookup: a scan in table order, so the first row with a tag wins.
#include "dicom/Dictionary.h"

const DictionaryRow* LookupDictionary(uint16_t group, uint16_t element) {
  for (const DictionaryRow* row = DataDictionary; row->vr[0] != 0; ++row) {
    if (row->group == group && row->element == element) return row;
  }
  return nullptr;
}
