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
#include "tests/support/ReferenceGuidScan.h"

namespace {}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::unique_ptr<char[]> text(new char[size + 1]);
  std::memcpy(text.get(), data, size);
  text[size] = '\0';
  for (bool braced : {true, false}) {
    const ZQGUID fast = S2GUIDA(text.get(), braced);
    const ZQGUID scan =
        zqextensionkit::test::ReferenceGuidScan(text.get(), braced);
    if (!(fast == scan))
      std::abort();
  }
  return 0;
}
