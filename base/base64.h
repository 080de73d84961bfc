// Base64 decoding (standard alphabet "A-Za-z0-9+/" with "=" padding).
//
// Thread-safe; no shared state.
#ifndef BASE_BASE64_H_
#define BASE_BASE64_H_

#include <string>

#include "base/base_export.h"

namespace base {
inline namespace zqe {

// Decodes |input| into |output|. Strict: the length must be a multiple of 4,
// no white space or other character outside the alphabet is allowed, and "="
// may only end the text, at most twice. On failure returns false and leaves
// |output| untouched. "" decodes to "".
BASE_EXPORT bool Base64Decode(const std::string& input, std::string* output);

}  // namespace zqe
}  // namespace base

#endif  // BASE_BASE64_H_
