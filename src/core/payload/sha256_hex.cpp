// The digest as text, the same whichever implementation made it (sha256.cpp
// or the installers' win_sha256.cpp).
#include "core/payload/sha256.h"

namespace brisko {

std::string Sha256::Hex(const Digest& digest) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (std::uint8_t b : digest) {
    hex += kDigits[b >> 4];
    hex += kDigits[b & 15];
  }
  return hex;
}

}  // namespace brisko
