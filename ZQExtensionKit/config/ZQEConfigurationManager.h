// ZQEConfigurationManager: the process-wide facade of the kit's configuration
// manager. It reads the extension configuration beside the running
// executable, merges a remote configuration from the host's data source, and
// answers queries about extension records, module and feature switches and
// access keys.
//
// Files, all below the installation directory: the directory of the running
// executable (read through /proc/self/exe; a path longer than 260 bytes
// counts as unknown), or the one SetInstallationDir() names:
//   extension_adapter_mapping.json  required for every load ({} serves)
//   extensions/config.json          plain JSON, or with SetSecKey() the
//                                   Base64 text of its AES-256-ECB cipher text
//                                   (white space ignored)
//   `extensions/<artifact>/manifest.json`, one per entry of "artifacts"
//
// Facade: forwards each operation to the implementation installed with
// Initialize() (ZQEConfigurationManagerCreator::Create() at start-up). It
// takes no lock and logs nothing of its own. With no implementation
// installed, every operation does nothing: results are false, "" or
// nothing, and out-parameters are left untouched.
//
// Ownership: GetExtensionInfoByID() and GetExtensionInfosByExntensionPointID()
// hand out copies that the caller owns; each copy shares ownership of the
// artifact it came from, so its package-derived answers (GetBinPath,
// GetRootPath, ...) stay valid for as long as the copy lives, also while or
// after another thread unloads or replaces the configuration (the artifact
// goes with the last copy). GetAllExtensionInfos() and
// GetAllArtifacts() hand out pointers that the manager keeps owning (see
// each). The data source and the callbacks are kept (copied) until replaced.
//
// Failure: false or "" with one message through the log service, where an
// operation below says so. A load also explains, at log level 3, each step
// that failed or was skipped, naming the file by its full path and the
// reason (see LoadAllExtensionInfos()). Nothing throws, and nothing the host's
// data source, access-key fetch or callbacks throw passes through the manager:
// such a call counts as that step's failure and is logged ("... because of
// data source get data failed", "... becuase of fetch callback execute
// failed", ...). A data source that throws while delivering its data leaves
// the remote configuration as it was.
//
// Threads: every operation may be called from any thread. The manager has
// one lock, which every operation takes for its own work: the setters, the
// queries and unloading for their whole run; a load while it stores each
// module, the access keys, each artifact and the mapping, and while it
// builds the records (not while it reads files); a remote merge while it
// stores the source's data and merges; the access-key answer while it stores
// the keys. No host code (data source, access-key fetch, their callables, a
// replaced callback or source) runs while the lock is held, so host code may
// call the manager from anywhere, including from inside a callback. Many
// operations log with the lock held: the host's logger must not call the
// manager. A remote merge may complete on the data source's thread at any
// time, also during a load. The host sets the foundation version and the key
// before LoadAllExtensionInfos(); Initialize() and UnInitialize() take no
// lock and are called before other threads use the kit.
//
//   ZQEConfigurationManager* config = ZQEConfigurationManager::GetInstance();
//   config->SetFoundationVersion("3.2.0");
//   config->SetSecKey(key);  // 32 bytes, when config.json is encrypted
//   if (config->LoadAllExtensionInfos()) {
//     std::vector<std::shared_ptr<Extension>> records;
//     config->GetExtensionInfosByExntensionPointID("ep.toolbar", records);
//   }

#ifndef ZQEXTENSIONKIT_CONFIG_ZQECONFIGURATIONMANAGER_H_
#define ZQEXTENSIONKIT_CONFIG_ZQECONFIGURATIONMANAGER_H_

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ZQExtensionKit/config/IZQEConfigurationManager.h"
#include "ZQExtensionKit/defines/ZQExtensionKitDefines.h"
#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"

namespace base {
inline namespace zqe {
template <typename Type>
struct DefaultSingletonTraits;
}  // namespace zqe
}  // namespace base

namespace zqextensionkit {

class ZQEXTENSIONKIT_EXPORT ZQEConfigurationManager
    : public IZQEConfigurationManager {
 public:
  // The process-wide facade, created on the first call, never destroyed.
  static ZQEConfigurationManager* GetInstance();

  ZQEConfigurationManager(const ZQEConfigurationManager&) = delete;
  ZQEConfigurationManager& operator=(const ZQEConfigurationManager&) = delete;

  // Installs `impl`, dropping the facade's reference to the previous one.
  void Initialize(std::shared_ptr<IZQEConfigurationManager> impl);
  // Drops the installed implementation; operations do nothing until
  // Initialize().
  void UnInitialize();

  // The host's foundation version ("3.2.0"). Artifacts whose
  // "foundationVersion" is greater contribute no extension points to later
  // loads; without a version, only artifacts needing "0" do. An unparsable
  // text counts as no version. Logs the text.
  void SetFoundationVersion(const std::string& version) override;

  // Loads the files listed at the top of this header and adds what they hold
  // to the configuration: module settings, access keys, artifacts, extension
  // points, and per extension point the extension records (copies, with an
  // adapter record wherever the mapping asks for one). A second load without
  // unloading adds again; each list keeps its first record of an extension
  // id. Artifacts that do not parse are skipped. False, with a message
  // naming the step, when the mapping or config.json is missing, unreadable
  // or malformed, or cannot be decrypted; what was added before the failure
  // stays. Besides the step's own message, each such failure, and each
  // package skipped (missing, a manifest that does not parse, with its line
  // and column, a foundation version above the host's), is explained at log
  // level 3 with the file's full path and the reason.
  bool LoadAllExtensionInfos() override;

  // Empties the configuration: records, remote data, extension points,
  // artifacts and access keys. Module settings, the mapping, the key, the
  // version, the debug flag, the callback and the data source stay. Pointers
  // from GetAllExtensionInfos() and GetAllArtifacts() become invalid; copies
  // handed out earlier stay whole (see Ownership). Logs, returns true.
  bool UnloadAllExtensionInfos() override;

  // Stores in `*extension` a copy, owned by the caller, of the first record
  // with this id (points in id order, records in list order). False, with
  // "not founded" and `*extension` untouched, when there is none (an empty
  // id never matches) or `extension` is null.
  bool GetExtensionInfoByID(const std::string& extensionId,
                            Extension** extension) override;

  // Appends copies of the point's records to `extensionInfos`. False when
  // the point is unknown; true (appending nothing) for a known point without
  // records. The message's total counts the whole vector.
  bool GetExtensionInfosByExntensionPointID(
      const std::string& extensionPointId,
      std::vector<std::shared_ptr<Extension>>& extensionInfos) override;

  // Replaces `*configurations` with the module's settings; false (map
  // untouched) when config.json lists no such module.
  bool GetConfigurationsByID(
      ModuleCode code,
      std::map<std::string, std::string>* configurations) override;

  // `enabled` becomes whether config.json lists the module. False only for
  // kModuleCodeNone; codes without a module key are answered "not enabled".
  bool IsModuleEnabled(ModuleCode code, bool& enabled) override;

  // `enabled` becomes whether the first module (in key order) holding the
  // feature's key sets it to exactly "true". False, `enabled` untouched, when
  // no module holds the key.
  bool IsFeatueEnabled(FeatureCode code, bool& enabled) override;

  // The bundle id of the H5 page at `url`: the first access-key record whose
  // host URL has the page's scheme and host name and its port (or none); a
  // page path "/appName_<bundle id>/..." accepts only that bundle id. "" when
  // nothing matches.
  std::string GetH5ExtensionBundleId(const std::string& url) override;

  // The access key of the first record of this bundle id, or "".
  std::string GetExtensionAccessKey(const std::string& bundleId) override;

  // The AES-256 key of an encrypted config.json: exactly 32 bytes, used as
  // they are. Any other length is refused (false, logged) and the previous
  // key stays.
  bool SetSecKey(const std::string& key) override;

  // Stores the flag; nothing consults it yet. Returns true.
  bool SetDebugModeEnable(bool enable) override;

  // The host's access-key fetch (an empty callable removes it). Kept until
  // replaced; survives unloading.
  void SetFetchExtensionAuthInfoCallback(
      const FetchExtensionAuthInfoCallback& callback) override;

  // Logs how many access-key records lack a key and, when a fetch callback
  // is installed, calls it once (with no lock held) with their bundle ids.
  // Its success callable sets the key of every record of each bundle id it
  // answers; both callables may be called on any thread, before or after the
  // callback returns, as long as the manager lives.
  void CheckAndFetchExtensionAuthInfo() override;

  // Appends a pointer to every record of the configuration (points in id
  // order). The manager keeps owning them: the pointers stay valid until the
  // next merge, load or unload.
  void GetAllExtensionInfos(std::vector<Extension*>& extensionInfos) override;

  // Appends a pointer to every loaded artifact, in load order. The manager
  // keeps owning them until UnloadAllExtensionInfos().
  void GetAllArtifacts(std::vector<Artifact*>& artifacts) override;

  // Asks the data source to fetch. On success, when `applyAfterSuccess` is
  // true and the source has data, the remote configuration is taken from it
  // and merged; then `onSuccess` is called. A failure only calls `onFailure`.
  // Both run on whatever thread the source completes on, with the source the
  // fetch started with. Without a data source nothing happens.
  void FetchRemoteConfig(bool applyAfterSuccess,
                         const FetchRemoteConfigSuccess& onSuccess,
                         const FetchRemoteConfigFailure& onFailure) override;

  // Has the data source load its stored data, then takes and merges it.
  // False when there is no source or it cannot load.
  bool LoadRemoteConfig() override;

  // The host's remote configuration source; replaces the previous one. A
  // fetch in flight completes with the source it started with.
  void SetRemoteConfigDataSource(
      std::shared_ptr<IZQERemoteConfigDataSource> dataSource) override;

  // The directory later loads read the installation from (the mapping,
  // extensions/config.json and the packages), in place of the executable's;
  // "" returns to the executable's directory. A relative path is taken
  // from the current directory now. False, logged, and the setting
  // unchanged, when `dir` is not a directory. Logs the directory set.
  bool SetInstallationDir(const std::string& dir) override;
  // The directory a load reads now: the one set, or the executable's; ""
  // when the executable's cannot be read.
  std::string GetInstallationDir() override;

  // As GetAllArtifacts(), each artifact shared with the caller: it stays
  // whole while the caller holds it, also across an unload.
  void GetAllArtifactsShared(
      std::vector<std::shared_ptr<Artifact>>& artifacts) override;

 protected:
  // The installed implementation; empty until Initialize().
  std::shared_ptr<IZQEConfigurationManager> impl_;

 private:
  friend struct base::DefaultSingletonTraits<ZQEConfigurationManager>;

  ZQEConfigurationManager();
  ~ZQEConfigurationManager() override;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_CONFIG_ZQECONFIGURATIONMANAGER_H_
