// ZQEBundleManagerImpl: the kit's bundle manager (see ZQEBundleManager.h for
// the contract of the three operations). It keeps one CComLoader per library
// file, keyed by the path text, and one bundle object per bundle class id.
//
// Internal header: hosts reach the manager through the ZQEBundleManager
// facade.

#ifndef ZQEXTENSIONKIT_BUNDLE_INTERNAL_ZQEBUNDLEMANAGERIMPL_H_
#define ZQEXTENSIONKIT_BUNDLE_INTERNAL_ZQEBUNDLEMANAGERIMPL_H_

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "ZQExtensionKit/bundle/IZQEBundle.h"
#include "ZQExtensionKit/bundle/IZQEBundleManager.h"
#include "ZQExtensionKit/bundle/internal/ZQEEntryLibraryPath.h"
#include "ZQExtensionKit/defines/internal/ZQEKeyedClaims.h"
#include "dlcom/comsentry.h"
#include "dlcom/loadcom.h"
#include "dlcom/unknown.h"

namespace zqextensionkit {

class ZQEHashedFile;

class ZQEBundleManagerImpl final : public IZQEBundleManager {
 public:
  ZQEBundleManagerImpl();
  ZQEBundleManagerImpl(const ZQEBundleManagerImpl&) = delete;
  ZQEBundleManagerImpl& operator=(const ZQEBundleManagerImpl&) = delete;
  // Releases every bundle object, then closes every library.
  ~ZQEBundleManagerImpl() override;

  bool LoadBundle(Artifact* artifact) override;
  bool GetComLoader(const std::string& key, CComLoader** loader) override;
  bool ComLoaderIsExist(const std::string& key) override;
  bool LoadBundles(const std::vector<Artifact*>& artifacts) override;

  // The bundle object cached under `clsid`, as its by::IBaseUnknown pointer
  // and without a reference for the caller: it stays valid while the manager
  // holds the object. An unknown class id sets *ppv to null; an empty one
  // leaves it untouched. Both return false.
  bool GetBundleObject(const std::string& clsid, void** ppv);
  // Caches the object `ppv` (an interface pointer) under `clsid`, holding a
  // reference of its own, unless an object is cached there already: the
  // first one stays. False for an empty class id or a null object.
  bool SetBundleObject(const std::string& clsid, void* ppv);

 private:
  // The entry libraries of one LoadBundles() call, hashed ahead.
  class HashedLibraries;

  // Where an artifact's entry library lies, and its key (path text) when
  // it was found.
  struct EntryLocation {
    EntryLibrary where = EntryLibrary::kRefused;
    std::string key;
  };
  static EntryLocation Locate(const Artifact& artifact);
  // LoadBundle() of `artifact`, whose entry library is at `entry` (ignored
  // for a null artifact), taking the library's opened and hashed file from
  // `hashed` (as artifact `index` of its list) when it holds one; null:
  // nothing was hashed ahead.
  bool LoadBundleUsing(Artifact* artifact,
                       const EntryLocation& entry,
                       HashedLibraries* hashed,
                       size_t index);
  // What LoadBundle() does after its path checks, for the library file at
  // `key` (an existing file inside the artifact's package). `verified_file`
  // is that file already opened and hashed when the MD5 switch is on (by
  // LoadBundle, or ahead of it on any thread), or null: with it, its digest
  // is checked and the library is loaded through its descriptor, so that
  // what was checked is what is loaded.
  bool LoadLibraryAndBundle(Artifact* artifact,
                            const std::string& key,
                            ZQEHashedFile* verified_file);
  // Creates the bundle object of class `bundle_clsid` from the loaded
  // library and initialises it. False when the library cannot make it, or
  // when its creation or Initialize() throws (the object is then released);
  // `*why` then says which, to follow the library's path in a message.
  bool CreateAndInitializeBundle(CComLoader* loader,
                                 const std::string& bundle_clsid,
                                 by::com_ptr<IZQEBundle>* bundle,
                                 std::string* why);
  // Whether the loader cached under `key` has loaded its library.
  bool IsLibraryLoaded(const std::string& key);
  // Writes ComLoaderIsExist()'s message for `key`.
  void LogLoaderLookup(const std::string& key, bool found);

  // The libraries being loaded, by key.
  ZQEKeyedClaims library_loads_;
  std::recursive_mutex loader_mutex_;
  // Guarded by loader_mutex_. One loader per library file. A loader handed
  // out is never changed: a library is loaded into a new loader, which then
  // takes the place of the cached one.
  std::map<std::string, std::shared_ptr<CComLoader>> com_loader_dict_;
  // Guarded by loader_mutex_. Loaders replaced in com_loader_dict_, kept
  // (unloaded) until the manager is destroyed: a caller may still hold one.
  std::vector<std::shared_ptr<CComLoader>> retired_loaders_;
  // Guarded by loader_mutex_. The keys whose LoadCom succeeded: a loader
  // that GetComLoader created, or whose load failed, is loaded again.
  std::set<std::string> loaded_library_keys_;
  std::recursive_mutex bundle_mutex_;
  // Guarded by bundle_mutex_. One reference to each bundle object; never
  // holds a null pointer.
  std::map<std::string, by::com_ptr<by::IBaseUnknown>> bundle_dict_;
};

}  // namespace zqextensionkit

#endif  // ZQEXTENSIONKIT_BUNDLE_INTERNAL_ZQEBUNDLEMANAGERIMPL_H_
