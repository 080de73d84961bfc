// ZQExtensionAuthInfo: one access-key record, naming the host and the bundle
// id that an access key belongs to.
//
// The host and the bundle id are fixed at construction; only the access key
// can be replaced later (when a missing key has been fetched). Getters return
// copies. A plain copyable value with no synchronisation of its own: the
// configuration manager's lock guards the records it keeps.

#ifndef ZQEXTENSIONKIT_CONFIG_ZQEXTENSIONAUTHINFO_H_
#define ZQEXTENSIONKIT_CONFIG_ZQEXTENSIONAUTHINFO_H_

#include <string>

#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"

namespace zqextensionkit {

class ZQEXTENSIONKIT_EXPORT ZQExtensionAuthInfo {
 public:
  // The access key of bundle `bundleId`, for pages of `host` (H5 records) or
  // for a native bundle (empty host).
  ZQExtensionAuthInfo(const std::string& host,
                      const std::string& bundleId,
                      const std::string& accessKey);

  // The record's host URL, bundle id and access key.
  std::string GetHost() const;
  std::string GetBundleId() const;
  std::string GetAccessKey() const;

  // Replaces the access key (a fetched key fills a record that had none).
  void SetAccessKey(const std::string& accessKey);

 private:
  std::string host_;
  std::string bundleId_;
  std::string accessKey_;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_CONFIG_ZQEXTENSIONAUTHINFO_H_
