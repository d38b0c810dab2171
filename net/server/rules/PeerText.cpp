#include "net/server/rules/PeerText.h"

namespace {
template <typename Drop>
std::string TrimWith(std::string_view text, Drop drop) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && drop(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && drop(static_cast<unsigned char>(text[end - 1]))) --end;
  return std::string(text.substr(begin, end - begin));
}
}  // namespace

std::string TrimBlanks(std::string_view text) {
  return TrimWith(text, [](unsigned char c) { return c == ' '; });
}

std::string StatusHex(unsigned status) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out(4, '0');
  for (int i = 3; i >= 0; --i, status >>= 4) out[i] = kDigits[status & 0xF];
  return out;
}
