// ZQEBundleManager: the process-wide facade of the kit's bundle manager.
//
// LoadBundle(artifact) loads the plug-in library an artifact names: the
// entry library ("mainEntry", a path inside the package directory) is
// checked against the manifest's MD5 when the extension manager's
// verification switch is on (and then against the signature in "signMD5"
// when its signature switch is on and it trusts a key: see
// ZQExtensionManager.h), opened through a CComLoader that is cached per
// library file, and, when the artifact names a bundle class, that class's
// object is created, initialised and kept. A verified library is opened
// once, hashed through that descriptor and loaded through the same
// descriptor, so a file put in its place after the check is never loaded.
// The dynamic loader is given a name of that load's own for the descriptor
// ("/proc/self/./fd/<n>", with more "./" and "/" components the more loads
// were verified before): it never hands this library back for another file,
// neither to a later verified load that finds the same descriptor number
// nor to other code of the process that loads a file through
// "/proc/self/fd/<n>". The load holds that one descriptor, and only while
// it runs. The dynamic loader then knows the library by that name, which
// is what dladdr() reports and what $ORIGIN expands from (give a plug-in
// its paths through its context, not through its own file name). A library
// is loaded at most once per manager: a later LoadBundle of it answers true
// at once. A library that failed to verify or to load is tried again (and
// verified again) by the next LoadBundle. Creating the bundle object may
// fail without failing the load.
//
// LoadBundles(artifacts) is LoadBundle of each artifact in list order, with
// the same results and the same messages in the same order, and true when
// every one answered true. With the MD5 switch on, the entry libraries are
// opened and hashed ahead of their loads on a few threads (as many as the
// extension manager's GetLibFileVerifyThreads() allows: 0 is one per core;
// never more than the cores or the libraries, and none for a single
// library), a handful of files ahead at most (and no more than a quarter
// of the descriptors the process has left under its soft RLIMIT_NOFILE);
// each library is then loaded, in order, through the descriptor that was
// hashed (its SHA-256 in the same pass as its MD5 when signatures are
// checked). A library file is hashed once however many artifacts name it,
// and a file that LoadBundle would not open (a library already loaded, an
// entry refused by the path rules) is not opened. The threads log nothing and
// are joined before LoadBundles returns. With the switch off it is a plain
// loop.
//
// GetComLoader(key) hands out the cached loader of the library file whose
// path text is `key` (as LoadBundle built it: package directory, "/", entry
// library), creating and caching an unloaded loader for a new key; it never
// loads anything. ComLoaderIsExist(key) tells whether a loader is cached.
// Keys compare as exact byte strings.
//
// Ownership: the manager owns its loaders and bundle objects until the
// implementation is destroyed; then it releases the bundle objects first and
// closes the libraries after, so a bundle's code is still mapped while it is
// destroyed. A loader handed out stays owned by the manager (do not delete
// it) and valid while the implementation lives; `loader` must not be null.
// The artifact stays the caller's.
//
// Failure: each operation returns false with one message through
// ZQELogService (level 0). With no implementation installed every operation
// returns false, silently, and leaves its out-parameter untouched. Nothing
// is thrown. A library the kit refuses is closed again, whatever made it
// fail, so no object is ever created from it. A file that is not a regular
// file, or whose loadable segments reach past its end (a copy cut short),
// is refused before the dynamic loader sees it (which would wait for ever,
// or crash the process), and a library whose DllGetClassObject throws while
// it is loaded fails like one that hands out no factory: both with "...
// because of load com failed". A bundle class whose creation or Initialize()
// throws is not kept, as one that cannot be created ("Bundle Loader -
// initialze bundle entry failed"), and the library stays loaded.
//
// Threads: every operation may be called from any thread, concurrently.
// Plug-in code (a library's initialisers, DllGetClassObject, the bundle's
// factory and Initialize()) runs on the calling thread, in list order, with
// no lock of the manager held, so it may call back into the kit. One thread
// at a time loads a given library: another thread that loads it, or asks
// GetComLoader for it, meanwhile waits for that load to end (the loading
// thread itself, asking again from the library's code, is not held up:
// LoadBundle answers "bundle has been loaded"). A loader handed out is never
// loaded or closed while the manager lives, so instances may be created
// through it on any thread while other libraries load. Initialize() and
// UnInitialize() take no lock: the host calls them before other threads use
// the kit and never while calls are in flight.
//
//   ZQEBundleManager* bundles = ZQEBundleManager::GetInstance();
//   bundles->Initialize(ZQEBundleManagerCreator::Create());
//   if (bundles->LoadBundle(artifact)) {
//     CComLoader* loader = nullptr;
//     bundles->GetComLoader(
//         artifact->GetRootPath().Append(artifact->GetBinFilePath()).value(),
//         &loader);
//   }

#ifndef ZQEXTENSIONKIT_BUNDLE_ZQEBUNDLEMANAGER_H_
#define ZQEXTENSIONKIT_BUNDLE_ZQEBUNDLEMANAGER_H_

#include <memory>
#include <string>
#include <vector>

#include "ZQExtensionKit/bundle/IZQEBundleManager.h"
#include "ZQExtensionKit/defines/ZQExtensionKitExport.h"
#include "dlcom/loadcom.h"

namespace base {
inline namespace zqe {
template <typename Type>
struct DefaultSingletonTraits;
}  // namespace zqe
}  // namespace base

namespace zqextensionkit {

class ZQEXTENSIONKIT_EXPORT ZQEBundleManager final : public IZQEBundleManager {
 public:
  // The process-wide facade, created on the first call and never destroyed.
  static ZQEBundleManager* GetInstance();

  ZQEBundleManager(const ZQEBundleManager&) = delete;
  ZQEBundleManager& operator=(const ZQEBundleManager&) = delete;

  // Installs `impl`, dropping the facade's reference to the previous one.
  void Initialize(std::shared_ptr<IZQEBundleManager> impl);
  // Drops the installed implementation; calls then fail until Initialize().
  void UnInitialize();

  bool LoadBundle(Artifact* artifact) override;
  bool GetComLoader(const std::string& key, CComLoader** loader) override;
  bool ComLoaderIsExist(const std::string& key) override;
  bool LoadBundles(const std::vector<Artifact*>& artifacts) override;

 private:
  friend struct base::DefaultSingletonTraits<ZQEBundleManager>;

  ZQEBundleManager();
  ~ZQEBundleManager() override;

  // The installed implementation; empty until Initialize().
  std::shared_ptr<IZQEBundleManager> impl_;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_BUNDLE_ZQEBUNDLEMANAGER_H_
