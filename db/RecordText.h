// Helpers the query records and the query translation share: the top-level walk over a data
// set and the text forms of element values. Internal to the database library.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>

class DcmObj;
class DcmTag;

// Calls `visit` for each element outside every sequence, item and encapsulated value. Flat
// undefined-length structures are skipped with a depth count, so an inner delimiter never ends
// the skip early; nested data sets are passed over.
void ForEachTopLevelElement(const DcmObj& dataSet, const std::function<void(const DcmTag&)>& visit);

// One group's setter of a query record: it takes the element number and the value text.
struct GroupSetter {
  uint16_t group;
  std::function<void(uint16_t element, const std::string& value)> set;
};
// Hands each top-level element that holds a value to the setter of its group, with the text
// `textOf` makes of it. Elements of length 0 leave their fields alone; groups without a setter
// are ignored.
void ReadTopLevelValues(const DcmObj& dataSet,
                        const std::function<std::string(const DcmTag&)>& textOf,
                        std::initializer_list<GroupSetter> setters);

// The value bytes as text up to the first NUL (the whole value when there is none).
std::string ValueText(const DcmTag& element);
// Removes bytes of code 0x20 and below from both ends (bytes from 0x80 stay).
std::string TrimText(const std::string& text);
