// Text that a peer sent, made safe for the log and for comparisons.
//
// Peers choose their AE titles, names, UIDs and query levels; the log writer itself turns their
// control characters into ".", so log lines may carry them as received.
#pragma once

#include <string>
#include <string_view>

// Trims blanks (0x20 only) at both ends.
std::string TrimBlanks(std::string_view text);

// A DIMSE status as four upper-case hexadecimal digits ("A700").
std::string StatusHex(unsigned status);
