// S2GUIDA on arbitrary bytes, compared with the plain formatted scan: no
// crash, no read past the text (the input sits in an exactly sized heap
// buffer under AddressSanitizer), and records identical field by field, for
// the braced and the unbraced form.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <memory>

#include "dlcom/guidstring.h"

namespace {

ZQGUID ReferenceScan(const char* text, bool braced) {
  ZQGUID guid;
  std::memset(&guid, 0, sizeof(guid));
  if (std::strlen(text) != (braced ? 38u : 36u))
    return guid;
  char buffer[128] = {};
  std::memcpy(buffer, text, std::strlen(text));
  unsigned int d1 = 0, d2 = 0, d3 = 0, b[8] = {};
  const char* format =
      braced ? "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}"
             : "%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X";
  std::sscanf(buffer, format, &d1, &d2, &d3, &b[0], &b[1], &b[2], &b[3], &b[4],
              &b[5], &b[6], &b[7]);
  guid.ZQData1 = d1;
  guid.ZQData2 = static_cast<unsigned short>(d2);
  guid.ZQData3 = static_cast<unsigned short>(d3);
  for (int i = 0; i < 8; ++i)
    guid.ZQData4[i] = static_cast<unsigned char>(b[i]);
  return guid;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<char[]> text(new char[size + 1]);
  std::memcpy(text.get(), data, size);
  text[size] = '\0';
  for (bool braced : {true, false}) {
    const ZQGUID fast = S2GUIDA(text.get(), braced);
    const ZQGUID scan = ReferenceScan(text.get(), braced);
    if (!(fast == scan))
      std::abort();
  }
  return 0;
}
