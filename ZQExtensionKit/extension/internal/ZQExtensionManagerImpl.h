// ZQExtensionManagerImpl: the kit's extension manager (see ZQExtensionManager.h
// for the contract of each operation). It keeps only the two verification
// switches, the keys trusted to sign libraries and the bound on the threads
// that hash libraries during Load():
// extension records live in the configuration manager, libraries
// and bundle objects in the bundle manager, singletons in the object
// container, and every other instance belongs to its caller.
//
// An instance is created by one of two routes. A record whose package names
// an entry library takes the library route: the class is created from that
// library's cached loader (as a singleton when the record says so), and its
// context gets the payloads, constraints, paths, launch parameters and ids.
// Any other record whose class is registered in the object container takes
// the registry route, and its context gets the payloads, constraints and
// paths only. Either way the instance's Initialization() runs on every
// request (a singleton is filled and initialised again each time) before the
// caller receives the extension point's interface.
//
// Load() explains itself: it makes a ZQELoadReport current on its thread,
// which the configuration and bundle managers fill as they explain each
// failed or skipped step, logs a summary at its end and keeps the report
// for GetLoadReport(). It holds shared ownership of the artifacts it hands
// to the bundle manager, so an unload on another thread cannot free them
// under it.
//
// With lazy library loading on, Load() reads the configuration and the
// manifests and loads no library: it marks each package that names one as
// deferred. The first request that takes the library route for a record of
// such a package loads the library, on the requesting thread, through the
// bundle manager's LoadBundle() of the record's own artifact (so with the
// same checks and messages as Load() would have used), explains it into a
// report of its own and merges that into the load's. Each deferred package
// is tried once per Load(): a library refused at its first use is not tried
// again (nor hashed) until the next Load().
//
// Threads: every operation may run on several threads at once. The switches
// are atomic; the trusted keys and what the latest Load() left (its report,
// which deferred packages were tried) are guarded by mutexes never held
// while other code runs, and one thread at a time loads a deferred package
// (others wait for it, then find it tried); records, libraries, bundles and
// singletons are guarded by the managers that keep them, none of which holds
// a lock while plug-in or host code runs.
//
// Internal header: hosts reach the manager through the ZQExtensionManager
// facade.

#ifndef ZQEXTENSIONKIT_EXTENSION_INTERNAL_ZQEXTENSIONMANAGERIMPL_H_
#define ZQEXTENSIONKIT_EXTENSION_INTERNAL_ZQEXTENSIONMANAGERIMPL_H_

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ZQExtensionKit/defines/internal/ZQEKeyedClaims.h"
#include "ZQExtensionKit/extension/IZQExtensionManager.h"
#include "ZQExtensionKit/trace/internal/ZQETrace.h"

namespace zqextensionkit {

class Extension;
class IZQBaseExtension;

class ZQExtensionManagerImpl final : public IZQExtensionManager {
 public:
  ZQExtensionManagerImpl();
  ZQExtensionManagerImpl(const ZQExtensionManagerImpl&) = delete;
  ZQExtensionManagerImpl& operator=(const ZQExtensionManagerImpl&) = delete;
  ~ZQExtensionManagerImpl() override;

  void SetFoundationVersion(const std::string& version) override;
  bool Load() override;
  bool Unload() override;
  bool GetExtension(const std::string& extensionPointId,
                    void** pExtension) override;
  bool GetExtensionList(const std::string& extensionPointId,
                        std::vector<void*>& extensionVector) override;
  bool GetExtensionById(const std::string& extensionId,
                        void** pExtension) override;
  bool RegisterExtension(const InstanceCreateFunction& instance_creator,
                         const std::string& clsid,
                         bool isSingleton) override;
  bool unRegisterExtension(const std::string& clsid) override;
  bool GetLibFileVerifyEnable() override;
  void SetLibFileVerifyEnable(bool enable) override;
  bool GetSignVerifyEnable() override;
  void SetSignVerifyEnable(bool enable) override;
  bool SetSecKey(const std::string& sec_key) override;
  bool SetDebugModeEnable(bool enable) override;
  void SetFetchExtensionAuthInfoCallback(
      const FetchExtensionAuthInfoCallback& callback) override;
  size_t GetLibFileVerifyThreads() override;
  void SetLibFileVerifyThreads(size_t threads) override;
  bool SetInstallationDir(const std::string& dir) override;
  std::string GetInstallationDir() override;
  std::string GetLoadReport() override;
  bool AddTrustedSignKey(const std::string& publicKeyPem) override;
  void ClearTrustedSignKeys() override;
  std::vector<std::string> GetTrustedSignKeys() override;
  void SetLazyLibraryLoading(bool enable) override;
  bool GetLazyLibraryLoading() override;

 private:
  // What one Load() leaves behind: its report, and what became of the
  // packages whose libraries it deferred.
  class LoadState;

  // The state of the latest Load(), or null before the first.
  std::shared_ptr<LoadState> CurrentLoadState();
  // After a lazy Load(): loads the library of the package `extensionInfo`
  // belongs to, when that Load() deferred it and no request has tried it
  // yet. Returns when the library is loaded or refused, or when nothing is
  // to be done.
  void LoadDeferredLibrary(Extension* extensionInfo);
  // Creates the instance `extensionInfo` describes and stores its extension
  // point interface in *ppv (one reference for the caller), choosing the
  // route; *ppv is null on failure.
  bool CreateExtensionInstance(Extension* extensionInfo, void** ppv);
  // The routes, tracing their steps after `creating` (the instance's
  // "create" span).
  bool CreateExtensionInstanceFromRegistry(Extension* extensionInfo,
                                           const std::string& iid,
                                           const std::string& clsId,
                                           void** ppv,
                                           ZQETraceSpan& creating);
  bool CreateExtensionInstanceFromLibrary(Extension* extensionInfo,
                                          const std::string& iid,
                                          const std::string& clsId,
                                          void** ppv,
                                          ZQETraceSpan& creating);

  std::atomic<bool> enableLibFileVerify_{false};
  std::atomic<bool> enableSignVerify_{false};
  // 0: one per core.
  std::atomic<size_t> libFileVerifyThreads_{0};
  // Read by each Load(): whether it defers the libraries.
  std::atomic<bool> lazyLibraryLoading_{false};
  // The deferred packages being loaded, by package directory.
  ZQEKeyedClaims deferred_loads_;
  std::mutex load_state_mutex_;
  // Guarded by load_state_mutex_. Null before the first Load().
  std::shared_ptr<LoadState> load_state_;
  std::mutex trustedSignKeysMutex_;
  // Guarded by trustedSignKeysMutex_. Canonical PEM texts, no two alike.
  std::vector<std::string> trustedSignKeys_;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_EXTENSION_INTERNAL_ZQEXTENSIONMANAGERIMPL_H_
