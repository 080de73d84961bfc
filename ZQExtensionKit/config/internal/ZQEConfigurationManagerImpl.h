// ZQEConfigurationManagerImpl: the kit's configuration manager (internal;
// hosts reach it through ZQEConfigurationManager, whose header states the
// contract of every operation).
//
// Its sources are split by concern, each file named after the class:
//   ZQEConfigurationManagerImpl.cc           state, setters, executable dir
//   ZQEConfigurationManagerImpl_modules.cc   module and feature switches
//   ZQEConfigurationManagerImpl_auth.cc      access keys, H5 bundle ids
//   ZQEConfigurationManagerImpl_adapters.cc  adapter mapping and records
//   ZQEConfigurationManagerImpl_load.cc      config.json, decryption, load
//   ZQEConfigurationManagerImpl_remote.cc    remote fetch and merge
//   ZQEConfigurationManagerImpl_queries.cc   unload and record queries
//
// Locking: `lock_` is the object's one lock and is not recursive. Each field
// says whether it guards it. No host code (logger aside) runs while it is
// held: the data source, the access-key fetch and their callables are called
// with no lock of this object held. The internal steps below state whether
// they take `lock_` or expect their caller to hold it.

#ifndef ZQEXTENSIONKIT_CONFIG_INTERNAL_ZQECONFIGURATIONMANAGERIMPL_H_
#define ZQEXTENSIONKIT_CONFIG_INTERNAL_ZQECONFIGURATIONMANAGERIMPL_H_

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <unordered_set>
#include <vector>

#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/config/Extension.h"
#include "ZQExtensionKit/config/ExtensionPoint.h"
#include "ZQExtensionKit/config/IZQEConfigurationManager.h"
#include "ZQExtensionKit/config/ZQExtensionAuthInfo.h"
#include "base/files/file_path.h"
#include "base/memory/scoped_ptr.h"
#include "base/synchronization/lock.h"
#include "base/values.h"
#include "base/version.h"

namespace zqextensionkit {

// The directory of the running executable, read from /proc/<pid>/exe, or ""
// when the link cannot be read or is longer than 260 bytes. Every file the
// manager reads lies below this directory, unless the host names another
// installation directory.
std::string GetCurrentRunPath();

// `extension_adapter_mapping.json` in `installation_dir`. False (with its
// message) when that directory is unknown (empty); whether the file exists
// is not tested.
bool GetExtensionAdapterMappingFilePath(const std::string& installation_dir,
                                        base::FilePath* path);

// Texts that the explanations of a load share.
inline constexpr char kUnknownInstallationDir[] =
    "the installation directory is unknown: the executable's path cannot be "
    "read or is longer than 260 bytes";
inline constexpr char kCannotBeRead[] =
    "cannot be read (not a regular file, unreadable, or larger than 64 MiB)";

// `text` read as strict JSON: the value, or where reading stopped (1-based
// line and column) and the reader's cause text.
struct JsonText {
  scoped_ptr<base::Value> value;
  int line = 0;
  int column = 0;
  std::string cause;
};
JsonText ReadJsonText(const std::string& text);

// AES-256-ECB decryption of `cipher_text` with `key`, then removal of the
// padding its last byte announces: a last byte of 0x00 to 0x10 removes that
// many bytes, 0x11 to 0x7F removes nothing, 0x80 to 0xFF (and a cipher text
// whose length is not a multiple of 16) gives "". The other padding bytes are
// not checked.
std::string AES256_ECB_PKCS5_Decrypt(const std::string& cipher_text,
                                     const uint8_t (&key)[32]);
// As above, decrypting in the buffer of `cipher_text`.
std::string AES256_ECB_PKCS5_Decrypt(std::string&& cipher_text,
                                     const uint8_t (&key)[32]);

class ZQEConfigurationManagerImpl final : public IZQEConfigurationManager {
 public:
  // Records of one extension point id, as the local and remote
  // configurations hold them.
  using ExtensionList = std::vector<std::shared_ptr<Extension>>;
  using ExtensionConfig = std::map<std::string, ExtensionList>;

  ZQEConfigurationManagerImpl();
  ~ZQEConfigurationManagerImpl() override;

  ZQEConfigurationManagerImpl(const ZQEConfigurationManagerImpl&) = delete;
  ZQEConfigurationManagerImpl& operator=(const ZQEConfigurationManagerImpl&) =
      delete;

  // IZQEConfigurationManager:
  void SetFoundationVersion(const std::string& version) override;
  bool LoadAllExtensionInfos() override;
  bool UnloadAllExtensionInfos() override;
  bool GetExtensionInfoByID(const std::string& extensionId,
                            Extension** extension) override;
  bool GetExtensionInfosByExntensionPointID(
      const std::string& extensionPointId,
      std::vector<std::shared_ptr<Extension>>& extensionInfos) override;
  bool GetConfigurationsByID(
      ModuleCode code,
      std::map<std::string, std::string>* configurations) override;
  bool IsModuleEnabled(ModuleCode code, bool& enabled) override;
  bool IsFeatueEnabled(FeatureCode code, bool& enabled) override;
  std::string GetH5ExtensionBundleId(const std::string& url) override;
  std::string GetExtensionAccessKey(const std::string& bundleId) override;
  bool SetSecKey(const std::string& key) override;
  bool SetDebugModeEnable(bool enable) override;
  void SetFetchExtensionAuthInfoCallback(
      const FetchExtensionAuthInfoCallback& callback) override;
  void CheckAndFetchExtensionAuthInfo() override;
  void GetAllExtensionInfos(std::vector<Extension*>& extensionInfos) override;
  void GetAllArtifacts(std::vector<Artifact*>& artifacts) override;
  void FetchRemoteConfig(bool applyAfterSuccess,
                         const FetchRemoteConfigSuccess& onSuccess,
                         const FetchRemoteConfigFailure& onFailure) override;
  bool LoadRemoteConfig() override;
  void SetRemoteConfigDataSource(
      std::shared_ptr<IZQERemoteConfigDataSource> dataSource) override;
  bool SetInstallationDir(const std::string& dir) override;
  std::string GetInstallationDir() override;
  void GetAllArtifactsShared(
      std::vector<std::shared_ptr<Artifact>>& artifacts) override;

  // Internal steps. The kit and its tests call them; hosts never see this
  // header.

  // Modules and features (take `lock_`).
  static std::string Util_GetModuleStringFromCode(ModuleCode code);
  static std::string Util_GetFeatureStringFromCode(FeatureCode code);
  // Reads the "modules" section of `root` into `_configurations`, holding
  // `lock_` for one module at a time.
  void ParseModuleConfigurations(const base::DictionaryValue& root);

  // Access keys (take `lock_`).
  // Appends the records of the "ExtensionAuthInfo" section of `root`.
  void ParseExtensionAuthInfos(const base::DictionaryValue& root);

  // Local load (see LoadAllExtensionInfos). Each takes `lock_` only where it
  // says so.
  bool FindExtensions();
  bool LoadLocalConfigurations();
  bool GetExtensionsDir(base::FilePath* extensions_dir);
  // With a key set, `input` is Base64 text (ASCII white space ignored) of
  // the AES-256-ECB cipher text; `*output` receives the plain text cut at its
  // first zero byte. Without a key, `*output` is `input`.
  bool DecryptConfigurations(const std::string& input, std::string* output);
  // What DecryptConfigurations() did with its input.
  enum class Decryption { kPlain, kDecrypted, kNotBase64, kNotDecrypted };
  bool DecryptConfigurations(const std::string& input,
                             std::string* output,
                             Decryption* decryption);
  // Parses each artifact that "artifacts" names; appends it under `lock_`.
  void ParseExtensions(const base::DictionaryValue& root,
                       const base::FilePath& extensions_dir);
  // Collects the points of the artifacts the foundation version accepts and
  // inserts their extensions, holding `lock_`; then explains (with no lock
  // held) each artifact the version turned away.
  void ExtractExtensionsAndExtensionPoints();
  // Appends copies of `extensions` to the list of `extension_point_id`,
  // skipping ids the list holds already, and adds their adapter records.
  // The caller holds `lock_`.
  void InsertExtensionsToLocalConfig(const std::string& extension_point_id,
                                     std::vector<Extension*> extensions);

  // Adapters. LoadExtensionAdapterMappingJson takes `lock_` to replace the
  // mapping; the others run with `lock_` held by their caller.
  bool LoadExtensionAdapterMappingJson();
  // The mapping entry of `extension_point_id` (a dotted path into the
  // mapping), owned by the mapping, or null.
  base::DictionaryValue* GetExtensionAdapterInfoById(
      const std::string& extension_point_id);
  // The first point of the "extension_adapter" artifact with this id.
  ExtensionPoint* GetExtensionPointOfAdapterById(
      const std::string& internal_extension_point_id);
  bool IsExtensionAdapter(Extension* extension);
  // Adds (or replaces) the adapter record of `extension` in its internal
  // point's list. False when `extension` is an adapter record itself or the
  // record could not be built.
  bool InsertExtensionAdapterToLocalConfig(Extension* extension);

  // Remote merge. The caller holds `lock_`.
  void MergeRemoteConfigWithLocalConfig();

 private:
  // The ids in each list of `_localConfig` that one load or merge has
  // touched, so that its duplicate checks cost one lookup each. Only valid
  // while no list it covers is emptied. The only records that
  // change in place are adapter records, whose ids are freshly generated and
  // are never looked up, so an entry stays exact for real ids.
  struct IdIndexEntry {
    std::unordered_set<std::string> ids;
    size_t indexed = 0;  // Records of the list already in `ids`.
  };
  using LocalConfigIdIndex = std::map<std::string, IdIndexEntry>;

  void InsertExtensionsToLocalConfig(const std::string& extension_point_id,
                                     const std::vector<Extension*>& extensions,
                                     LocalConfigIdIndex* index);

  // Access keys: sets the key of every record of each bundle id in `keys`.
  // Takes `lock_`.
  void ApplyFetchedAccessKeys(const std::map<std::string, std::string>& keys);

  // Remote: asks `source` for its data with no lock held, into copies of the
  // current remote data, then stores it and merges under `lock_`. False
  // (with its message, nothing stored) when the source throws.
  bool GetRemoteDataAndMerge(IZQERemoteConfigDataSource* source);
  // A copy of `_remoteConfigDataSource`, read under `lock_`.
  std::shared_ptr<IZQERemoteConfigDataSource> GetRemoteConfigDataSource();

  base::Lock lock_;
  // Guarded by lock_. Points of every accepted artifact; owned by them.
  std::vector<ExtensionPoint*> _extension_points;
  // Guarded by lock_. Every parsed artifact, in "artifacts" order. Shared:
  // the records handed out (and those of `_localConfig`) share ownership of
  // their artifact, so an unload frees an artifact only once no record that
  // a request may still be using refers to it.
  std::vector<std::shared_ptr<Artifact>> _artifacts;
  // Guarded by lock_. Module key to (setting key to value).
  ComponentConfiguration _configurations;
  // Guarded by lock_. Access-key records, local and merged remote ones.
  std::vector<std::unique_ptr<ZQExtensionAuthInfo>> _authInfos;
  // Guarded by lock_.
  base::Version _foundation_version;
  // Guarded by lock_. Empty, or the 32-byte AES key of config.json.
  std::string _sec_key;
  // Guarded by lock_. Stored only; nothing consults it.
  bool _enableDebugMode = false;
  // Guarded by lock_. Copied out before it is called.
  FetchExtensionAuthInfoCallback _fetchExtensionAuthInfo;
  // Guarded by lock_. Copied out before it is called.
  std::shared_ptr<IZQERemoteConfigDataSource> _remoteConfigDataSource;
  // Guarded by lock_. What the data source delivered last; never changed by
  // a merge (the merge works on copies of its records).
  ExtensionConfig _remoteConfig;
  // Guarded by lock_.
  std::vector<std::shared_ptr<ZQExtensionAuthInfo>> _remoteAuthInfos;
  // Guarded by lock_. Extension point id to the records queries answer from:
  // copies made for the configuration and adapter records, never records an
  // artifact owns.
  ExtensionConfig _localConfig;
  // Guarded by lock_. The adapter mapping; null until a load reads it.
  scoped_ptr<base::DictionaryValue> _mappingDict;
  // Guarded by lock_. The installation directory the host named (absolute);
  // empty: the executable's directory.
  std::string _installation_dir;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_CONFIG_INTERNAL_ZQECONFIGURATIONMANAGERIMPL_H_
