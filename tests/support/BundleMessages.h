// Test support: the bundle loader's log messages that tests expect, written
// once, byte for byte as the kit logs them.

#ifndef TESTS_SUPPORT_BUNDLEMESSAGES_H_
#define TESTS_SUPPORT_BUNDLEMESSAGES_H_

namespace zqextensionkit {
namespace test {

inline constexpr char kPathRefused[] =
    "Bundle Loader - load bundle failed, because of library file path not "
    "exist or empty";
inline constexpr char kHasBeenLoaded[] =
    "Bundle Loader - bundle has been loaded";
inline constexpr char kVerifyFailed[] =
    "Bundle Loader - load bundle failed, because of lib file verify failed";
inline constexpr char kLoadComFailed[] =
    "Bundle Loader - load bundle failed, because of load com failed";
inline constexpr char kBundleFailed[] =
    "Bundle Loader - initialze bundle entry failed";
inline constexpr char kBundleSucceeded[] =
    "Bundle Loader - initialze bundle entry success";
inline constexpr char kMd5Matched[] =
    "[SignVerify] Verify lib file md5 success.";

}  // namespace test
}  // namespace zqextensionkit

#endif  // TESTS_SUPPORT_BUNDLEMESSAGES_H_
