#include "base/guid.h"

#include <stdint.h>

#include <openssl/rand.h>

namespace base {
inline namespace zqe {

std::string GenerateGUID() {
  unsigned char bytes[16];
  if (RAND_bytes(bytes, sizeof(bytes)) != 1)
    return std::string();

  // Version 4 (random) in the high nibble of byte 6; the RFC 4122 variant
  // (binary 10) in the two high bits of byte 8.
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);

  static const char kHexDigits[] = "0123456789ABCDEF";
  std::string guid;
  guid.reserve(36);
  for (size_t i = 0; i < sizeof(bytes); ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10)
      guid.push_back('-');
    guid.push_back(kHexDigits[bytes[i] >> 4]);
    guid.push_back(kHexDigits[bytes[i] & 0x0F]);
  }
  return guid;
}

}  // namespace zqe
}  // namespace base
