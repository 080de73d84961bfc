#include "ZQExtensionKit/extension/internal/ZQExtensionManagerImpl.h"

#include <algorithm>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "ZQExtensionKit/bundle/ZQEBundleManager.h"
#include "ZQExtensionKit/bundle/internal/ZQEEntryLibraryPath.h"
#include "ZQExtensionKit/config/Artifact.h"
#include "ZQExtensionKit/config/Extension.h"
#include "ZQExtensionKit/config/ExtensionImpl.h"
#include "ZQExtensionKit/config/ExtensionPointImpl.h"
#include "ZQExtensionKit/config/ZQEConfigurationManager.h"
#include "ZQExtensionKit/container/ZQEObjectContainer.h"
#include "ZQExtensionKit/defines/internal/ZQEForeignCall.h"
#include "ZQExtensionKit/defines/internal/ZQELoadReport.h"
#include "ZQExtensionKit/extension/IZQBaseExtension.h"
#include "ZQExtensionKit/extension/ZQExtensionContext.h"
#include "ZQExtensionKit/log/ZQELogService.h"
#include "ZQExtensionKit/security/internal/ZQELibrarySignature.h"
#include "ZQExtensionKit/trace/internal/ZQETrace.h"
#include "base/files/file_path.h"
#include "dlcom/comsentry.h"
#include "dlcom/guidstring.h"

namespace zqextensionkit {

namespace {

// The text of IZQBaseExtension's id: the interface every instance is first
// created and asked for on the library route.
constexpr char kBaseExtensionIid[] = "{E16D76C1-4200-CF27-9703-2480B97FC9E3}";

ZQELogService* Log() {
  return ZQELogService::GetInstance();
}

// Gives back the reference an untyped interface pointer carries. Every
// component interface starts with by::IBaseUnknown, so the pointer is also
// that interface's by::IBaseUnknown.
void ReleaseInstance(void* instance) {
  if (instance)
    static_cast<by::IBaseUnknown*>(instance)->Release();
}

// The context every route fills: payloads, constraints and the two paths.
// Each setter keeps what an earlier filling stored when the record's value
// is empty.
void FillCommonContext(ZQExtensionContext* context, Extension* info) {
  context->SetPayloads(info->GetPayloads());
  context->SetConstraints(info->GetConstraints());
  context->SetResourcesPath(info->GetResourcesPath());
  context->SetBinDirPath(info->GetRootPath().Append("bin").value());
}

// Queries `object` (plug-in or host code) for `iid` into *result. True when
// the query returned S_OK and stored an interface; otherwise *result is null,
// and whatever the query stored, even though it failed or threw, is
// released: a query that stores a pointer has added a reference to it.
bool QueryForeignInterface(by::IBaseUnknown* object,
                           const ZQIID& iid,
                           void** result) {
  void* queried = nullptr;
  HRESULT hr = E_FAIL;
  const bool returned =
      CallForeignCode([&] { hr = object->QueryInterface(iid, &queried); });
  if (returned && hr == S_OK && queried) {
    *result = queried;
    return true;
  }
  *result = nullptr;
  CallForeignCode([&] { ReleaseInstance(queried); });
  return false;
}

// The object's IZQBaseExtension into *base. False when the object does not
// answer it, or throws.
bool QueryBaseInterface(by::IBaseUnknown* object,
                        by::com_ptr<IZQBaseExtension>* base) {
  void* queried = nullptr;
  if (!QueryForeignInterface(object, by::__uuid_s<IZQBaseExtension>::iid,
                             &queried)) {
    return false;
  }
  base->attach(static_cast<IZQBaseExtension*>(queried));
  return true;
}

// Fills the instance's context with `fill` and calls its Initialization():
// both run plug-in code. False when either throws. The trace's steps follow
// `creating` (ended here) back to back.
template <typename Fill>
bool InitializeInstance(IZQBaseExtension* base,
                        Fill fill,
                        ZQETraceSpan& creating) {
  return CallForeignCode([&] {
    ZQETraceSpan filling("context", trace_category::kExtension, creating);
    filling.Outcome("threw");
    if (ZQExtensionContext* context = base->GetContext())
      fill(context);
    filling.Outcome("done");
    ZQETraceSpan initializing("Initialization", trace_category::kExtension,
                              filling);
    initializing.Outcome("threw");
    base->Initialization();
    initializing.Outcome("done");
  });
}

// The extension's interface `iid` (text) into *ppv, with one reference.
bool QueryTargetInterface(IZQBaseExtension* base,
                          const std::string& iid,
                          void** ppv) {
  return QueryForeignInterface(base, S2GUIDA(iid.c_str(), true), ppv);
}

// The steps both routes take once the container has created `created`
// (whose reference this takes over): its IZQBaseExtension, the context
// `fill` writes and Initialization(), then the point's interface `iid` into
// *ppv, with one reference. `route` names the route in the messages:
// "registry" or "dynamic library". *ppv is null on failure. The trace's
// `creating` span ends once the object answers IZQBaseExtension.
template <typename Fill>
bool FinishInstance(void* created,
                    const char* route,
                    Fill fill,
                    const std::string& iid,
                    void** ppv,
                    ZQETraceSpan& creating) {
  by::com_ptr<IZQBaseExtension> base;
  {
    by::com_ptr<by::IBaseUnknown> object;
    object.attach(static_cast<by::IBaseUnknown*>(created));
    if (!QueryBaseInterface(object.ptr(), &base)) {
      *ppv = nullptr;
      Log()->LogMessage(0,
                        "extension manager impl - create extension instance "
                        "from %s failed, because of query base interface "
                        "failed",
                        route);
      return false;
    }
  }
  creating.Outcome("done");
  if (!InitializeInstance(base.ptr(), fill, creating)) {
    *ppv = nullptr;
    Log()->LogMessage(0,
                      "extension manager impl - create extension instance "
                      "from %s failed, because of extension initialization "
                      "failed",
                      route);
    return false;
  }
  if (!QueryTargetInterface(base.ptr(), iid, ppv)) {
    Log()->LogMessage(0,
                      "extension manager impl - create extension instance "
                      "from %s failed, because of query target interface "
                      "failed",
                      route);
    return false;
  }
  Log()->LogMessage(
      0, "extension manager impl - create extension instance from %s success",
      route);
  return true;
}

}  // namespace

// What one Load() leaves behind. Load() fills it on its own thread and
// publishes it when it ends; from then on `mutex_` guards it.
class ZQExtensionManagerImpl::LoadState {
 public:
  // What became of a package's library after a lazy Load().
  enum class Library { kNotDeferred, kDeferred, kLoaded, kRefused };

  explicit LoadState(bool lazy) : lazy_(lazy) {}
  LoadState(const LoadState&) = delete;
  LoadState& operator=(const LoadState&) = delete;

  // Whether the Load() deferred the libraries.
  bool lazy() const { return lazy_; }
  // The report, for the Load() to fill before it publishes the state.
  ZQELoadReport* loading_report() { return &report_; }

  // The library of the package in `dir` is left to its first use (before
  // publication only).
  void Defer(const std::string& dir) {
    libraries_[dir] = Library::kDeferred;
    report_.DeferPackage(dir);
  }

  Library LibraryOf(const std::string& dir) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = libraries_.find(dir);
    return it == libraries_.end() ? Library::kNotDeferred : it->second;
  }

  // The first use of the package in `dir` loaded its library (or refused
  // it), explaining its steps in `steps`.
  void Settle(const std::string& dir, bool loaded, const ZQELoadReport& steps) {
    std::lock_guard<std::mutex> lock(mutex_);
    libraries_[dir] = loaded ? Library::kLoaded : Library::kRefused;
    report_.MergeLaterSteps(steps);
  }

  std::string ReportJson() {
    std::lock_guard<std::mutex> lock(mutex_);
    return report_.ToJson();
  }

 private:
  const bool lazy_;
  std::mutex mutex_;
  // Guarded by mutex_ once published.
  ZQELoadReport report_;
  // Guarded by mutex_ once published. The packages whose libraries the
  // Load() deferred, by directory.
  std::map<std::string, Library> libraries_;
};

ZQExtensionManagerImpl::ZQExtensionManagerImpl() = default;

ZQExtensionManagerImpl::~ZQExtensionManagerImpl() = default;

void ZQExtensionManagerImpl::SetFoundationVersion(const std::string& version) {
  ZQEConfigurationManager::GetInstance()->SetFoundationVersion(version);
}

bool ZQExtensionManagerImpl::Load() {
  ZQETraceSpan span("Load", trace_category::kLoad);
  ZQEConfigurationManager* config = ZQEConfigurationManager::GetInstance();
  auto state = std::make_shared<LoadState>(lazyLibraryLoading_);
  ZQELoadReport& report = *state->loading_report();
  report.SetInstallationDir(config->GetInstallationDir());
  span.Arg("installation", report.installation_dir());
  bool loaded = false;
  {
    const ZQELoadReport::Scope current(&report);
    loaded = config->LoadAllExtensionInfos();
    report.SetResult(loaded);
    // The shared pointers keep each artifact whole until its library is
    // loaded, whatever another thread unloads.
    std::vector<std::shared_ptr<Artifact>> shared;
    config->GetAllArtifactsShared(shared);
    if (state->lazy()) {
      // No library is opened: each waits for the first request that needs
      // it.
      for (const std::shared_ptr<Artifact>& artifact : shared) {
        if (!artifact->GetBinFilePath().empty())
          state->Defer(artifact->GetRootPath().value());
      }
    } else {
      // Whatever the load reported, every artifact it kept gets its
      // library, in list order: one library that fails does not stop the
      // others. With the MD5 check on, the libraries are hashed ahead on up
      // to libFileVerifyThreads_ threads, which the bundle manager reads
      // back through the facade.
      std::vector<Artifact*> artifacts;
      artifacts.reserve(shared.size());
      for (const std::shared_ptr<Artifact>& artifact : shared)
        artifacts.push_back(artifact.get());
      ZQEBundleManager::GetInstance()->LoadBundles(artifacts);
    }
  }
  const char* installation = report.installation_dir().empty()
                                 ? "unknown"
                                 : report.installation_dir().c_str();
  using Outcome = ZQELoadReport::Outcome;
  if (state->lazy()) {
    Log()->LogMessage(
        kLoadExplanationLogLevel,
        "extension manager impl - load summary: packages loaded %zu, "
        "deferred %zu, skipped %zu, refused %zu, libraries loaded %zu, "
        "installation %s",
        report.CountPackages(Outcome::kLoaded),
        report.CountPackages(Outcome::kDeferred),
        report.CountPackages(Outcome::kSkipped),
        report.CountPackages(Outcome::kRefused), report.CountLoadedLibraries(),
        installation);
  } else {
    Log()->LogMessage(
        kLoadExplanationLogLevel,
        "extension manager impl - load summary: packages loaded %zu, skipped "
        "%zu, refused %zu, libraries loaded %zu, installation %s",
        report.CountPackages(Outcome::kLoaded),
        report.CountPackages(Outcome::kSkipped),
        report.CountPackages(Outcome::kRefused), report.CountLoadedLibraries(),
        installation);
  }
  if (span.on()) {
    for (size_t i = 0; i < ZQELoadReport::kOutcomeCount; ++i) {
      span.Number(
          ZQELoadReport::kOutcomeNames[i],
          static_cast<int64_t>(report.CountPackages(static_cast<Outcome>(i))));
    }
  }
  {
    std::lock_guard<std::mutex> lock(load_state_mutex_);
    load_state_.swap(state);
  }
  // The previous Load()'s state goes here, with no lock held.
  return span.Result(loaded);
}

std::shared_ptr<ZQExtensionManagerImpl::LoadState>
ZQExtensionManagerImpl::CurrentLoadState() {
  std::lock_guard<std::mutex> lock(load_state_mutex_);
  return load_state_;
}

std::string ZQExtensionManagerImpl::GetLoadReport() {
  if (std::shared_ptr<LoadState> state = CurrentLoadState())
    return state->ReportJson();
  // Before the first Load(): the document of a load that did not run.
  ZQELoadReport report;
  report.SetInstallationDir(
      ZQEConfigurationManager::GetInstance()->GetInstallationDir());
  return report.ToJson();
}

void ZQExtensionManagerImpl::SetLazyLibraryLoading(bool enable) {
  lazyLibraryLoading_ = enable;
}

bool ZQExtensionManagerImpl::GetLazyLibraryLoading() {
  return lazyLibraryLoading_;
}

void ZQExtensionManagerImpl::LoadDeferredLibrary(Extension* extensionInfo) {
  const std::shared_ptr<LoadState> state = CurrentLoadState();
  if (!state || !state->lazy())
    return;
  using Library = LoadState::Library;
  const std::string dir = extensionInfo->GetRootPath().value();
  Library library = state->LibraryOf(dir);
  if (library == Library::kDeferred) {
    // The record's own package, which the record keeps alive: its library
    // is loaded as Load() would have loaded it.
    auto* record = dynamic_cast<ExtensionImpl*>(extensionInfo);
    ExtensionPointImpl* point =
        record ? record->GetOwnerExtensionPoint() : nullptr;
    Artifact* artifact = point ? point->GetOwnerArtifact() : nullptr;
    if (!artifact)
      return;
    // One thread at a time tries a package; others wait, then find it
    // tried. The library's own code asking for its package while it loads
    // (on this thread) finds it being loaded and does not load it again.
    const ZQEKeyedClaims::Claim claim = deferred_loads_.Acquire(dir);
    if (!claim.owned())
      return;
    library = state->LibraryOf(dir);
    if (library == Library::kDeferred) {
      Log()->LogMessage(0,
                        "extension manager impl - load deferred library of "
                        "%s on first use",
                        dir.c_str());
      ZQELoadReport steps;
      steps.AddPackage(dir, artifact->GetID());
      bool loaded = false;
      {
        const ZQELoadReport::Scope current(&steps);
        loaded = ZQEBundleManager::GetInstance()->LoadBundle(artifact);
      }
      state->Settle(dir, loaded, steps);
      return;
    }
  }
  if (library == Library::kRefused) {
    Log()->LogMessage(0,
                      "extension manager impl - load deferred library "
                      "skipped, because of the library of %s was refused at "
                      "its first use",
                      dir.c_str());
  }
}

bool ZQExtensionManagerImpl::SetInstallationDir(const std::string& dir) {
  return ZQEConfigurationManager::GetInstance()->SetInstallationDir(dir);
}

std::string ZQExtensionManagerImpl::GetInstallationDir() {
  return ZQEConfigurationManager::GetInstance()->GetInstallationDir();
}

bool ZQExtensionManagerImpl::Unload() {
  return ZQEConfigurationManager::GetInstance()->UnloadAllExtensionInfos();
}

bool ZQExtensionManagerImpl::GetExtensionList(
    const std::string& extensionPointId,
    std::vector<void*>& extensionVector) {
  Log()->LogMessage(
      0, "extension manager impl - get extension list by extension point id:%s",
      extensionPointId.c_str());
  ZQETraceSpan span("GetExtensionList", trace_category::kExtension);
  span.Arg("point", extensionPointId);
  std::vector<std::shared_ptr<Extension>> extensionInfos;
  if (!ZQEConfigurationManager::GetInstance()
           ->GetExtensionInfosByExntensionPointID(extensionPointId,
                                                  extensionInfos)) {
    Log()->LogMessage(0,
                      "extension manager impl - get extension list by "
                      "extension point id failed, because of extension infos "
                      "are not founded");
    return span.Result(false);
  }
  // Entries the caller had put in the vector stay in front and do not count:
  // success means this call appended at least one instance.
  const size_t entries_before = extensionVector.size();
  for (const std::shared_ptr<Extension>& extensionInfo : extensionInfos) {
    void* instance = nullptr;
    if (CreateExtensionInstance(extensionInfo.get(), &instance) && instance)
      extensionVector.push_back(instance);
  }
  if (extensionVector.size() == entries_before) {
    Log()->LogMessage(0,
                      "extension manager impl - get extension list by "
                      "extension point id failed, because of extension vector "
                      "empty");
    return span.Result(false);
  }
  Log()->LogMessage(0,
                    "extension manager impl - get extension list by extension "
                    "point id success");
  span.Number("instances",
              static_cast<int64_t>(extensionVector.size() - entries_before));
  return span.Result(true);
}

bool ZQExtensionManagerImpl::GetExtension(const std::string& extensionPointId,
                                          void** pExtension) {
  if (!pExtension)
    return false;
  Log()->LogMessage(
      0, "extension manager impl - get extension by extension point id:%s",
      extensionPointId.c_str());
  ZQETraceSpan span("GetExtension", trace_category::kExtension);
  span.Arg("point", extensionPointId);
  std::vector<void*> extensions;
  // Through the interface, as any caller would.
  IZQExtensionManager* self = this;
  if (!self->GetExtensionList(extensionPointId, extensions)) {
    *pExtension = nullptr;
    Log()->LogMessage(0,
                      "extension manager impl - get extension by extension "
                      "point id failed, because of get extension list failed");
    return span.Result(false);
  }
  if (extensions.empty()) {
    *pExtension = nullptr;
    Log()->LogMessage(0,
                      "extension manager impl - get extension by extension "
                      "point id failed, because of extension list empty");
    return span.Result(false);
  }
  Log()->LogMessage(0,
                    "extension manager impl - get extension list first item");
  *pExtension = extensions.front();
  // The caller receives the first instance only; the others were created
  // with a reference each, which nobody else would give back.
  for (size_t i = 1; i < extensions.size(); ++i)
    ReleaseInstance(extensions[i]);
  Log()->LogMessage(
      0,
      "extension manager impl - get extension by extension point id success");
  return span.Result(true);
}

bool ZQExtensionManagerImpl::GetExtensionById(const std::string& extensionId,
                                              void** pExtension) {
  if (!pExtension)
    return false;
  Log()->LogMessage(0,
                    "extension manager impl - get extension by extension id:%s",
                    extensionId.c_str());
  ZQETraceSpan span("GetExtensionById", trace_category::kExtension);
  span.Arg("extension", extensionId);
  Extension* found = nullptr;
  if (!ZQEConfigurationManager::GetInstance()->GetExtensionInfoByID(extensionId,
                                                                    &found) ||
      !found) {
    *pExtension = nullptr;
    Log()->LogMessage(0,
                      "extension manager impl - get extension by extension id "
                      "failed, because of extension info is not founded");
    return span.Result(false);
  }
  // The record is a copy that belongs to this call.
  std::unique_ptr<Extension> extensionInfo(found);
  const bool created = CreateExtensionInstance(extensionInfo.get(), pExtension);
  extensionInfo.reset();
  if (!created) {
    *pExtension = nullptr;
    Log()->LogMessage(0,
                      "extension manager impl - get extension by extension id "
                      "failed, because of create extension instance failed");
    return span.Result(false);
  }
  Log()->LogMessage(
      0, "extension manager impl - get extension by extension id success");
  return span.Result(true);
}

bool ZQExtensionManagerImpl::CreateExtensionInstance(Extension* extensionInfo,
                                                     void** ppv) {
  // The instance's creation, up to an object answering IZQBaseExtension;
  // its context and Initialization() follow it back to back.
  ZQETraceSpan span("create", trace_category::kExtension);
  if (span.on())
    span.Arg("extension", extensionInfo->GetID());
  const std::string extensionPointId = extensionInfo->GetExtensionPointID();
  const std::string iid = extensionInfo->GetExtensionPointUUID();
  const std::string clsId = extensionInfo->GetClassID();
  const bool registered =
      ZQEObjectContainer::GetInstance()->ClassIsRegistered(clsId);
  span.Arg("class", clsId);

  if (extensionPointId.empty()) {
    *ppv = nullptr;
    Log()->LogMessage(0,
                      "extension manager impl - create extension instance "
                      "failed, because of extension point id empty");
    return span.Result(false);
  }
  if (iid.empty()) {
    *ppv = nullptr;
    Log()->LogMessage(0,
                      "extension manager impl - create extension instance "
                      "failed, because of iid empty");
    return span.Result(false);
  }
  if (clsId.empty()) {
    *ppv = nullptr;
    Log()->LogMessage(0,
                      "extension manager impl - create extension instance "
                      "failed, because of class Id empty");
    return span.Result(false);
  }
  // A record whose package names an entry library is created from that
  // library, even when a class of the same id is registered in-process.
  if (!extensionInfo->GetBinPath().empty()) {
    span.Arg("route", "library");
    return span.Result(CreateExtensionInstanceFromLibrary(extensionInfo, iid,
                                                          clsId, ppv, span));
  }
  if (registered) {
    span.Arg("route", "registry");
    return span.Result(CreateExtensionInstanceFromRegistry(extensionInfo, iid,
                                                           clsId, ppv, span));
  }
  Log()->LogMessage(
      0, "extension manager impl - create extension instance failed");
  *ppv = nullptr;
  return span.Result(false);
}

bool ZQExtensionManagerImpl::CreateExtensionInstanceFromRegistry(
    Extension* extensionInfo,
    const std::string& iid,
    const std::string& clsId,
    void** ppv,
    ZQETraceSpan& creating) {
  Log()->LogMessage(0,
                    "extension manager impl - create extension instance from "
                    "registry, class id:%s, iid:%s",
                    clsId.c_str(), iid.c_str());
  void* created = nullptr;
  if (!ZQEObjectContainer::GetInstance()->CreateObjectInstance(iid, clsId,
                                                               &created) ||
      !created) {
    *ppv = nullptr;
    Log()->LogMessage(0,
                      "extension manager impl - create extension instance "
                      "from registry failed, because of create object "
                      "instance failed");
    return false;
  }
  return FinishInstance(
      created, "registry",
      [extensionInfo](ZQExtensionContext* context) {
        FillCommonContext(context, extensionInfo);
      },
      iid, ppv, creating);
}

bool ZQExtensionManagerImpl::CreateExtensionInstanceFromLibrary(
    Extension* extensionInfo,
    const std::string& iid,
    const std::string& clsId,
    void** ppv,
    ZQETraceSpan& creating) {
  // After a lazy Load(), the first request for a package loads its library
  // (or finds it refused) before the steps below look for it.
  LoadDeferredLibrary(extensionInfo);
  const bool isSingleton = extensionInfo->IsSingleton();
  // The same file, named by the same key text, that the bundle manager
  // loaded.
  base::FilePath dllFilePath;
  switch (FindEntryLibrary(extensionInfo->GetRootPath(),
                           extensionInfo->GetBinPath(), &dllFilePath)) {
    case EntryLibrary::kNoRootPath:
      *ppv = nullptr;
      Log()->LogMessage(0,
                        "extension manager impl - create extension instance "
                        "from dynamic library failed, because of root path "
                        "not exist");
      return false;
    case EntryLibrary::kRefused:
      *ppv = nullptr;
      Log()->LogMessage(0,
                        "extension manager impl - create extension instance "
                        "from dynamic library failed, because of library file "
                        "path not exist or empty");
      return false;
    case EntryLibrary::kFound:
      break;
  }
  // Never loads: the loader is the one Load() (or the first request after a
  // lazy Load()) cached for the file, or a new unloaded one from which
  // nothing can be created.
  CComLoader* loader = nullptr;
  if (!ZQEBundleManager::GetInstance()->GetComLoader(dllFilePath.value(),
                                                     &loader) ||
      !loader) {
    *ppv = nullptr;
    Log()->LogMessage(0,
                      "extension manager impl - create extension instance "
                      "from dynamic library failed, because of get com loader "
                      "failed");
    return false;
  }
  Log()->LogMessage(0,
                    "extension manager impl - create extension instance from "
                    "dynamic library, class id:%s, iid:%s, singleton:%s",
                    clsId.c_str(), iid.c_str(), isSingleton ? "true" : "false");
  void* created = nullptr;
  creating.Arg("singleton", isSingleton ? "true" : "false");
  if (!ZQEObjectContainer::GetInstance()->CreateObjectInstance(
          kBaseExtensionIid, clsId, isSingleton, loader, &created) ||
      !created) {
    *ppv = nullptr;
    Log()->LogMessage(0,
                      "extension manager impl - create extension instance "
                      "from dynamic library failed, because of create object "
                      "instance failed");
    return false;
  }
  const auto fill = [extensionInfo](ZQExtensionContext* context) {
    FillCommonContext(context, extensionInfo);
    const SettingMap settings = extensionInfo->GetSettingMap();
    if (!settings.open_type_.empty() && !settings.host_.empty()) {
      LaunchParams params;
      params.modal_position_ = settings.modal_position_;
      params.modal_size_ = settings.modal_size_;
      params.url_ = settings.url_;
      params.open_type_ = settings.open_type_;
      context->SetLaunchParams(params);
    }
    context->SetExtensionId(extensionInfo->GetID());
    context->SetUnifiedId(extensionInfo->GetUnifiedId());
  };
  return FinishInstance(created, "dynamic library", fill, iid, ppv, creating);
}

bool ZQExtensionManagerImpl::RegisterExtension(
    const InstanceCreateFunction& instance_creator,
    const std::string& clsid,
    bool isSingleton) {
  return ZQEObjectContainer::GetInstance()->Register(instance_creator, clsid,
                                                     isSingleton);
}

bool ZQExtensionManagerImpl::unRegisterExtension(const std::string& clsid) {
  return ZQEObjectContainer::GetInstance()->UnRegister(clsid);
}

bool ZQExtensionManagerImpl::GetLibFileVerifyEnable() {
  return enableLibFileVerify_;
}

void ZQExtensionManagerImpl::SetLibFileVerifyEnable(bool enable) {
  enableLibFileVerify_ = enable;
}

bool ZQExtensionManagerImpl::GetSignVerifyEnable() {
  return enableSignVerify_;
}

void ZQExtensionManagerImpl::SetSignVerifyEnable(bool enable) {
  enableSignVerify_ = enable;
}

bool ZQExtensionManagerImpl::SetSecKey(const std::string& sec_key) {
  return ZQEConfigurationManager::GetInstance()->SetSecKey(sec_key);
}

bool ZQExtensionManagerImpl::SetDebugModeEnable(bool enable) {
  return ZQEConfigurationManager::GetInstance()->SetDebugModeEnable(enable);
}

void ZQExtensionManagerImpl::SetFetchExtensionAuthInfoCallback(
    const FetchExtensionAuthInfoCallback& callback) {
  ZQEConfigurationManager::GetInstance()->SetFetchExtensionAuthInfoCallback(
      callback);
}

size_t ZQExtensionManagerImpl::GetLibFileVerifyThreads() {
  return libFileVerifyThreads_;
}

void ZQExtensionManagerImpl::SetLibFileVerifyThreads(size_t threads) {
  libFileVerifyThreads_ = threads;
}

bool ZQExtensionManagerImpl::AddTrustedSignKey(
    const std::string& publicKeyPem) {
  std::string key = ZQESignKeyRing::CanonicalPublicKeyPem(publicKeyPem);
  if (key.empty()) {
    Log()->LogMessage(0,
                      "extension manager impl - add trusted sign key failed, "
                      "because of key is not an ed25519 public key in pem");
    return false;
  }
  std::lock_guard<std::mutex> lock(trustedSignKeysMutex_);
  if (std::find(trustedSignKeys_.begin(), trustedSignKeys_.end(), key) ==
      trustedSignKeys_.end()) {
    trustedSignKeys_.push_back(std::move(key));
  }
  return true;
}

void ZQExtensionManagerImpl::ClearTrustedSignKeys() {
  std::lock_guard<std::mutex> lock(trustedSignKeysMutex_);
  trustedSignKeys_.clear();
}

std::vector<std::string> ZQExtensionManagerImpl::GetTrustedSignKeys() {
  std::lock_guard<std::mutex> lock(trustedSignKeysMutex_);
  return trustedSignKeys_;
}

}  // namespace zqextensionkit
