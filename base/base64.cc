#include "base/base64.h"

#include <stdint.h>

#include <array>

namespace base {
inline namespace zqe {

namespace {

constexpr uint8_t kInvalid = 0xFF;

// The 6-bit value of each byte of the standard alphabet; kInvalid for every
// other byte.
constexpr std::array<uint8_t, 256> MakeDecodeTable() {
  std::array<uint8_t, 256> table{};
  for (uint8_t& value : table)
    value = kInvalid;
  const char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (uint8_t i = 0; i < 64; ++i)
    table[static_cast<unsigned char>(kAlphabet[i])] = i;
  return table;
}

constexpr std::array<uint8_t, 256> kDecodeTable = MakeDecodeTable();

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

  const auto* in = reinterpret_cast<const unsigned char*>(input.data());
  std::string decoded(data_length / 4 * 3 + 2, '\0');
  auto* out = reinterpret_cast<unsigned char*>(decoded.data());
  size_t written = 0;
  size_t i = 0;
  // Whole quanta of four characters, three bytes each.
  for (; i + 4 <= data_length; i += 4) {
    const uint32_t a = kDecodeTable[in[i]];
    const uint32_t b = kDecodeTable[in[i + 1]];
    const uint32_t c = kDecodeTable[in[i + 2]];
    const uint32_t d = kDecodeTable[in[i + 3]];
    if ((a | b | c | d) & 0x80)  // Only kInvalid has the high bit set.
      return false;
    const uint32_t bits = (a << 18) | (b << 12) | (c << 6) | d;
    out[written++] = static_cast<unsigned char>(bits >> 16);
    out[written++] = static_cast<unsigned char>(bits >> 8);
    out[written++] = static_cast<unsigned char>(bits);
  }
  // With the length a multiple of 4 and at most two "=", the last quantum
  // holds 2 or 3 characters (one or two bytes). Its leftover bits are
  // dropped, as every common decoder does.
  uint32_t bits = 0;
  const size_t rest = data_length - i;
  for (size_t j = 0; j < rest; ++j) {
    const uint32_t value = kDecodeTable[in[i + j]];
    if (value == kInvalid)
      return false;
    bits = (bits << 6) | value;
  }
  if (rest == 2) {
    out[written++] = static_cast<unsigned char>(bits >> 4);
  } else if (rest == 3) {
    out[written++] = static_cast<unsigned char>(bits >> 10);
    out[written++] = static_cast<unsigned char>(bits >> 2);
  }
  decoded.resize(written);

  if (output)
    output->swap(decoded);
  return true;
}

}  // namespace zqe
}  // namespace base
