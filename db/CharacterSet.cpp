// Conversion of received text into the database's encoding (see CharacterSet.h).
#include "db/CharacterSet.h"

#include <cstdint>

#include "dicom/DcmObj.h"
#include "dicom/Tags.h"

namespace {

constexpr char kUnrepresentable = '?';

// Code points with one and the same byte in Windows-1252 and ISO 8859-1: the byte is the code
// point. U+0080 to U+009F are C1 controls in one and printable characters in the other.
bool HeldByDatabase(uint32_t codePoint) {
  return codePoint < 0x80 || (codePoint >= 0xA0 && codePoint <= 0xFF);
}

// `held` is cleared by the first character that the database cannot hold.
std::string FromLatin1(std::string_view text, bool& held) {
  std::string out(text);
  for (char& c : out) {
    if (HeldByDatabase(static_cast<uint8_t>(c))) continue;
    c = kUnrepresentable;
    held = false;
  }
  return out;
}

// A lead byte's sequence length and the bits it carries; length 0 for a byte no sequence starts
// with (a continuation byte, or 0xF8 and above).
struct Lead {
  size_t length;
  uint32_t bits;
  uint32_t smallest;  // below this the sequence is an overlong form
};

Lead ReadLead(uint8_t byte) {
  if ((byte & 0xE0) == 0xC0) return {2, byte & 0x1Fu, 0x80};
  if ((byte & 0xF0) == 0xE0) return {3, byte & 0x0Fu, 0x800};
  if ((byte & 0xF8) == 0xF0) return {4, byte & 0x07u, 0x10000};
  return {0, 0, 0};
}

// Every sequence is checked against the bytes that remain; a truncated or malformed one takes
// the bytes that belong to it and gives a single "?", so the rest of the text still decodes.
std::string FromUtf8(std::string_view text, bool& held) {
  std::string out;
  out.reserve(text.size());
  size_t i = 0;
  while (i < text.size()) {
    const auto byte = static_cast<uint8_t>(text[i]);
    if (byte < 0x80) {
      out += static_cast<char>(byte);
      ++i;
      continue;
    }
    const Lead lead = ReadLead(byte);
    if (lead.length == 0) {
      out += kUnrepresentable;
      held = false;
      ++i;
      continue;
    }
    uint32_t codePoint = lead.bits;
    size_t taken = 1;
    while (taken < lead.length && i + taken < text.size() &&
           (static_cast<uint8_t>(text[i + taken]) & 0xC0) == 0x80) {
      codePoint = (codePoint << 6) | (static_cast<uint8_t>(text[i + taken]) & 0x3Fu);
      ++taken;
    }
    i += taken;
    const bool whole = taken == lead.length && codePoint >= lead.smallest &&
                       codePoint <= 0x10FFFF && !(codePoint >= 0xD800 && codePoint <= 0xDFFF);
    if (whole && HeldByDatabase(codePoint)) {
      out += static_cast<char>(codePoint);
    } else {
      out += kUnrepresentable;
      held = false;
    }
  }
  return out;
}

std::string Convert(std::string_view text, ReceivedCharacterSet from, bool& held) {
  switch (from) {
    case ReceivedCharacterSet::Utf8:
      return FromUtf8(text, held);
    case ReceivedCharacterSet::Latin1:
      return FromLatin1(text, held);
    case ReceivedCharacterSet::AsStored:
      break;
  }
  return std::string(text);
}

}  // namespace

ReceivedCharacterSet DeclaredCharacterSet(const DcmObj& dataSet) {
  const std::string declared = dataSet.GetString(tag::kSpecificCharacterSet);
  if (declared == "ISO_IR 192") return ReceivedCharacterSet::Utf8;
  if (declared == "ISO_IR 100") return ReceivedCharacterSet::Latin1;
  return ReceivedCharacterSet::AsStored;
}

std::string ToDatabaseText(std::string_view text, ReceivedCharacterSet from) {
  bool held = true;
  return Convert(text, from, held);
}

bool DatabaseHolds(std::string_view text, ReceivedCharacterSet from) {
  bool held = true;
  Convert(text, from, held);
  return held;
}

std::string FromDatabaseText(std::string_view text, ReceivedCharacterSet to) {
  if (to != ReceivedCharacterSet::Utf8) return std::string(text);
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) {
    const auto byte = static_cast<uint8_t>(c);
    if (byte < 0x80) {
      out += c;
    } else {
      out += static_cast<char>(0xC0 | (byte >> 6));
      out += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return out;
}

bool HasBytesAbove7F(std::string_view text) {
  for (char c : text)
    if (static_cast<uint8_t>(c) > 0x7F) return true;
  return false;
}
