#include "net/server/rules/PeerText.h"

std::string StatusHex(unsigned status) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out(4, '0');
  for (int i = 3; i >= 0; --i, status >>= 4) out[i] = kDigits[status & 0xF];
  return out;
}
