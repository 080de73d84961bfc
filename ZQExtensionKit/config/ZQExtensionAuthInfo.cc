#include "ZQExtensionKit/config/ZQExtensionAuthInfo.h"

namespace zqextensionkit {

ZQExtensionAuthInfo::ZQExtensionAuthInfo(const std::string& host,
                                         const std::string& bundleId,
                                         const std::string& accessKey)
    : host_(host), bundleId_(bundleId), accessKey_(accessKey) {}

std::string ZQExtensionAuthInfo::GetHost() const {
  return host_;
}

std::string ZQExtensionAuthInfo::GetBundleId() const {
  return bundleId_;
}

std::string ZQExtensionAuthInfo::GetAccessKey() const {
  return accessKey_;
}

void ZQExtensionAuthInfo::SetAccessKey(const std::string& accessKey) {
  accessKey_ = accessKey;
}

}  // namespace zqextensionkit
