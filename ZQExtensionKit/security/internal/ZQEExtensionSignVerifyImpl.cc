#include "ZQExtensionKit/security/internal/ZQEExtensionSignVerifyImpl.h"

#include <utility>

#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "ZQExtensionKit/log/ZQELogService.h"
#include "ZQExtensionKit/security/internal/ZQELibrarySignature.h"
#include "base/memory/singleton.h"

namespace zqextensionkit {

// static
ZQEExtensionSignVerify* ZQEExtensionSignVerify::GetInstance() {
  return ZQEExtensionSignVerifyImpl::GetInstance();
}

// static
ZQEExtensionSignVerifyImpl* ZQEExtensionSignVerifyImpl::GetInstance() {
  return base::Singleton<
      ZQEExtensionSignVerifyImpl,
      base::LeakySingletonTraits<ZQEExtensionSignVerifyImpl>>::get();
}

ZQEExtensionSignVerifyImpl::ZQEExtensionSignVerifyImpl()
    : keys_(std::make_shared<const ZQESignKeyRing>()) {}

ZQEExtensionSignVerifyImpl::~ZQEExtensionSignVerifyImpl() = default;

bool ZQEExtensionSignVerifyImpl::SignVerify(
    const std::string& /*file_path*/,
    const std::string& /*sign_md5*/,
    const std::string& /*lib_file_md5*/) {
  // A path names no package, and a signature binds one: nothing to check
  // against here (see the header).
  return true;
}

bool ZQEExtensionSignVerifyImpl::VerifyHashedFile(const ZQEHashedFile& file,
                                                  const Artifact& artifact,
                                                  std::string* why) {
  ZQELogService* log = ZQELogService::GetInstance();
  const std::shared_ptr<const ZQESignKeyRing> keys = TrustedKeys();
  if (keys->empty()) {
    // Accepted as before keys existed; said once, not for every library.
    if (!not_checked_noted_.exchange(true))
      log->LogMessage(0, "%s", kNotCheckedMessage);
    return true;
  }
  const LibrarySignatureVerdict verdict =
      CheckLibrarySignature(artifact, file, *keys);
  log->LogMessage(0, "%s", verdict.message.c_str());
  if (why)
    *why = verdict.reason;
  return verdict.ok();
}

ZQEHashedFile::Digests ZQEExtensionSignVerifyImpl::DigestsToVerify() {
  return ZQExtensionManager::GetInstance()->GetSignVerifyEnable() &&
                 !TrustedKeys()->empty()
             ? ZQEHashedFile::Digests::kMd5AndSha256
             : ZQEHashedFile::Digests::kMd5;
}

std::shared_ptr<const ZQESignKeyRing>
ZQEExtensionSignVerifyImpl::TrustedKeys() {
  std::vector<std::string> texts =
      ZQExtensionManager::GetInstance()->GetTrustedSignKeys();
  std::lock_guard<std::mutex> lock(keys_mutex_);
  if (texts != key_texts_) {
    // Parsed under the lock: a handful of keys, each parsed in microseconds,
    // and only when the list changed.
    keys_ = std::make_shared<const ZQESignKeyRing>(texts);
    key_texts_ = std::move(texts);
  }
  return keys_;
}

}  // namespace zqextensionkit
