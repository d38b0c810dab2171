// Text that a peer sent, made safe for the log and for comparisons.
//
// Peers choose their AE titles, names, UIDs and query levels; the log writer itself turns their
// control characters into ".", so log lines may carry them as received.
#pragma once

#include <string>
#include <string_view>

#include "dicom/util/TextUtil.h"

// TrimControlAndBlanks (bytes 0x00-0x20 off both ends) gives the calling AE title as every
// service sees it.

// Trims blanks (0x20 only) at both ends.
std::string TrimBlanks(std::string_view text);

// A DIMSE status as four upper-case hexadecimal digits ("A700").
std::string StatusHex(unsigned status);
