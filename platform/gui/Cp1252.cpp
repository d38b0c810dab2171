#include "platform/gui/Cp1252.h"

#include <QList>
#include <array>

namespace {

// 0x80..0x9F differ from Latin-1; 0 marks the five bytes Windows-1252 leaves undefined, which
// map to the C1 control of the same value so that every byte survives a round trip.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t ToUnicode(unsigned char byte) {
  if (byte >= 0x80 && byte < 0xA0) return kHighControls[byte - 0x80];
  return byte;
}

}  // namespace

QString FromCp1252(const std::string& bytes) {
  QString text;
  text.reserve(static_cast<qsizetype>(bytes.size()));
  for (char c : bytes) text.append(QChar(ToUnicode(static_cast<unsigned char>(c))));
  return text;
}

std::string ToCp1252(const QString& text) {
  std::string bytes;
  bytes.reserve(static_cast<size_t>(text.size()));
  // By code point, so a character beyond the 16-bit range (a surrogate pair) is one '?'.
  for (char32_t u : text.toUcs4()) {
    if (u < 0x80 || (u >= 0xA0 && u <= 0xFF)) {
      bytes.push_back(static_cast<char>(u));
      continue;
    }
    char out = '?';
    for (size_t i = 0; i < kHighControls.size(); ++i) {
      if (kHighControls[i] == u) out = static_cast<char>(0x80 + i);
    }
    bytes.push_back(out);
  }
  return bytes;
}
