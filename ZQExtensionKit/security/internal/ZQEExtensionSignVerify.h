// ZQEExtensionSignVerify: the signature check of a plug-in library file
// against the sign digest recorded in its manifest.
//
// The kit's implementation accepts every file: SignVerify() returns true
// without reading anything. It is the hook where a real signature check
// belongs; the bundle manager calls it only after the file's MD5 check passed
// and only when both verification switches are on.
//
// Ownership: GetInstance() returns the one process-wide instance, created on
// first use and never destroyed; callers never delete it.
//
// Failure: none in the kit's implementation.
//
// Threads: the instance has no state; any thread may call it.

#ifndef ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEEXTENSIONSIGNVERIFY_H_
#define ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEEXTENSIONSIGNVERIFY_H_

#include <string>

namespace zqextensionkit {

class ZQEExtensionSignVerify {
 public:
  // The process-wide checker (a ZQEExtensionSignVerifyImpl).
  static ZQEExtensionSignVerify* GetInstance();

  ZQEExtensionSignVerify(const ZQEExtensionSignVerify&) = delete;
  ZQEExtensionSignVerify& operator=(const ZQEExtensionSignVerify&) = delete;

  // True when the library file at `file_path` carries a valid signature for
  // `sign_md5`; `lib_file_md5` is the file's verified MD5 text.
  virtual bool SignVerify(const std::string& file_path,
                          const std::string& sign_md5,
                          const std::string& lib_file_md5) = 0;

 protected:
  ZQEExtensionSignVerify() = default;
  virtual ~ZQEExtensionSignVerify() = default;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEEXTENSIONSIGNVERIFY_H_
