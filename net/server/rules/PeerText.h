// Text that a peer sent, made safe for the log and for comparisons.
//
// Peers choose their AE titles, names, UIDs and query levels; written verbatim, a CR/LF in them
// would forge log lines. Every log line of the services passes peer text through SanitizeForLog.
#pragma once

#include <string>
#include <string_view>

// Bytes 0x00-0x1F and 0x7F become "."; every other byte is kept.
std::string SanitizeForLog(std::string_view text);

// Trims bytes 0x00-0x20 at both ends: the calling AE title as every service sees it.
std::string TrimControlAndBlanks(std::string_view text);

// Trims blanks (0x20 only) at both ends.
std::string TrimBlanks(std::string_view text);

// A DIMSE status as four upper-case hexadecimal digits ("A700").
std::string StatusHex(unsigned status);
