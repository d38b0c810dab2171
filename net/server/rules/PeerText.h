// Text that a peer's answer puts into the log.
//
// Peers choose their AE titles, names, UIDs and query levels; the log writer itself turns their
// control characters into ".", so log lines may carry them as received, and the text helpers
// (dicom/util/TextUtil.h) trim them for comparisons.
#pragma once

#include <string>

// A DIMSE status as four upper-case hexadecimal digits ("A700").
std::string StatusHex(unsigned status);
