// The comparison rules of the modality worklist: a text key against a Worklist column, and a
// date or time range against one. Pure functions of the two texts, independent of the locale.
#pragma once

#include <string_view>

// Case-insensitive byte equality under a fixed Windows-1252 letter fold.
bool EqualsIgnoringCase1252(std::string_view a, std::string_view b);

// True when the row's value does not match a text key. An empty key (zero value length)
// matches everything; otherwise the key is trimmed of bytes up to 0x20, an empty database value
// never matches, and a "*" ends the compared prefix ("smi*" matches "Smith", "*" every
// non-empty value). "?" is an ordinary character. The database value is not trimmed.
bool MatchString(std::string_view key, std::string_view value);

// True when the row's value does not match a range key: "d" (equal), "-d2" (up to d2),
// "d1-" (from d1 on), both compared as bytes; "d1-d2" compares the numbers that strtod reads
// in the C locale. An empty key or an empty database value always matches.
bool MatchDateRange(std::string_view key, std::string_view value);
