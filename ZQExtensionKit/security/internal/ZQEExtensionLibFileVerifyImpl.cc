#include "ZQExtensionKit/security/internal/ZQEExtensionLibFileVerifyImpl.h"

#include "ZQExtensionKit/log/ZQELogService.h"
#include "ZQExtensionKit/security/internal/ZQEHashedFile.h"
#include "base/memory/singleton.h"

namespace zqextensionkit {

// static
ZQEExtensionLibFileVerify* ZQEExtensionLibFileVerify::GetInstance() {
  return ZQEExtensionLibFileVerifyImpl::GetInstance();
}

// static
ZQEExtensionLibFileVerifyImpl* ZQEExtensionLibFileVerifyImpl::GetInstance() {
  return base::Singleton<
      ZQEExtensionLibFileVerifyImpl,
      base::LeakySingletonTraits<ZQEExtensionLibFileVerifyImpl>>::get();
}

bool ZQEExtensionLibFileVerifyImpl::Verify(const std::string& file_path,
                                           const std::string& expected_md5) {
  return VerifyHashedFile(ZQEHashedFile::Open(file_path), expected_md5);
}

bool ZQEExtensionLibFileVerifyImpl::VerifyHashedFile(
    const ZQEHashedFile& file,
    const std::string& expected_md5) {
  if (!file.ok()) {
    ZQELogService::GetInstance()->LogMessage(
        0,
        "[SignVerify] Verify lib file md5 failed, because of generate lib "
        "file md5 failed.");
    return false;
  }
  // Exact comparison: the digest text is lower-case, so an upper-case
  // expectation is a mismatch. The caller reports mismatches.
  if (file.md5_text() != expected_md5)
    return false;
  ZQELogService::GetInstance()->LogMessage(
      0, "[SignVerify] Verify lib file md5 success.");
  return true;
}

}  // namespace zqextensionkit
