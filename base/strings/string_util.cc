#include "base/strings/string_util.h"

namespace base {
inline namespace zqe {

namespace {

char ToLowerASCII(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool StartsWith(std::string_view str,
                std::string_view search_for,
                CompareCase case_sensitivity) {
  if (search_for.size() > str.size())
    return false;
  std::string_view source = str.substr(0, search_for.size());
  if (case_sensitivity == CompareCase::SENSITIVE)
    return source == search_for;
  for (size_t i = 0; i < source.size(); ++i) {
    if (ToLowerASCII(source[i]) != ToLowerASCII(search_for[i]))
      return false;
  }
  return true;
}

}  // namespace zqe
}  // namespace base
