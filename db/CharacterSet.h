// The study database's one text encoding, and the conversion of received text into it.
//
// The database holds the characters that Windows-1252 and ISO 8859-1 (DICOM's "ISO_IR 100")
// share: ASCII and U+00A0 to U+00FF, one byte each. The browser reads the columns as
// Windows-1252 and a C-FIND response declares ISO_IR 100, so both show the same characters.
// Registration converts the text of a data set that declares UTF-8, or Latin-1 with bytes the
// two encodings read differently; everything else is stored as its bytes stand. Below: nothing
// but the data set model. The stored file is never touched here: it keeps its own bytes.
#pragma once

#include <string>
#include <string_view>

class DcmObj;

// The value of (0008,0005) that a response holding bytes above 0x7F declares.
inline constexpr const char* kDatabaseCharacterSet = "ISO_IR 100";

enum class ReceivedCharacterSet {
  AsStored,  // no declaration, or one registration does not convert: the bytes as they are
  Latin1,    // "ISO_IR 100"
  Utf8,      // "ISO_IR 192"
};

// What (0008,0005) of the data set or identifier declares, as far as conversion goes.
ReceivedCharacterSet DeclaredCharacterSet(const DcmObj& dataSet);

// The text in the database's encoding. A character the encoding cannot hold, a C1 control
// character, and each malformed UTF-8 sequence become one "?".
std::string ToDatabaseText(std::string_view text, ReceivedCharacterSet from);

// Whether ToDatabaseText gives every character of the text as itself, with no "?" of its own
// making. A search key that fails this would compare its "?" with every other character the
// database could not hold, and so find names it does not spell: such a key matches nothing.
bool DatabaseHolds(std::string_view text, ReceivedCharacterSet from);

// Database text written in the character set `to`, so that ToDatabaseText(result, to) gives the
// text back: UTF-8 for Utf8 (each byte its own code point), the bytes as they are otherwise. For
// values the database puts into an identifier that declares its own character set.
std::string FromDatabaseText(std::string_view text, ReceivedCharacterSet to);

// Whether the text has a byte above 0x7F, so that a response carrying it must declare
// kDatabaseCharacterSet.
bool HasBytesAbove7F(std::string_view text);
