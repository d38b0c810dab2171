// The fixed tables of known UIDs: the SOP classes the server negotiates, the transfer syntaxes
// the conversion handles, and display names. Comparison is exact, after dropping trailing NULs.
#pragma once

#include <string>
#include <string_view>

bool IsServiceSOPClass(std::string_view uid);
bool IsNonImageStorageSOPClass(std::string_view uid);
bool IsImageStorageSOPClass(std::string_view uid);
bool IsSupportedTransferSyntax(std::string_view uid);
std::string UIDToName(std::string_view uid);  // "" when the UID has no display name
