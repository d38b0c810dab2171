// Small text helpers shared by every subsystem.
#pragma once

#include <string>
#include <string_view>

class DcmTag;

// T with every occurrence of F replaced by R (searching on after each inserted R).
std::string ReplaceAll(const std::string& text, const std::string& from, const std::string& to);
// The n-th field (from 1) of `text` split by `separator`; "" when missing.
std::string GetField(int n, const std::string& separator, const std::string& text);
// The whole text as a decimal integer with at most one leading sign; 0 when it is not one
// ("3x", "+-5", "", out of range).
int DecimalOrZero(const std::string& text);
// The element's value bytes as text up to the first NUL (the whole value when there is none);
// "" for a value of length 0 or undefined length. Never reads past `length` bytes.
std::string ValueText(const DcmTag& element);
// The text without the bytes of code 0x20 and below at either end (bytes from 0x80 stay): how
// element values, query keys and AE titles are compared and stored.
std::string TrimControlAndBlanks(std::string_view text);
// The text without the blanks (0x20 only) at its start or at its end; the result is a view into
// `text` and lives only as long as it does. Range bounds and UIDs of a peer are trimmed so.
std::string_view TrimLeadingBlanks(std::string_view text);
std::string_view TrimTrailingBlanks(std::string_view text);
// The text without the blanks (0x20 only) at both ends.
std::string TrimBlanks(std::string_view text);
// Today's local date as a DICOM DA value, "YYYYMMDD".
std::string TodayAsDicomDate();
