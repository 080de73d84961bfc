// Random GUIDs.
//
// Thread-safe: randomness comes from OpenSSL's RAND_bytes, which is safe to
// call from several threads.
#ifndef BASE_GUID_H_
#define BASE_GUID_H_

#include <string>

#include "base/base_export.h"

namespace base {
inline namespace zqe {

// A new random version-4 GUID as "XXXXXXXX-XXXX-4XXX-YXXX-XXXXXXXXXXXX" in
// upper-case hexadecimal, Y being one of 8, 9, A or B. Returns "" in the
// unlikely case that the random generator fails.
BASE_EXPORT std::string GenerateGUID();

}  // namespace zqe
}  // namespace base

#endif  // BASE_GUID_H_
