// IZQExtensionManager: the operations of the kit's extension manager, which
// turns the configured extension records into live extension instances, and
// holds the two plug-in verification switches, the keys trusted to sign
// plug-ins and the lazy loading switch.
//
// The virtual operations keep the order below: hosts call through this
// interface, so it is the layout they were built against. Operations added
// later come after the destructor, so that the earlier ones keep their
// places.
//
// Ownership, failure and threads: see ZQExtensionManager.h, the facade that
// hosts call, for each operation's contract.

#ifndef ZQEXTENSIONKIT_EXTENSION_IZQEXTENSIONMANAGER_H_
#define ZQEXTENSIONKIT_EXTENSION_IZQEXTENSIONMANAGER_H_

#include <cstddef>
#include <string>
#include <vector>

#include "ZQExtensionKit/config/IZQEConfigurationManager.h"
#include "ZQExtensionKit/container/ZQEObjectContainer.h"
#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"

namespace zqextensionkit {

// The extension manager's operations (see the top of this file).
class ZQEXTENSIONKIT_EXPORT IZQExtensionManager {
 public:
  // Each operation's contract is that of ZQExtensionManager's operation of
  // the same name, which forwards to it.
  virtual void SetFoundationVersion(const std::string& version) = 0;
  virtual bool Load() = 0;
  virtual bool Unload() = 0;
  virtual bool GetExtension(const std::string& extensionPointId,
                            void** pExtension) = 0;
  virtual bool GetExtensionList(const std::string& extensionPointId,
                                std::vector<void*>& extensionVector) = 0;
  virtual bool GetExtensionById(const std::string& extensionId,
                                void** pExtension) = 0;
  virtual bool RegisterExtension(const InstanceCreateFunction& instance_creator,
                                 const std::string& clsid,
                                 bool isSingleton) = 0;
  virtual bool unRegisterExtension(const std::string& clsid) = 0;
  virtual bool GetLibFileVerifyEnable() = 0;
  virtual void SetLibFileVerifyEnable(bool enable) = 0;
  virtual bool GetSignVerifyEnable() = 0;
  virtual void SetSignVerifyEnable(bool enable) = 0;
  virtual bool SetSecKey(const std::string& sec_key) = 0;
  virtual bool SetDebugModeEnable(bool enable) = 0;
  virtual void SetFetchExtensionAuthInfoCallback(
      const FetchExtensionAuthInfoCallback& callback) = 0;

  virtual ~IZQExtensionManager() = default;

  // Each operation's contract is that of ZQExtensionManager's operation of
  // the same name, which forwards to it.
  virtual size_t GetLibFileVerifyThreads() = 0;
  virtual void SetLibFileVerifyThreads(size_t threads) = 0;
  virtual bool SetInstallationDir(const std::string& dir) = 0;
  virtual std::string GetInstallationDir() = 0;
  virtual std::string GetLoadReport() = 0;
  virtual bool AddTrustedSignKey(const std::string& publicKeyPem) = 0;
  virtual void ClearTrustedSignKeys() = 0;
  virtual std::vector<std::string> GetTrustedSignKeys() = 0;

  // Each operation's contract is that of ZQExtensionManager's operation of
  // the same name, which forwards to it.
  virtual void SetLazyLibraryLoading(bool enable) = 0;
  virtual bool GetLazyLibraryLoading() = 0;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_EXTENSION_IZQEXTENSIONMANAGER_H_
