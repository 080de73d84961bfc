#include "ZQExtensionKit/bundle/internal/ZQEBundleManagerImpl.h"

#include <utility>

#include "ZQExtensionKit/bundle/IZQEBundle.h"
#include "ZQExtensionKit/bundle/internal/ZQEEntryLibraryPath.h"
#include "ZQExtensionKit/bundle/internal/ZQELoadableLibraryFile.h"
#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/config/internal/ZQEInstallationFiles.h"
#include "ZQExtensionKit/defines/internal/ZQEForeignCall.h"
#include "ZQExtensionKit/defines/internal/ZQELoadReport.h"
#include "ZQExtensionKit/extension/ZQExtensionManager.h"
#include "ZQExtensionKit/log/ZQELogService.h"
#include "ZQExtensionKit/security/internal/ZQEExtensionLibFileVerifyImpl.h"
#include "ZQExtensionKit/security/internal/ZQEExtensionSignVerifyImpl.h"
#include "ZQExtensionKit/security/internal/ZQEHashedFile.h"
#include "ZQExtensionKit/security/internal/ZQEHashedFileQueue.h"
#include "ZQExtensionKit/trace/internal/ZQETrace.h"
#include "base/files/file_path.h"
#include "dlcom/guidstring.h"

namespace zqextensionkit {

namespace {

using Outcome = ZQELoadReport::Outcome;

constexpr char kLoadLibraryFailed[] =
    "Bundle Loader - load library failed, because of ";

// Explains why the library of the package in `dir` was refused.
void ExplainRefusal(const std::string& dir,
                    const char* reason,
                    const std::string& file,
                    const std::string& why) {
  ExplainPackage(dir, Outcome::kRefused, reason, file, 0, 0, "%s%s",
                 kLoadLibraryFailed, why.c_str());
}

// Explains why the package `artifact` names no library that can be found.
// A package without an entry library is no failure and is not explained.
void ExplainEntryNotFound(const Artifact& artifact, EntryLibrary where) {
  const base::FilePath root = artifact.GetRootPath();
  const std::string entry = artifact.GetBinFilePath();
  if (where == EntryLibrary::kNoRootPath) {
    ExplainRefusal(root.value(), load_reason::kLibraryMissing, root.value(),
                   "the package directory " + root.value() + " does not exist");
  } else if (entry.empty()) {
    return;
  } else if (!IsEntryInsidePackage(entry)) {
    const std::string manifest = root.Append(kManifestFileName).value();
    ExplainRefusal(root.value(), load_reason::kLibraryMissing, manifest,
                   "the entry library \"" + entry + "\" of " + manifest +
                       " is not a path inside the package");
  } else {
    const std::string library = root.Append(base::FilePath(entry)).value();
    ExplainRefusal(root.value(), load_reason::kLibraryMissing, library,
                   library + " does not exist");
  }
}

// Explains why LoadCom() refused the library at `key`, which it opened as
// `load_path`: `returned` is false when the library threw from its
// class-object entry point.
void ExplainLoadComFailure(const std::string& dir,
                           const std::string& key,
                           const std::string& load_path,
                           bool returned) {
  if (!returned) {
    ExplainRefusal(dir, load_reason::kClassFactory, key,
                   "DllGetClassObject of " + key + " threw");
    return;
  }
  const by::LoadComError& error = by::LastLoadComFailure();
  // The dynamic loader names the file as it was opened: a verified library
  // by a descriptor name of that load's own, which says nothing to a reader.
  std::string text = error.text;
  if (load_path != key) {
    for (size_t at = text.find(load_path); at != std::string::npos;
         at = text.find(load_path, at + key.size())) {
      text.replace(at, load_path.size(), key);
    }
  }
  switch (error.failure) {
    case by::LoadComFailure::kPath:
      ExplainRefusal(
          dir, load_reason::kDynamicLoader, key,
          "the path of " + key + " is too long for the loader: " + text);
      break;
    case by::LoadComFailure::kEntryPoint:
      ExplainRefusal(dir, load_reason::kEntryPoint, key,
                     key + " lacks an entry point: " + text);
      break;
    case by::LoadComFailure::kClassFactory:
      ExplainRefusal(dir, load_reason::kClassFactory, key,
                     "DllGetClassObject of " + key +
                         " hands out no framework class factory");
      break;
    case by::LoadComFailure::kOpen:
    case by::LoadComFailure::kNone:
      ExplainRefusal(dir, load_reason::kDynamicLoader, key,
                     "the dynamic loader refused " + key + ": " + text);
      break;
  }
}

// The library at `key`, opened and hashed on this thread.
ZQEHashedFile HashLibraryFile(const std::string& key,
                              ZQEHashedFile::Digests digests) {
  ZQETraceSpan span("hash", trace_category::kLibrary);
  span.Arg("library", key);
  ZQEHashedFile file = ZQEHashedFile::Open(key, digests);
  span.Result(file.ok());
  return file;
}

void NoteLoadedLibrary(const std::string& key) {
  if (ZQELoadReport* report = ZQELoadReport::Current())
    report->AddLoadedLibrary(key);
}

}  // namespace

ZQEBundleManagerImpl::ZQEBundleManagerImpl() = default;

ZQEBundleManagerImpl::~ZQEBundleManagerImpl() {
  // Bundle objects go first, while the code they run is still mapped; the
  // loaders then close their libraries. Each cache is emptied before its
  // entries are released, so a destructor that calls back into the manager
  // finds nothing half-destroyed.
  std::map<std::string, by::com_ptr<by::IBaseUnknown>> bundles;
  {
    std::lock_guard<std::recursive_mutex> lock(bundle_mutex_);
    bundles.swap(bundle_dict_);
  }
  bundles.clear();
  std::map<std::string, std::shared_ptr<CComLoader>> loaders;
  std::vector<std::shared_ptr<CComLoader>> retired;
  {
    std::lock_guard<std::recursive_mutex> lock(loader_mutex_);
    loaders.swap(com_loader_dict_);
    retired.swap(retired_loaders_);
    loaded_library_keys_.clear();
  }
  loaders.clear();
  retired.clear();
}

// The entry libraries of one LoadBundles() call, opened and hashed ahead of
// their loads by a ZQEHashedFileQueue: each library file once, however many
// artifacts name it, and closed as soon as no later artifact can need it.
class ZQEBundleManagerImpl::HashedLibraries {
 public:
  // `keys[i]` is the library key of artifact i, or empty when loading that
  // artifact hashes no file. `threads_setting` bounds the threads as
  // ZQEHashedFileQueue::ThreadsFor() reads it; each file is hashed for
  // `digests`.
  HashedLibraries(const std::vector<std::string>& keys,
                  size_t threads_setting,
                  ZQEHashedFile::Digests digests)
      : file_of_(keys.size(), kNone) {
    std::map<std::string, size_t> index;  // key -> file in the queue
    std::vector<std::string> paths;
    for (size_t i = 0; i < keys.size(); ++i) {
      if (keys[i].empty())
        continue;
      auto [entry, added] = index.try_emplace(keys[i], paths.size());
      if (added) {
        paths.push_back(keys[i]);
        last_use_.push_back(i);
      }
      file_of_[i] = entry->second;
      last_use_[entry->second] = i;
    }
    const size_t threads =
        ZQEHashedFileQueue::ThreadsFor(threads_setting, paths.size());
    queue_ = std::make_unique<ZQEHashedFileQueue>(std::move(paths), threads,
                                                  digests);
  }

  // The library file of artifact `artifact`, opened and hashed (waiting for
  // it if need be), or null when none was hashed ahead for it.
  ZQEHashedFile* Get(size_t artifact) {
    const size_t file = file_of_[artifact];
    return file == kNone ? nullptr : queue_->Get(file);
  }

  // Artifact `artifact` is done with. Its library file is closed when no
  // later artifact names it, or when the library is loaded now: a later
  // artifact naming it then finds it loaded and opens nothing.
  void Done(size_t artifact, bool library_loaded) {
    const size_t file = file_of_[artifact];
    if (file != kNone && (library_loaded || last_use_[file] == artifact))
      queue_->Release(file);
  }

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  std::vector<size_t> file_of_;   // artifact -> file, or kNone
  std::vector<size_t> last_use_;  // file -> last artifact naming it
  std::unique_ptr<ZQEHashedFileQueue> queue_;
};

bool ZQEBundleManagerImpl::LoadBundle(Artifact* artifact) {
  return LoadBundleUsing(
      artifact, artifact ? Locate(*artifact) : EntryLocation(), nullptr, 0);
}

bool ZQEBundleManagerImpl::LoadBundles(
    const std::vector<Artifact*>& artifacts) {
  ZQETraceSpan span("libraries", trace_category::kLibrary);
  span.Number("packages", static_cast<int64_t>(artifacts.size()));
  ZQExtensionManager* switches = ZQExtensionManager::GetInstance();
  if (!switches->GetLibFileVerifyEnable()) {
    bool all_loaded = true;
    for (Artifact* artifact : artifacts)
      all_loaded = LoadBundle(artifact) && all_loaded;
    return all_loaded;
  }
  // Each entry library located once, and the files the loads below hash:
  // the entry library of each artifact that has one inside its package and
  // is not loaded yet.
  std::vector<EntryLocation> entries(artifacts.size());
  std::vector<std::string> hashed_keys(artifacts.size());
  for (size_t i = 0; i < artifacts.size(); ++i) {
    if (!artifacts[i])
      continue;
    entries[i] = Locate(*artifacts[i]);
    if (entries[i].where == EntryLibrary::kFound &&
        !IsLibraryLoaded(entries[i].key)) {
      hashed_keys[i] = entries[i].key;
    }
  }
  HashedLibraries hashed(
      hashed_keys, switches->GetLibFileVerifyThreads(),
      ZQEExtensionSignVerifyImpl::GetInstance()->DigestsToVerify());
  bool all_loaded = true;
  for (size_t i = 0; i < artifacts.size(); ++i) {
    all_loaded =
        LoadBundleUsing(artifacts[i], entries[i], &hashed, i) && all_loaded;
    hashed.Done(i, !hashed_keys[i].empty() && IsLibraryLoaded(hashed_keys[i]));
  }
  // `hashed` joins its threads and closes what is left open here.
  return all_loaded;
}

// static
ZQEBundleManagerImpl::EntryLocation ZQEBundleManagerImpl::Locate(
    const Artifact& artifact) {
  EntryLocation entry;
  base::FilePath path;
  entry.where = FindEntryLibrary(artifact.GetRootPath(),
                                 artifact.GetBinFilePath(), &path);
  if (entry.where == EntryLibrary::kFound)
    entry.key = path.value();
  return entry;
}

bool ZQEBundleManagerImpl::LoadBundleUsing(Artifact* artifact,
                                           const EntryLocation& entry,
                                           HashedLibraries* hashed,
                                           size_t index) {
  ZQETraceSpan span("library", trace_category::kLibrary);
  if (span.on() && artifact)
    span.Package(artifact->GetRootPath().value());
  span.Arg("library", entry.key);
  ZQELogService* log = ZQELogService::GetInstance();
  if (!artifact) {
    log->LogMessage(
        0, "Bundle Loader - load bundle failed, because of artifact is null");
    return false;
  }
  switch (entry.where) {
    case EntryLibrary::kNoRootPath:
      log->LogMessage(
          0,
          "Bundle Loader - load bundle failed, because of root path not exist");
      ExplainEntryNotFound(*artifact, entry.where);
      return false;
    case EntryLibrary::kRefused:
      log->LogMessage(0,
                      "Bundle Loader - load bundle failed, because of library "
                      "file path not exist or empty");
      ExplainEntryNotFound(*artifact, entry.where);
      return false;
    case EntryLibrary::kFound:
      break;
  }
  const std::string& key = entry.key;
  // One thread at a time loads a library; another that asks for it meanwhile
  // waits here and then finds it loaded (or tries again after a failure).
  // The library's own code asking for it again, on the loading thread, finds
  // it being loaded.
  const ZQEKeyedClaims::Claim load = library_loads_.Acquire(key);
  if (!load.owned()) {
    log->LogMessage(0, "Bundle Loader - bundle has been loaded");
    span.Outcome("loaded", "already-loaded");
    return true;
  }
  if (ComLoaderIsExist(key) && IsLibraryLoaded(key)) {
    log->LogMessage(0, "Bundle Loader - bundle has been loaded");
    NoteLoadedLibrary(key);
    span.Outcome("loaded", "already-loaded");
    return true;
  }

  if (!ZQExtensionManager::GetInstance()->GetLibFileVerifyEnable()) {
    return span.Result(LoadLibraryAndBundle(artifact, key, nullptr), "loaded",
                       "refused");
  }
  if (ZQEHashedFile* hashed_file = hashed ? hashed->Get(index) : nullptr) {
    return span.Result(LoadLibraryAndBundle(artifact, key, hashed_file),
                       "loaded", "refused");
  }
  ZQEHashedFile library_file = HashLibraryFile(
      key, ZQEExtensionSignVerifyImpl::GetInstance()->DigestsToVerify());
  return span.Result(LoadLibraryAndBundle(artifact, key, &library_file),
                     "loaded", "refused");
}

bool ZQEBundleManagerImpl::LoadLibraryAndBundle(Artifact* artifact,
                                                const std::string& key,
                                                ZQEHashedFile* verified_file) {
  ZQELogService* log = ZQELogService::GetInstance();
  // Without verification the dynamic loader opens the path; with it, the
  // descriptor through which the digest was computed, so the file checked
  // is the file loaded whatever happens to the path in between.
  const std::string dir = artifact->GetRootPath().value();
  std::string load_path = key;
  if (verified_file) {
    ZQETraceSpan verification("verification", trace_category::kLibrary);
    const std::string lib_file_md5 = artifact->GetLibFileMD5();
    if (!ZQEExtensionLibFileVerifyImpl::GetInstance()->VerifyHashedFile(
            *verified_file, lib_file_md5)) {
      log->LogMessage(0,
                      "Bundle Loader - load bundle failed, because of lib file "
                      "verify failed");
      if (!verified_file->ok()) {
        ExplainRefusal(dir, load_reason::kLibraryUnreadable, key,
                       key + " cannot be read to its end");
      } else {
        ExplainRefusal(
            dir, load_reason::kMd5, key,
            "the MD5 of " + key + " is " + verified_file->md5_text() +
                ", its manifest " +
                (lib_file_md5.empty() ? std::string("gives no \"libFileMD5\"")
                                      : "gives " + lib_file_md5));
      }
      return verification.Result(false);
    }
    // The signature is checked only behind a verified MD5.
    std::string why;
    if (ZQExtensionManager::GetInstance()->GetSignVerifyEnable() &&
        !ZQEExtensionSignVerifyImpl::GetInstance()->VerifyHashedFile(
            *verified_file, *artifact, &why)) {
      log->LogMessage(0,
                      "Bundle Loader - load bundle failed, because of file "
                      "sign verify failed");
      ExplainRefusal(dir, load_reason::kSignature, key,
                     key + " fails its signature check: " + why);
      return verification.Result(false);
    }
    verification.Result(true);
    // A name of this load's own for the verified descriptor: the dynamic
    // loader never takes it for a library it loaded before, and other code
    // never writes it.
    load_path = verified_file->DynamicLoaderPath();
  }

  CComLoader* cached_loader = nullptr;
  if (!GetComLoader(key, &cached_loader) || !cached_loader) {
    log->LogMessage(0,
                    "Bundle Loader - load bundle failed, because of get com "
                    "loader failed");
    return false;
  }
  // The library is loaded into a loader of its own, which replaces the
  // cached one once it is loaded: the cached one may be in the hands of a
  // thread creating instances, and a loader is never changed while others
  // may use it.
  const std::shared_ptr<CComLoader> new_loader = std::make_shared<CComLoader>();
  CComLoader* loader = new_loader.get();
  // A file the dynamic loader would crash or hang on never reaches it.
  const bool loadable = verified_file
                            ? IsLoadableLibraryFile(verified_file->descriptor())
                            : IsLoadableLibraryFile(key);
  // A library that throws from its class-object entry point has not
  // loaded: `loaded` is then never set.
  BOOL loaded = FALSE;
  bool returned = true;
  if (loadable) {
    ZQETraceSpan loading("LoadCom", trace_category::kLibrary);
    returned =
        CallForeignCode([&] { loaded = loader->LoadCom(load_path.c_str()); });
    loading.Result(returned && loaded);
  }
  if (!loaded) {
    // A refused library is closed again. The loader would otherwise keep a
    // library that lacks an entry point open, and the extension manager,
    // which creates objects through any open loader, would serve the
    // classes of a library the kit had refused.
    loader->UnloadCom();
    log->LogMessage(
        0, "Bundle Loader - load bundle failed, because of load com failed");
    if (!loadable) {
      ExplainRefusal(dir, load_reason::kNotALibrary, key,
                     key +
                         " is not a loadable library (not a regular file, "
                         "or cut short)");
    } else {
      ExplainLoadComFailure(dir, key, load_path, returned);
    }
    return false;
  }
  NoteLoadedLibrary(key);
  {
    std::lock_guard<std::recursive_mutex> lock(loader_mutex_);
    std::shared_ptr<CComLoader>& cached = com_loader_dict_[key];
    if (cached)
      retired_loaders_.push_back(std::move(cached));
    cached = new_loader;
    loaded_library_keys_.insert(key);
  }

  const std::string bundle_clsid = artifact->GetBundleClassId();
  if (bundle_clsid.empty())
    return true;
  // A library that cannot make or initialise its bundle object stays
  // loaded: its extensions may not need it.
  by::com_ptr<IZQEBundle> bundle;
  std::string why;
  ZQETraceSpan creating("bundle", trace_category::kLibrary);
  creating.Arg("class", bundle_clsid);
  if (!creating.Result(
          CreateAndInitializeBundle(loader, bundle_clsid, &bundle, &why))) {
    creating.Arg("why", why);
    log->LogMessage(0, "Bundle Loader - initialze bundle entry failed");
    ExplainPackage(dir, Outcome::kLoaded, load_reason::kBundleClass, key, 0, 0,
                   "Bundle Loader - create bundle object failed, because of "
                   "%s %s",
                   key.c_str(), why.c_str());
    return true;
  }
  // The cache takes its own reference; `bundle` releases the local one.
  if (!SetBundleObject(bundle_clsid, bundle.ptr()))
    return false;
  log->LogMessage(0, "Bundle Loader - initialze bundle entry success");
  return true;
}

bool ZQEBundleManagerImpl::CreateAndInitializeBundle(
    CComLoader* loader,
    const std::string& bundle_clsid,
    by::com_ptr<IZQEBundle>* bundle,
    std::string* why) {
  if (!loader->IsLoaded()) {
    *why = "is not loaded";
    return false;
  }
  const ZQGUID clsid = S2GUIDA(bundle_clsid.c_str(), true);
  // The object is taken over only on success: after a failure or an
  // exception the out-parameter carries no reference the kit may release.
  void* created = nullptr;
  HRESULT result = E_FAIL;
  if (!CallForeignCode([&] {
        result = loader->CreateInstance(
            clsid, nullptr, nullptr, by::__uuid_s<IZQEBundle>::iid, &created);
      })) {
    *why = "threw while creating the bundle class " + bundle_clsid;
    return false;
  }
  if (result != S_OK || !created) {
    *why = "does not make an object of the bundle class " + bundle_clsid +
           " (not implemented, or without the bundle interface)";
    return false;
  }
  bundle->attach(static_cast<IZQEBundle*>(created));
  // A bundle whose Initialize throws is not kept: it is released here.
  if (!CallForeignCode([&] {
        ZQETraceSpan initializing("Initialize", trace_category::kLibrary);
        initializing.Outcome("threw");
        (*bundle)->Initialize();
        initializing.Outcome("done");
      })) {
    bundle->dispose();
    *why = "threw from Initialize() of the bundle class " + bundle_clsid;
    return false;
  }
  return true;
}

bool ZQEBundleManagerImpl::GetComLoader(const std::string& key,
                                        CComLoader** loader) {
  // A library another thread is loading is waited for, so the loader handed
  // out is the one that holds it.
  library_loads_.Wait(key);
  // The messages come after the lock: the host's logger runs no kit lock.
  ZQELogService* log = ZQELogService::GetInstance();
  if (key.empty()) {
    log->LogMessage(0,
                    "Bundle Loader - key:%s, get com loader failed, because of "
                    "key is empty",
                    key.c_str());
    return false;
  }
  // The check is ComLoaderIsExist()'s, message included, done with the same
  // lookup that fetches the loader.
  bool found = false;
  {
    std::lock_guard<std::recursive_mutex> lock(loader_mutex_);
    auto it = com_loader_dict_.find(key);
    found = it != com_loader_dict_.end();
    if (!found)
      it = com_loader_dict_.emplace(key, std::make_shared<CComLoader>()).first;
    *loader = it->second.get();
  }
  LogLoaderLookup(key, found);
  if (!found) {
    log->LogMessage(0, "Bundle Loader - key:%s, create com loader",
                    key.c_str());
  }
  log->LogMessage(0, "Bundle Loader - key:%s, get com loader success",
                  key.c_str());
  return true;
}

bool ZQEBundleManagerImpl::ComLoaderIsExist(const std::string& key) {
  if (key.empty()) {
    ZQELogService::GetInstance()->LogMessage(
        0,
        "Bundle Loader - query com loader is exist failed, because "
        "of key is empty");
    return false;
  }
  bool found = false;
  {
    std::lock_guard<std::recursive_mutex> lock(loader_mutex_);
    found = com_loader_dict_.find(key) != com_loader_dict_.end();
  }
  LogLoaderLookup(key, found);
  return found;
}

void ZQEBundleManagerImpl::LogLoaderLookup(const std::string& key, bool found) {
  ZQELogService::GetInstance()->LogMessage(
      0, "Bundle Loader - key:%s, com loader %s", key.c_str(),
      found ? "is exist" : "is not exist");
}

bool ZQEBundleManagerImpl::IsLibraryLoaded(const std::string& key) {
  std::lock_guard<std::recursive_mutex> lock(loader_mutex_);
  return loaded_library_keys_.count(key) != 0;
}

bool ZQEBundleManagerImpl::GetBundleObject(const std::string& clsid,
                                           void** ppv) {
  ZQELogService* log = ZQELogService::GetInstance();
  if (clsid.empty()) {
    log->LogMessage(0,
                    "Bundle Loader - get bundle object failed, because of "
                    "class id is empty");
    return false;
  }
  {
    // The message comes after the lock: the host's logger runs no kit lock.
    std::lock_guard<std::recursive_mutex> lock(bundle_mutex_);
    auto it = bundle_dict_.find(clsid);
    *ppv = it == bundle_dict_.end() ? nullptr : it->second.ptr();
  }
  if (!*ppv) {
    log->LogMessage(0,
                    "Bundle Loader - class id:%s, get bundle object failed, "
                    "because of object didn't founded",
                    clsid.c_str());
    return false;
  }
  log->LogMessage(0, "Bundle Loader - class id:%s, get bundle object success",
                  clsid.c_str());
  return true;
}

bool ZQEBundleManagerImpl::SetBundleObject(const std::string& clsid,
                                           void* ppv) {
  ZQELogService* log = ZQELogService::GetInstance();
  if (clsid.empty()) {
    log->LogMessage(0,
                    "Bundle Loader - set bundle object failed, because of "
                    "class id is empty");
    return false;
  }
  if (!ppv) {
    log->LogMessage(0,
                    "Bundle Loader - class id:%s, set bundle object failed, "
                    "because of object pointer is nullptr",
                    clsid.c_str());
    return false;
  }
  // Every component interface starts with by::IBaseUnknown, so the interface
  // pointer is also the object's by::IBaseUnknown pointer; com_ptr queries
  // it, adding the reference the cache holds.
  by::com_ptr<by::IBaseUnknown> object(static_cast<by::IBaseUnknown*>(ppv));
  {
    std::lock_guard<std::recursive_mutex> lock(bundle_mutex_);
    // An existing entry stays; an object that does not answer
    // by::IBaseUnknown is not cached.
    if (object.ptr())
      bundle_dict_.try_emplace(clsid, std::move(object));
  }
  // A reference not taken by the cache is released here, outside the lock.
  log->LogMessage(0, "Bundle Loader - class id:%s, set bundle object success",
                  clsid.c_str());
  return true;
}

}  // namespace zqextensionkit
