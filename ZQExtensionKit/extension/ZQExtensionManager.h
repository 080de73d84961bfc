// ZQExtensionManager: the process-wide facade of the kit's extension manager.
//
// Callers ask it for live extension instances by extension point id
// (GetExtension, GetExtensionList) or by extension id (GetExtensionById),
// register in-process extension classes (RegisterExtension,
// unRegisterExtension), load and unload the configured extensions (Load,
// Unload), configure the configuration manager through it (foundation
// version, 32-character key, debug mode, access-key callback), and switch
// the plug-in library checks: SetLibFileVerifyEnable(true) makes every
// library load check the file's MD5 against its manifest, and
// SetSignVerifyEnable(true) adds the signature check behind it (it has no
// effect while the MD5 check is off). Both switches are off until the host
// turns them on. With the MD5 check on, Load() hashes the libraries on a
// few threads of its own, ahead of loading them one by one in the
// configuration's order; SetLibFileVerifyThreads(n) bounds those threads
// (0, the default: one per core; 1: none, each library is hashed on the
// calling thread just before its load). The threads run only the reading
// and hashing of the files, log nothing, and are joined before Load()
// returns; what Load() loads and logs is the same for every bound.
// SetLazyLibraryLoading(true) makes Load() leave each library to the first
// request that needs it.
//
// The signature check needs keys: AddTrustedSignKey(pem) trusts the Ed25519
// public key in `pem` (PEM, as `openssl pkey -pubout` or `zqext keygen`
// writes it). With both switches on and at least one key trusted, a library
// loads only when its manifest's "signMD5" holds the Base64 of a trusted
// key's Ed25519 signature over its SHA-256 and its package's id, version
// and "mainEntry" (the versioned message the documentation gives, which
// `zqext sign` signs); otherwise it is refused, with a message that says why.
// With no key trusted, libraries are accepted as before and the log says once
// that signatures are not checked.
//
// The facade forwards each operation to the implementation installed with
// Initialize() and returns its result.
//
// Ownership: an instance handed out (through `pExtension`, or appended to
// `extensionVector`) is an untyped pointer to the extension point's
// interface carrying one reference that the caller releases through
// by::IBaseUnknown. `extensionVector` is appended to, never cleared.
//
// Failure: with no implementation installed (before start-up, or after
// UnInitialize()) every operation logs "extension manager ... failed,
// because of extension manager impl is null" through ZQELogService (level 0)
// and returns false, or nothing; out-parameters are left untouched and both
// switches read false. Otherwise each failure is a false result with one
// message from the implementation. Nothing is thrown, and nothing a plug-in
// or an in-process creator throws passes through: an instance whose
// creation, GetContext(), Initialization() or QueryInterface() throws is
// dropped like one that failed at that step (its message says which), and a
// bundle whose factory or Initialize() throws loads without its bundle
// object.
//
// Threads: every operation may be called from any thread, concurrently with
// any other. The facade's `impl_mutex_` guards only `impl_`: each call takes
// a reference to the installed implementation under it and runs without it,
// so the plug-in and host code that a call runs (creators, factories,
// init_class, a bundle's Initialize, an extension's constructor and
// Initialization) may call this facade or any other facade of the kit, on
// its own thread or by waiting for another thread that does. A call in
// flight keeps the implementation it took alive, even across UnInitialize().
// A library is loaded once however many threads ask for it: a thread that
// needs a library another thread is loading waits for that load.
//
//   ZQExtensionManager* extensions = ZQExtensionManager::GetInstance();
//   void* instance = nullptr;
//   if (extensions->GetExtension("com.example.toolbar", &instance)) {
//     static_cast<IToolbarButton*>(instance)->Show();
//     static_cast<by::IBaseUnknown*>(instance)->Release();
//   }

#ifndef ZQEXTENSIONKIT_EXTENSION_ZQEXTENSIONMANAGER_H_
#define ZQEXTENSIONKIT_EXTENSION_ZQEXTENSIONMANAGER_H_

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"
#include "ZQExtensionKit/extension/IZQExtensionManager.h"

namespace base {
inline namespace zqe {
template <typename Type>
struct DefaultSingletonTraits;
}  // namespace zqe
}  // namespace base

namespace zqextensionkit {

class ZQEXTENSIONKIT_EXPORT ZQExtensionManager final
    : public IZQExtensionManager {
 public:
  // The process-wide facade, created on the first call and never destroyed.
  static ZQExtensionManager* GetInstance();

  ZQExtensionManager(const ZQExtensionManager&) = delete;
  ZQExtensionManager& operator=(const ZQExtensionManager&) = delete;

  // Installs `impl` (an empty pointer included), dropping the facade's
  // reference to the previous one.
  void Initialize(std::shared_ptr<IZQExtensionManager> impl);
  // Drops the installed implementation; calls then fail until one is
  // installed again. Writes the start-up trace's buffered spans, when the
  // host traces (ZQExtensionKit::SetTraceFile()).
  void UnInitialize();
  // As Initialize(), but an empty `impl` is ignored and the installed
  // implementation stays.
  void SetImpl(const std::shared_ptr<IZQExtensionManager>& impl);

  // Forwarded to the configuration manager.
  void SetFoundationVersion(const std::string& version) override;
  // Loads the configuration of the installation (beside the executable,
  // unless SetInstallationDir() names another directory), then every
  // artifact's library (and bundle object), unless SetLazyLibraryLoading()
  // leaves them to their first use; a library that fails does not stop the
  // others. Returns the configuration's result. Each step that
  // fails or is skipped is explained at log level 3, naming the file by its
  // full path and the reason, and a summary ends the load (packages loaded,
  // skipped and refused, libraries loaded, the installation); the same is
  // kept for GetLoadReport(). Unloading on another thread meanwhile is
  // safe: the load holds the artifacts it loads.
  bool Load() override;
  // Empties the configuration; libraries stay loaded.
  bool Unload() override;
  // The first instance of the point; the other instances created on the way
  // are released. False (and null) when the point yields none. A null
  // `pExtension` is refused.
  bool GetExtension(const std::string& extensionPointId,
                    void** pExtension) override;
  // Appends one instance per record of the point that could be created, in
  // the configuration's order; a record that fails is skipped (and logged).
  // True only when this call appended at least one instance.
  bool GetExtensionList(const std::string& extensionPointId,
                        std::vector<void*>& extensionVector) override;
  // The instance of the record with this extension id. False (and null)
  // when there is none or it cannot be created. A null `pExtension` is
  // refused.
  bool GetExtensionById(const std::string& extensionId,
                        void** pExtension) override;
  // Registers an in-process extension class with the object container; it
  // serves records whose package names no library.
  bool RegisterExtension(const InstanceCreateFunction& instance_creator,
                         const std::string& clsid,
                         bool isSingleton) override;
  // Removes an in-process class registered with RegisterExtension().
  bool unRegisterExtension(const std::string& clsid) override;
  // The MD5 check of plug-in libraries (off until turned on).
  bool GetLibFileVerifyEnable() override;
  void SetLibFileVerifyEnable(bool enable) override;
  // The signature check, which runs only behind the MD5 check.
  bool GetSignVerifyEnable() override;
  void SetSignVerifyEnable(bool enable) override;
  // Forwarded to the configuration manager: the key of an encrypted
  // config.json, the debug flag and the host's access-key fetch.
  bool SetSecKey(const std::string& sec_key) override;
  bool SetDebugModeEnable(bool enable) override;
  void SetFetchExtensionAuthInfoCallback(
      const FetchExtensionAuthInfoCallback& callback) override;
  // The most threads Load() hashes libraries on when the MD5 check is on:
  // 0 (the default) is one per core. Whatever the setting, Load() starts no
  // more threads than there are cores this process may run on, or
  // libraries to hash, and none for one library. The setting reads 0 with
  // no implementation installed.
  size_t GetLibFileVerifyThreads() override;
  // Sets the bound GetLibFileVerifyThreads() reads.
  void SetLibFileVerifyThreads(size_t threads) override;
  // Trusts the Ed25519 public key in `publicKeyPem` (one PEM "PUBLIC KEY"
  // block) to sign plug-in libraries, from the next library checked on.
  // False, with the message "extension manager impl - add trusted sign key
  // failed, because of key is not an ed25519 public key in pem", for
  // anything else (an RSA or other key, a private key, text that is not
  // PEM). Trusting a key twice keeps it once.
  bool AddTrustedSignKey(const std::string& publicKeyPem) override;
  // Trusts no key any more: signatures are no longer checked.
  void ClearTrustedSignKeys() override;
  // The trusted keys, each in canonical PEM, in the order they were first
  // added; empty with no implementation installed.
  std::vector<std::string> GetTrustedSignKeys() override;

  // Forwarded to the configuration manager: the directory later loads read
  // the installation from (extension_adapter_mapping.json,
  // extensions/config.json and the packages below it) in place of the
  // executable's directory; "" returns to the executable's. Set it before
  // Load(). A relative path is taken from the current directory at the
  // call. False (logged, setting unchanged) when `dir` is not a directory.
  bool SetInstallationDir(const std::string& dir) override;
  // The directory a load reads now: the one set, or the executable's ("" when
  // that cannot be read).
  std::string GetInstallationDir() override;

  // What the latest Load() found, as JSON text (pretty-printed):
  //   {"installation": "/opt/client", "load": "succeeded",
  //    "ok": false, "problems": 1, "notes": 0,
  //    "packagesLoaded": 2, "packagesRefused": 1, "packagesSkipped": 0,
  //    "librariesLoaded": 1,
  //    "findings": [{"severity": "problem", "file": "/opt/client/...",
  //                  "line": 3, "column": 5, "message": "..."}],
  //    "packages": [{"path": "/opt/client/extensions/pkg", "id": "pkg",
  //                  "outcome": "loaded", "reason": "", "message": ""}]}
  // "load" is "succeeded" or "failed" (the result of the configuration's
  // load), or "not run" before the first Load(); "ok" is whether no
  // problem was found. Each finding is one step that failed or was skipped,
  // its message the text logged at level 3, "line" and "column" given for a
  // file that is not valid JSON. Each package the configuration lists has
  // an "outcome": "loaded" (its records serve; "reason" "bundle-class" when
  // its library made no bundle object), "refused" (its records are there
  // but its library was not loaded) or "skipped" (it contributes nothing),
  // and a "reason" token (see the README) with the message that gave it.
  // More outcomes and reasons may come: treat unknown ones as problems.
  // "" with no implementation installed.
  // After a lazy Load() (below), a package whose library waits for its first
  // use has the outcome "deferred" (counted as "packagesDeferred"); once a
  // request has loaded or refused its library the report shows that
  // outcome, with the findings and libraries of that load.
  std::string GetLoadReport() override;

  // Lazy library loading, off until the host turns it on; the setting
  // applies to the Load() calls that follow it. With it on, Load() reads the
  // mapping, the configuration and the manifests as always and keeps the
  // records, but opens, verifies and loads no library and creates no bundle
  // object. The first request that needs a package's library (an extension
  // of that package through GetExtensionList(), GetExtension() or
  // GetExtensionById()) verifies and loads it and creates and initialises
  // its bundle object, on the requesting thread, with the checks and
  // messages Load() would have used; threads that ask for it meanwhile wait
  // for that load. A library refused then stays refused, and is not read
  // again, until the next Load(); its extensions are skipped like those of
  // a library Load() refused, and the other packages are not affected. A
  // package whose records no request reaches never has its library loaded.
  // The setting reads false with no implementation installed.
  void SetLazyLibraryLoading(bool enable) override;
  bool GetLazyLibraryLoading() override;

 private:
  friend struct base::DefaultSingletonTraits<ZQExtensionManager>;

  ZQExtensionManager();
  ~ZQExtensionManager() override;

  // A copy of `impl_`, taken under `impl_mutex_`.
  std::shared_ptr<IZQExtensionManager> GetImpl();

  // Calls `operation` on the installed implementation with `args`, without
  // holding `impl_mutex_`, and returns its result. Without an
  // implementation it logs `missing_impl_message` and returns false (or
  // nothing).
  template <typename Result, typename... Params, typename... Args>
  Result Forward(Result (IZQExtensionManager::*operation)(Params...),
                 const char* missing_impl_message,
                 Args&&... args);

  // Guards impl_; never held while the implementation runs.
  std::recursive_mutex impl_mutex_;
  // Guarded by impl_mutex_. Empty until an implementation is installed.
  std::shared_ptr<IZQExtensionManager> impl_;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_EXTENSION_ZQEXTENSIONMANAGER_H_
