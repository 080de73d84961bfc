#include "ZQExtensionKit/security/internal/ZQEExtensionSignVerifyImpl.h"

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

bool ZQEExtensionSignVerifyImpl::SignVerify(
    const std::string& /*file_path*/,
    const std::string& /*sign_md5*/,
    const std::string& /*lib_file_md5*/) {
  // No signature scheme is defined yet: every file is accepted.
  return true;
}

}  // namespace zqextensionkit
