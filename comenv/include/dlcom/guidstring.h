// Text form of ids: "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", 38 characters,
// hex digits of either case.
//
// Contract:
// - `S2GUIDA(text, true)` parses the braced 38-character form at run time. It
//   never fails loudly: a null pointer or a text of any other length gives
//   `GUID_NULL`; a text of the right length that stops matching part-way gives
//   a record whose fields up to the mismatch are set and whose later fields
//   are 0 (exactly what the C library's formatted scan with the format
//   "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}" stores). Canonical
//   text takes a strict fast path; anything else goes through that formatted
//   scan, so every result equals the scan's. `S2GUIDA(text, false)` does the
//   same for the 36-character form without braces.
// - `by::GuidFromLiteral("{...}")` parses an id literal at compile time; a
//   literal that is not in canonical form does not compile. Use it for
//   constants so they are constant-initialised (valid during any static
//   initialisation, in any library).
// Thread-safety: pure functions of their arguments; no shared state.

#ifndef DLCOM_GUIDSTRING_H_
#define DLCOM_GUIDSTRING_H_

#include <cstdio>
#include <cstring>

#include "dlcom/guiddef.h"

namespace by {
namespace detail {

// Hex digit values; -1 for any other byte.
struct HexDigitTable {
  signed char value[256];
  constexpr HexDigitTable() : value() {
    for (int i = 0; i < 256; ++i)
      value[i] = -1;
    for (int i = 0; i < 10; ++i)
      value['0' + i] = static_cast<signed char>(i);
    for (int i = 0; i < 6; ++i) {
      value['a' + i] = static_cast<signed char>(10 + i);
      value['A' + i] = static_cast<signed char>(10 + i);
    }
  }
};
inline constexpr HexDigitTable kHexDigits{};

// Reads `count` hex digits at `s` into `*out`; false when any is not a digit.
constexpr bool ReadHexDigits(const char* s, int count, unsigned long* out) {
  unsigned long v = 0;
  for (int i = 0; i < count; ++i) {
    const int d = kHexDigits.value[static_cast<unsigned char>(s[i])];
    if (d < 0)
      return false;
    v = (v << 4) | static_cast<unsigned long>(d);
  }
  *out = v;
  return true;
}

// Strict parse of the canonical form: `s` holds at least 36 characters
// (38 when `braced`). Fills `*out` and returns true only when every group is
// made of hex digits and every separator is in place; `*out` is then exactly
// what the formatted scan would store.
constexpr bool ParseCanonicalGuid(const char* s, bool braced, ZQGUID* out) {
  if (braced) {
    if (s[0] != '{' || s[37] != '}')
      return false;
    ++s;
  }
  if (s[8] != '-' || s[13] != '-' || s[18] != '-' || s[23] != '-')
    return false;
  unsigned long d1 = 0, d2 = 0, d3 = 0;
  if (!ReadHexDigits(s, 8, &d1) || !ReadHexDigits(s + 9, 4, &d2) ||
      !ReadHexDigits(s + 14, 4, &d3)) {
    return false;
  }
  unsigned long bytes[8] = {};
  constexpr int kByteOffsets[8] = {19, 21, 24, 26, 28, 30, 32, 34};
  for (int i = 0; i < 8; ++i) {
    if (!ReadHexDigits(s + kByteOffsets[i], 2, &bytes[i]))
      return false;
  }
  out->ZQData1 = d1;
  out->ZQData2 = static_cast<unsigned short>(d2);
  out->ZQData3 = static_cast<unsigned short>(d3);
  for (int i = 0; i < 8; ++i)
    out->ZQData4[i] = static_cast<unsigned char>(bytes[i]);
  return true;
}

// Deliberately not constexpr: reaching it while evaluating an id literal
// stops compilation with its name in the diagnostic.
inline void IdLiteralIsNotCanonical() {}

// The formatted scan, for every text the strict path does not accept. `s`
// has exactly 38 (braced) or 36 characters.
inline ZQGUID ScanGuidText(const char* s, size_t length, bool braced) {
  // Copied a character at a time, up to a terminator: an optimising
  // compiler cannot then see a read past a shorter literal on a path the
  // caller's length check rules out.
  char buffer[128] = {};
  for (size_t i = 0; i < length && i < sizeof(buffer) - 1 && s[i] != '\0'; ++i)
    buffer[i] = s[i];
  unsigned int d1 = 0, d2 = 0, d3 = 0;
  unsigned int b[8] = {};
  if (braced) {
    std::sscanf(buffer, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                &d1, &d2, &d3, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &b[6],
                &b[7]);
  } else {
    std::sscanf(buffer, "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", &d1,
                &d2, &d3, &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &b[6],
                &b[7]);
  }
  ZQGUID guid;
  std::memset(&guid, 0, sizeof(guid));
  guid.ZQData1 = d1;
  guid.ZQData2 = static_cast<unsigned short>(d2);
  guid.ZQData3 = static_cast<unsigned short>(d3);
  for (int i = 0; i < 8; ++i)
    guid.ZQData4[i] = static_cast<unsigned char>(b[i]);
  return guid;
}

}  // namespace detail

// Compile-time parse of an id literal in canonical braced form (either case).
template <size_t N>
constexpr ZQGUID GuidFromLiteral(const char (&text)[N]) {
  static_assert(N == 39, "an id literal is the 38-character braced text");
  ZQGUID guid = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
  if (!detail::ParseCanonicalGuid(text, true, &guid))
    detail::IdLiteralIsNotCanonical();
  return guid;
}

// Lets id declarations take an existing record as well as a literal.
constexpr ZQGUID GuidFromLiteral(const ZQGUID& guid) {
  return guid;
}

}  // namespace by

// Parses the text form of an id (see the contract above). `bHaveBracket`
// selects the braced 38-character form (what the kit always uses) or the
// 36-character form without braces.
inline ZQGUID S2GUIDA(const char* lpString, bool bHaveBracket) {
  ZQGUID guid;
  std::memset(&guid, 0, sizeof(guid));
  if (lpString == nullptr)
    return guid;
  const size_t expected = bHaveBracket ? 38 : 36;
  // Bounded: never reads more than one byte past the expected length.
  if (strnlen(lpString, expected + 1) != expected)
    return guid;
  if (by::detail::ParseCanonicalGuid(lpString, bHaveBracket, &guid))
    return guid;
  return by::detail::ScanGuidText(lpString, expected, bHaveBracket);
}

#endif  // DLCOM_GUIDSTRING_H_
