// The kit's ZQEExtensionSignVerify: checks a library's signature against the
// keys the extension manager trusts (see ZQEExtensionSignVerify.h), a leaky
// singleton. Internal to the kit; reach it through GetInstance().
//
// The trusted keys are read through the ZQExtensionManager facade on every
// check, so a key added or cleared takes effect for the next library; their
// parsed form is kept until the list changes.
//
// Messages (log service, level 0): for each library checked, one of
// LibrarySignatureVerdict's messages ("sign verify - package id:<id>,
// verify lib file sign success" or "... failed, because of <reason>"); and,
// the first time a library is accepted unchecked in the process, "sign
// verify - signatures are not checked, because of no trusted sign key".
//
// Threads: every member may be called from any thread.

#ifndef ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEEXTENSIONSIGNVERIFYIMPL_H_
#define ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEEXTENSIONSIGNVERIFYIMPL_H_

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ZQExtensionKit/security/internal/ZQEExtensionSignVerify.h"
#include "ZQExtensionKit/security/internal/ZQEHashedFile.h"

namespace base {
inline namespace zqe {
template <typename Type>
struct DefaultSingletonTraits;
}  // namespace zqe
}  // namespace base

namespace zqextensionkit {

class Artifact;
class ZQESignKeyRing;

class ZQEExtensionSignVerifyImpl : public ZQEExtensionSignVerify {
 public:
  // Created on the first call, thread-safely; never destroyed.
  static ZQEExtensionSignVerifyImpl* GetInstance();

  // The once-per-process note on unchecked signatures.
  static constexpr char kNotCheckedMessage[] =
      "sign verify - signatures are not checked, because of no trusted sign "
      "key";

  bool SignVerify(const std::string& file_path,
                  const std::string& sign_md5,
                  const std::string& lib_file_md5) override;

  // The signature check of the library `file` (opened and hashed, its MD5
  // verified) of the package `artifact` describes: true when a trusted key
  // signed it, or when no key is trusted. Logs as the header says; on
  // failure stores the reason (the end of the message) in *why when given.
  bool VerifyHashedFile(const ZQEHashedFile& file,
                        const Artifact& artifact,
                        std::string* why = nullptr);

  // The digests to compute for a library that is about to be verified: the
  // SHA-256 as well when the signature switch is on and a key is trusted,
  // so that it comes from the same pass as the MD5.
  ZQEHashedFile::Digests DigestsToVerify();

 private:
  friend struct base::DefaultSingletonTraits<ZQEExtensionSignVerifyImpl>;

  ZQEExtensionSignVerifyImpl();
  ~ZQEExtensionSignVerifyImpl() override;

  // The keys the extension manager trusts now, parsed.
  std::shared_ptr<const ZQESignKeyRing> TrustedKeys();

  std::mutex keys_mutex_;
  // Guarded by keys_mutex_: the key texts last read, and their parsed form.
  std::vector<std::string> key_texts_;
  std::shared_ptr<const ZQESignKeyRing> keys_;
  // Set once the note on unchecked signatures has been logged.
  std::atomic<bool> not_checked_noted_{false};
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_SECURITY_INTERNAL_ZQEEXTENSIONSIGNVERIFYIMPL_H_
