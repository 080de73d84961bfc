// ZQEExtensionSignVerify: the signature check of a plug-in library file
// against the signature recorded in its manifest ("signMD5").
//
// The check needs trusted keys, which the host names through the extension
// manager (ZQExtensionManager::AddTrustedSignKey). While none is trusted it
// accepts every file, as it always has, and the kit says once per process
// that signatures are not checked. With trusted keys, the kit's
// implementation checks the library's Ed25519 signature over its SHA-256
// and its package's id, version and main entry (see ZQELibrarySignature.h);
// the bundle manager calls it only after the file's MD5 check passed and
// only when both verification switches are on.
//
// Ownership: GetInstance() returns the one process-wide instance, created on
// first use and never destroyed; callers never delete it.
//
// Failure: none through this interface. SignVerify() is the check by path
// alone, which names no package: a signature covers the package's id,
// version and main entry as well, so it cannot be checked here, and
// SignVerify() accepts every file without reading it or logging, as it
// always has. The kit checks signatures with the library's hashed file and
// its artifact, through ZQEExtensionSignVerifyImpl::VerifyHashedFile().
//
// Threads: any thread may call it.

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

  // Accepts every file (see above).
  virtual bool SignVerify(const std::string& file_path,
                          const std::string& sign_md5,
                          const std::string& lib_file_md5) = 0;

 protected:
  ZQEExtensionSignVerify() = default;
  virtual ~ZQEExtensionSignVerify() = default;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEEXTENSIONSIGNVERIFY_H_
