// The SDK tests' view of a shared object's dynamic symbol table: the symbols
// it defines, as the host's dynamic loader sees them, read with the
// toolchain's nm (ZQ_NM) and demangled.

#ifndef TESTS_SDK_DYNAMICSYMBOLS_H_
#define TESTS_SDK_DYNAMICSYMBOLS_H_

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/Installation.h"

namespace zqextensionkit {
namespace test {

struct DynamicSymbol {
  // nm's type letter: 'T' code, 'D'/'B'/'R' data, 'V'/'W' weak, 'u' unique
  // global (a symbol that keeps its library mapped for good), ...
  char type = '?';
  // Demangled, e.g. "typeinfo for base::zqe::Value".
  std::string name;
};

// The defined dynamic symbols of the shared object at `path`. False, with
// `*error`, when nm cannot list them.
inline bool ReadDynamicSymbols(const std::string& path,
                               std::vector<DynamicSymbol>* symbols,
                               std::string* error) {
  std::string listing;
  const int status = RunProcess(ZQ_NM, {"-D", "--defined-only", "-C", path}, {},
                                {}, &listing, error);
  if (status != 0) {
    if (error->empty())
      *error = std::string(ZQ_NM) + " failed on " + path + ":\n" + listing;
    return false;
  }
  // Each line: address, type letter, name (which may hold spaces).
  std::istringstream lines(listing);
  std::string line;
  while (std::getline(lines, line)) {
    const size_t type_at = line.find(' ');
    if (type_at == std::string::npos || type_at + 3 > line.size())
      continue;
    symbols->push_back({line[type_at + 1], line.substr(type_at + 3)});
  }
  return true;
}

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_SDK_DYNAMICSYMBOLS_H_
