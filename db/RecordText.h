// Helpers the query records and the query translation share: the top-level walk over a data
// set and the text forms of element values. Internal to the database library.
#pragma once

#include <functional>
#include <string>

class DcmObj;
class DcmTag;

// Calls `visit` for each element outside every sequence, item and encapsulated value. Flat
// undefined-length structures are skipped with a depth count, so an inner delimiter never ends
// the skip early; nested data sets are passed over.
void ForEachTopLevelElement(const DcmObj& dataSet, const std::function<void(const DcmTag&)>& visit);

// The value bytes as text up to the first NUL (the whole value when there is none).
std::string ValueText(const DcmTag& element);
// Removes bytes of code 0x20 and below from both ends (bytes from 0x80 stay).
std::string TrimText(const std::string& text);
