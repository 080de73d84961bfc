// String helpers.
//
// Thread-safe; no shared state.
#ifndef BASE_STRINGS_STRING_UTIL_H_
#define BASE_STRINGS_STRING_UTIL_H_

#include <string_view>

#include "base/base_export.h"

namespace base {
inline namespace zqe {

// How StartsWith compares.
enum class CompareCase {
  SENSITIVE,
  // Only ASCII letters compare without case; other bytes must match exactly.
  INSENSITIVE_ASCII,
};

// Whether |str| begins with |search_for|. An empty |search_for| always
// matches.
BASE_EXPORT bool StartsWith(std::string_view str,
                            std::string_view search_for,
                            CompareCase case_sensitivity);

}  // namespace zqe
}  // namespace base

#endif  // BASE_STRINGS_STRING_UTIL_H_
