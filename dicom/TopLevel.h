// The one walk over a data set's top-level elements, by the rules insertion and lookup by tag
// use (dicom/Nesting.h): what lies inside a flat sequence, item or encapsulated pixel data is not
// top level, nested data sets are passed over, and an undefined-length element that opens no
// structure (an OB, say) is an ordinary top-level element. Readers above the data set model that
// pick values out of a data set walk it here, so they never disagree with GetString.
#pragma once

#include <functional>

class DcmObj;
class DcmTag;

// Calls `visit` for each top-level element in list order (openers of flat structures included).
void ForEachTopLevelElement(const DcmObj& dataSet, const std::function<void(const DcmTag&)>& visit);
