#include "base/base64.h"

#include <stdint.h>

namespace base {

namespace {

// The 6-bit value of a character of the standard alphabet, or -1.
int DecodeChar(unsigned char c) {
  if (c >= 'A' && c <= 'Z')
    return c - 'A';
  if (c >= 'a' && c <= 'z')
    return c - 'a' + 26;
  if (c >= '0' && c <= '9')
    return c - '0' + 52;
  if (c == '+')
    return 62;
  if (c == '/')
    return 63;
  return -1;
}

}  // namespace

bool Base64Decode(const std::string& input, std::string* output) {
  if (input.size() % 4 != 0)
    return false;

  // Up to two "=" may end the text; nowhere else are they allowed.
  size_t data_length = input.size();
  size_t padding = 0;
  while (padding < 2 && data_length > 0 && input[data_length - 1] == '=') {
    --data_length;
    ++padding;
  }

  std::string decoded;
  decoded.reserve(input.size() / 4 * 3);
  uint32_t accumulator = 0;
  int bits = 0;
  for (size_t i = 0; i < data_length; ++i) {
    int value = DecodeChar(static_cast<unsigned char>(input[i]));
    if (value < 0)
      return false;
    accumulator = (accumulator << 6) | static_cast<uint32_t>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      decoded.push_back(static_cast<char>((accumulator >> bits) & 0xFF));
    }
  }
  // With the length a multiple of 4 and at most two "=", the last quantum
  // holds 2 or 3 characters, so |bits| is 4 or 2 (or 0 without padding). The
  // leftover bits are dropped, as every common decoder does.

  if (output)
    output->swap(decoded);
  return true;
}

}  // namespace base
