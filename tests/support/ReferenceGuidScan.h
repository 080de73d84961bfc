// The plain formatted scan of an id text, written out the way the text form
// is defined, with no fast path. The differential test and the fuzz target
// hold S2GUIDA to it: both must give the same record for every input.
#ifndef TESTS_SUPPORT_REFERENCEGUIDSCAN_H_
#define TESTS_SUPPORT_REFERENCEGUIDSCAN_H_

#include <cstdio>
#include <cstring>

#include "dlcom/guiddef.h"

namespace zqextensionkit {
namespace test {

// `braced`: the 38-character "{...}" form; otherwise the 36-character form.
inline ZQGUID ReferenceGuidScan(const char* text, bool braced = true) {
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

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_SUPPORT_REFERENCEGUIDSCAN_H_
