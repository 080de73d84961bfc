// ZQEExtensionLibFileVerify: checks that a plug-in library file on disk is the
// one its manifest describes, by comparing the file's MD5 text with the
// expected one.
//
// Verify() hashes the whole file (through a fixed-size buffer) and compares
// the 32-digit lower-case MD5 text with `expected_md5` byte for byte: an
// upper-case or otherwise differently written digest does not match.
//
// Ownership: GetInstance() returns the one process-wide instance, created on
// first use and never destroyed; callers never delete it.
//
// Failure: Verify() returns false when the file cannot be hashed (and logs
// "[SignVerify] Verify lib file md5 failed, because of generate lib file md5
// failed.") or when the digest differs (without a message: the caller reports
// the mismatch). A match logs "[SignVerify] Verify lib file md5 success.".
//
// Threads: the instance has no state; GetInstance() and Verify() may be
// called from any thread.

#ifndef ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEEXTENSIONLIBFILEVERIFY_H_
#define ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEEXTENSIONLIBFILEVERIFY_H_

#include <string>

namespace zqextensionkit {

class ZQEExtensionLibFileVerify {
 public:
  // The process-wide verifier (a ZQEExtensionLibFileVerifyImpl).
  static ZQEExtensionLibFileVerify* GetInstance();

  ZQEExtensionLibFileVerify(const ZQEExtensionLibFileVerify&) = delete;
  ZQEExtensionLibFileVerify& operator=(const ZQEExtensionLibFileVerify&) =
      delete;

  // True when the MD5 text of the file at `file_path` equals `expected_md5`.
  virtual bool Verify(const std::string& file_path,
                      const std::string& expected_md5) = 0;

 protected:
  ZQEExtensionLibFileVerify() = default;
  virtual ~ZQEExtensionLibFileVerify() = default;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEEXTENSIONLIBFILEVERIFY_H_
