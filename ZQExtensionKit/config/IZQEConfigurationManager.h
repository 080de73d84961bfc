// IZQEConfigurationManager: the operations of the kit's configuration manager,
// which reads the extension configuration beside the running executable
// (extension_adapter_mapping.json, extensions/config.json and one manifest.json
// per package), merges a remote configuration that the host's data source
// delivers, and answers queries about extension records, module and feature
// switches and access keys.
//
// IZQERemoteConfigDataSource is implemented by the host and handed to the
// manager with SetRemoteConfigDataSource().
//
// The virtual operations keep the order below: hosts call through this
// interface, so it is the layout they were built against. The virtual
// destructor stands between GetAllExtensionInfos and GetAllArtifacts on
// purpose. Operations added later come after SetRemoteConfigDataSource, so
// that the earlier ones keep their places.
//
// Ownership, failure and threads: see ZQEConfigurationManager.h, the facade
// that hosts call, for each operation's contract.

#ifndef ZQEXTENSIONKIT_CONFIG_IZQECONFIGURATIONMANAGER_H_
#define ZQEXTENSIONKIT_CONFIG_IZQECONFIGURATIONMANAGER_H_

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ZQExtensionKit/defines/ZQExtensionKitDefines.h"
#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"

namespace base {
inline namespace zqe {
class DictionaryValue;
}  // namespace zqe
}  // namespace base

namespace zqextensionkit {

class Artifact;
class Extension;
class ExtensionPoint;
class ZQExtensionAuthInfo;

// Module key to (setting key to setting value), both ordered byte-wise.
using ComponentConfiguration =
    std::map<std::string, std::map<std::string, std::string>>;

// The host's access-key fetch: receives the bundle ids that lack a key and
// answers, now or later and on any thread, through exactly one of the two
// callables: the success callable with a map from bundle id to access key, or
// the failure callable with a reason.
using FetchExtensionAuthInfoCallback = std::function<void(
    std::vector<std::string> bundleIds,
    std::function<void(const std::map<std::string, std::string>&)> onSuccess,
    std::function<void(const std::string&)> onFailure)>;

// What a remote configuration fetch calls when it succeeds.
using FetchRemoteConfigSuccess = std::function<void()>;
// What a remote configuration fetch calls when it fails, with the reason.
using FetchRemoteConfigFailure = std::function<void(const std::string&)>;

// The adapter entry of an extension point id, or null.
using GetAdapterInfoFunction =
    std::function<base::DictionaryValue*(const std::string&)>;
// The internal extension point of an id, or null.
using FindInternalExtensionPointFunction =
    std::function<ExtensionPoint*(const std::string&)>;

// The host's source of the remote configuration.
class ZQEXTENSIONKIT_EXPORT IZQERemoteConfigDataSource {
 public:
  // The callables of FetchData: success, and failure with a reason.
  using FetchDataSuccess = FetchRemoteConfigSuccess;
  // See FetchDataSuccess.
  using FetchDataFailure = FetchRemoteConfigFailure;

  virtual ~IZQERemoteConfigDataSource() = default;

  // Starts a fetch and later calls exactly one of the two callables, on any
  // thread. The callables stay valid after FetchData returns.
  virtual void FetchData(const FetchDataSuccess& onSuccess,
                         const FetchDataFailure& onFailure) = 0;
  // Fills `config` (extension point id to remote extension records) and
  // `authInfos` (access-key records) with the data fetched or loaded.
  virtual bool GetData(
      std::map<std::string, std::vector<std::shared_ptr<Extension>>>* config,
      std::vector<std::shared_ptr<ZQExtensionAuthInfo>>* authInfos) = 0;
  // Whether fetched data is available to GetData.
  virtual bool HasCache() = 0;
  // Makes earlier stored data available to GetData.
  virtual bool LoadData() = 0;
};

// The configuration manager's operations (see the top of this file).
class ZQEXTENSIONKIT_EXPORT IZQEConfigurationManager {
 public:
  // Each operation's contract is that of ZQEConfigurationManager's operation
  // of the same name, which forwards to it.
  virtual void SetFoundationVersion(const std::string& version) = 0;
  virtual bool LoadAllExtensionInfos() = 0;
  virtual bool UnloadAllExtensionInfos() = 0;
  virtual bool GetExtensionInfoByID(const std::string& extensionId,
                                    Extension** extension) = 0;
  virtual bool GetExtensionInfosByExntensionPointID(
      const std::string& extensionPointId,
      std::vector<std::shared_ptr<Extension>>& extensionInfos) = 0;
  virtual bool GetConfigurationsByID(
      ModuleCode code,
      std::map<std::string, std::string>* configurations) = 0;
  virtual bool IsModuleEnabled(ModuleCode code, bool& enabled) = 0;
  virtual bool IsFeatueEnabled(FeatureCode code, bool& enabled) = 0;
  virtual std::string GetH5ExtensionBundleId(const std::string& url) = 0;
  virtual std::string GetExtensionAccessKey(const std::string& bundleId) = 0;
  virtual bool SetSecKey(const std::string& key) = 0;
  virtual bool SetDebugModeEnable(bool enable) = 0;
  virtual void SetFetchExtensionAuthInfoCallback(
      const FetchExtensionAuthInfoCallback& callback) = 0;
  virtual void CheckAndFetchExtensionAuthInfo() = 0;
  virtual void GetAllExtensionInfos(
      std::vector<Extension*>& extensionInfos) = 0;

  virtual ~IZQEConfigurationManager() = default;

  // Each operation's contract is that of ZQEConfigurationManager's operation
  // of the same name, which forwards to it.
  virtual void GetAllArtifacts(std::vector<Artifact*>& artifacts) = 0;
  virtual void FetchRemoteConfig(bool applyAfterSuccess,
                                 const FetchRemoteConfigSuccess& onSuccess,
                                 const FetchRemoteConfigFailure& onFailure) = 0;
  virtual bool LoadRemoteConfig() = 0;
  virtual void SetRemoteConfigDataSource(
      std::shared_ptr<IZQERemoteConfigDataSource> dataSource) = 0;
  virtual bool SetInstallationDir(const std::string& dir) = 0;
  virtual std::string GetInstallationDir() = 0;
  virtual void GetAllArtifactsShared(
      std::vector<std::shared_ptr<Artifact>>& artifacts) = 0;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_CONFIG_IZQECONFIGURATIONMANAGER_H_
